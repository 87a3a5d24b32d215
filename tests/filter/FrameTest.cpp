#include "TestSupport.h"
#include "qndislib/filter/DstMACFilter.h"
#include "qndislib/filter/IPAddrFilter.h"
#include "qndislib/filter/IPPortFilter.h"
#include "qndislib/filter/IPSubprotocolFilter.h"

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

} // namespace

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
