#include "TestSupport.h"
#include "qndislib/filter/DstMACFilter.h"
#include "qndislib/filter/ICMPTypeFilter.h"
#include "qndislib/filter/IPAddrFilter.h"
#include "qndislib/filter/IPPortFilter.h"
#include "qndislib/filter/IPSubprotocolFilter.h"
#include "qndislib/media/EthernetInfo.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

// A broadcast Ethernet II frame carrying an IPv4 header of protocol TCP.
Bytes TcpOverIPv4(std::size_t length) {
    Bytes bytes(length, 0);
    std::fill_n(bytes.begin(), 6, 0xFF);
    bytes[12] = 0x08;
    bytes[14] = 0x45;
    bytes[23] = 6;
    return bytes;
}

// The first `length` bytes of `bytes` as a frame, without a copy, so that
// the bytes past its end are the test's to choose.
class FrameOver final : public CFrame {
public:
    FrameOver(const Bytes& bytes, unsigned short length) : m_bytes(bytes), m_length(length) {
        m_ethernet.AnalyzeFrame(bytes.data(), length);
    }
    QWORD GetPacketNumber() const override { return 0; }
    QWORD GetTimeStamp() const override { return 0; }
    const unsigned char* GetFrame() const override { return m_bytes.data(); }
    unsigned short GetLength() const override { return m_length; }
    const CMediaInfo* GetMediaInfo() const override { return &m_ethernet; }

private:
    const Bytes& m_bytes;
    unsigned short m_length;
    CEthernetInfo m_ethernet;
};

} // namespace

TEST(CheckFrame, AFrameCutBeforeTheBytesATestReadsNeverMatches) {
    // Every IP byte after the first is 6: protocol, ICMP type, both ports
    // and both addresses all hold what the filters seek.
    Bytes bytes = TcpOverIPv4(40);
    std::fill(bytes.begin() + 15, bytes.end(), 6);
    struct Case {
        std::unique_ptr<CFilter> filter;
        unsigned short needed; // the frame's bytes up to the last one read
    };
    Case cases[] = {
        {std::make_unique<CIPSubprotocolFilter>(6, "", false), 14 + 10},
        {std::make_unique<CIPAddrFilter>(0x06060606u, 16, OperationEqual, "", false), 14 + 20},
        {std::make_unique<CICMPTypeFilter>(6, "", false), 14 + 21},
        {std::make_unique<CIPPortFilter>(0x0606, CIPPortFilter::PortSource, OperationEqual, "",
                                         false),
         14 + 22},
        {std::make_unique<CIPPortFilter>(0x0606, CIPPortFilter::PortDestination, OperationEqual, "",
                                         false),
         14 + 24},
    };
    for (const Case& c : cases) {
        const FrameOver whole(bytes, c.needed);
        const FrameOver cut(bytes, c.needed - 1);
        EXPECT_TRUE(c.filter->CheckFrame(&whole)) << c.filter->GetDescription();
        EXPECT_FALSE(c.filter->CheckFrame(&cut)) << c.filter->GetDescription();
    }
}

TEST(CheckFrame, SwitchesAroundTheOwnTest) {
    const auto frame = Frame(TcpOverIPv4(34));
    CIPSubprotocolFilter tcp(6, "", false);
    EXPECT_TRUE(tcp.CheckFrame(frame.get()));
    EXPECT_FALSE(tcp.CheckFrame(nullptr));
    tcp.SetNegateResult(true);
    EXPECT_FALSE(tcp.CheckFrame(frame.get()));
    EXPECT_TRUE(tcp.CheckFrame(nullptr));
    tcp.SetEnabled(false);
    EXPECT_TRUE(tcp.CheckFrame(frame.get()));
    EXPECT_TRUE(tcp.CheckFrame(nullptr));
}

TEST(CheckFrame, FrameWithoutMediumDescription) {
    const Bytes bytes = TcpOverIPv4(60);
    const CQuorelFrame bare(bytes.data(), static_cast<unsigned short>(bytes.size()),
                            std::string("no such medium"));
    ASSERT_EQ(bare.GetMediaInfo(), nullptr);
    EXPECT_FALSE(CDstMACFilter("FFFFFFFFFFFF", "", false).CheckFrame(&bare));
    EXPECT_FALSE(CIPSubprotocolFilter(6, "", false).CheckFrame(&bare));
    EXPECT_FALSE(
        CIPPortFilter(0, CIPPortFilter::PortSource, OperationEqual, "", false).CheckFrame(&bare));
    EXPECT_TRUE(CIPAddrFilter(0u, 0, OperationEqual, "", true).CheckFrame(&bare));
}

TEST(CheckFrame, AddressFromTextAndFromNumberAreOne) {
    const CIPAddrFilter fromText("10.1.2.3", 12, OperationEqual, "", false);
    const CIPAddrFilter fromNumber(0x0302010Au, 12, OperationEqual, "", false);
    EXPECT_EQ(fromText.GetIPAddr(), "10.1.2.3");
    EXPECT_EQ(Packed(fromText), Packed(fromNumber));
    EXPECT_EQ(CIPAddrFilter("not an address", 12, OperationEqual, "", false).GetIPAddr(),
              "255.255.255.255");
}
