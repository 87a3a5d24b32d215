#include "TestSupport.h"
#include "qndislib/filter/DstMACFilter.h"
#include "qndislib/filter/IPAddrFilter.h"
#include "qndislib/filter/IPPortFilter.h"
#include "qndislib/filter/IPSubprotocolFilter.h"

#include <gtest/gtest.h>

TEST(CheckFrame, SwitchesAroundTheOwnTest) {
    Bytes data(20, 0);
    data[0] = 0x45;
    data[9] = 6;
    const auto frame = Frame(EthernetII(Bytes(6, 1), Bytes(6, 2), 0x0800, data));
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
    Bytes data(46, 0);
    data[0] = 0x45;
    data[9] = 6;
    const Bytes bytes = EthernetII(Bytes(6, 0xFF), Bytes(6, 2), 0x0800, data);
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
