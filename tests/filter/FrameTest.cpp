#include "TestSupport.h"
#include "qndislib/filter/DstMACFilter.h"
#include "qndislib/filter/ICMPTypeFilter.h"
#include "qndislib/filter/IPAddrFilter.h"
#include "qndislib/filter/IPPortFilter.h"
#include "qndislib/filter/IPSubprotocolFilter.h"
#include "qndislib/filter/ProtocolFilter.h"
#include "qndislib/filter/SrcMACFilter.h"

#include <gtest/gtest.h>

namespace {

const Bytes Broadcast(6, 0xFF);
const Bytes Station = {0x00, 0xA0, 0xC9, 0x14, 0xC8, 0x29};

// IPv4 data of `length` bytes with the given first byte; `set` puts bytes
// at chosen offsets.
Bytes Data(unsigned char first, std::size_t length,
           std::initializer_list<std::pair<std::size_t, unsigned char>> set = {}) {
    Bytes data(length, 0);
    if (length > 0) {
        data[0] = first;
    }
    for (const auto& [offset, value] : set) {
        data.at(offset) = value;
    }
    return data;
}

struct Case {
    const char* what;
    bool expected;
};

} // namespace

TEST(CheckFrame, SwitchesAroundTheOwnTest) {
    const auto frame = IPFrame(Data(0x45, 20, {{9, 6}}));
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

TEST(CheckFrame, HardwareAddressesAndProtocol) {
    const auto broadcastIP = Frame(EthernetII(Broadcast, Station, 0x0800, Bytes(46, 0)));
    const auto unicastARP = Frame(EthernetII(Station, Bytes(6, 0x02), 0x0806, Bytes(46, 0)));
    // An 802.2 frame whose one-byte identifier 0x08 is right-aligned.
    Bytes llc = EthernetII(Station, Station, 46, {0x08, 0x08, 0x03});
    llc.resize(60);
    const auto llcFrame = Frame(llc);

    const CDstMACFilter toAll("FF-FF-FF-FF-FF-FF", "", false);
    const CDstMACFilter notToAll("FF-FF-FF-FF-FF-FF", "", true);
    const CSrcMACFilter fromStation("00:a0:c9:14:c8:29", "", false);
    const CProtocolFilter ip(CProtocolId("0800"), "", false);
    const CProtocolFilter snapIP(CProtocolId("AAAA030800"), "", false);

    EXPECT_EQ(fromStation.GetMAC(), CSrcMACFilter("00A0C914C829", "", false).GetMAC());
    for (const Case& c : {
             Case{"broadcast to broadcast filter", toAll.CheckFrame(broadcastIP.get())},
             Case{"unicast to negated broadcast filter", notToAll.CheckFrame(unicastARP.get())},
             Case{"source matches", fromStation.CheckFrame(broadcastIP.get())},
             Case{"IP protocol", ip.CheckFrame(broadcastIP.get())},
             Case{"llc identifier",
                  CProtocolFilter(CProtocolId("08"), "", false).CheckFrame(llcFrame.get())},
         }) {
        EXPECT_TRUE(c.expected) << c.what;
    }
    for (const Case& c : {
             Case{"unicast to broadcast filter", toAll.CheckFrame(unicastARP.get())},
             Case{"broadcast to negated filter", notToAll.CheckFrame(broadcastIP.get())},
             Case{"other source", fromStation.CheckFrame(unicastARP.get())},
             Case{"ARP is not IP", ip.CheckFrame(unicastARP.get())},
             Case{"all six bytes count", snapIP.CheckFrame(broadcastIP.get())},
             Case{"no frame", ip.CheckFrame(nullptr)},
         }) {
        EXPECT_FALSE(c.expected) << c.what;
    }
}

TEST(CheckFrame, FrameWithoutMediumDescription) {
    const Bytes bytes = EthernetII(Broadcast, Station, 0x0800, Data(0x45, 46, {{9, 6}}));
    const CQuorelFrame bare(bytes.data(), static_cast<unsigned short>(bytes.size()),
                            std::string("no such medium"));
    ASSERT_EQ(bare.GetMediaInfo(), nullptr);
    EXPECT_FALSE(CDstMACFilter("FFFFFFFFFFFF", "", false).CheckFrame(&bare));
    EXPECT_FALSE(CIPSubprotocolFilter(6, "", false).CheckFrame(&bare));
    EXPECT_FALSE(
        CIPPortFilter(0, CIPPortFilter::PortSource, OperationEqual, "", false).CheckFrame(&bare));
    EXPECT_TRUE(CIPAddrFilter(0u, 0, OperationEqual, "", true).CheckFrame(&bare));
}

TEST(CheckFrame, SubprotocolAndICMPTypeNeedTheirBytes) {
    const CIPSubprotocolFilter udp(17, "", false);
    const CICMPTypeFilter echo(8, "", false);
    for (const Case& c : {
             Case{"udp at byte 9", udp.IsSatisfied(IPFrame(Data(0x45, 20, {{9, 17}})).get())},
             Case{"echo behind 20 bytes",
                  echo.IsSatisfied(IPFrame(Data(0x45, 28, {{20, 8}})).get())},
             Case{"echo behind 24 bytes",
                  echo.IsSatisfied(IPFrame(Data(0x46, 28, {{24, 8}})).get())},
             Case{"header length 0 reads byte 0",
                  CICMPTypeFilter(0x40, "", false).IsSatisfied(IPFrame(Data(0x40, 4)).get())},
         }) {
        EXPECT_TRUE(c.expected) << c.what;
    }
    for (const Case& c : {
             Case{"9 bytes of data", udp.IsSatisfied(IPFrame(Data(0x45, 9)).get())},
             Case{"other protocol", udp.IsSatisfied(IPFrame(Data(0x45, 20, {{9, 6}})).get())},
             Case{"byte 20 missing", echo.IsSatisfied(IPFrame(Data(0x45, 20)).get())},
             Case{"byte 20 is not read with 0x46",
                  echo.IsSatisfied(IPFrame(Data(0x46, 28, {{20, 8}})).get())},
             Case{"no data", echo.IsSatisfied(IPFrame({}).get())},
             Case{"header length 0 and other type", echo.IsSatisfied(IPFrame(Data(0x40, 4)).get())},
         }) {
        EXPECT_FALSE(c.expected) << c.what;
    }
}

TEST(CheckFrame, AddressComparisons) {
    const auto source = [](unsigned char last) {
        return IPFrame(Data(0x45, 20, {{12, 0xC0}, {13, 0xA8}, {14, 0}, {15, last}}));
    };
    const auto test = [&](eOperation operation, bool negated, unsigned char last) {
        return CIPAddrFilter("192.168.0.1", 12, operation, "", negated)
            .CheckFrame(source(last).get());
    };
    EXPECT_TRUE(test(OperationEqual, false, 1));
    EXPECT_FALSE(test(OperationEqual, false, 2));
    EXPECT_TRUE(test(OperationLess, false, 0));
    EXPECT_FALSE(test(OperationLess, false, 1));
    EXPECT_TRUE(test(OperationLess, true, 1));
    EXPECT_TRUE(test(OperationLess, true, 2));
    EXPECT_TRUE(test(OperationGreater, false, 2));
    EXPECT_FALSE(test(OperationGreater, true, 2));
    EXPECT_FALSE(test(static_cast<eOperation>(3), false, 1));
    // High addresses compare unsigned.
    EXPECT_TRUE(CIPAddrFilter("10.0.0.0", 12, OperationGreater, "", false)
                    .CheckFrame(IPFrame(Data(0x45, 20, {{12, 0xF0}})).get()));
    EXPECT_FALSE(CIPAddrFilter("0.0.0.0", 16, OperationEqual, "", false)
                     .CheckFrame(IPFrame(Data(0x45, 19)).get()));
    EXPECT_TRUE(CIPAddrFilter("0.0.0.0", 16, OperationEqual, "", false)
                    .CheckFrame(IPFrame(Data(0x45, 20)).get()));
    EXPECT_FALSE(CIPAddrFilter("0.0.0.0", 0xFFFFFFFE, OperationEqual, "", false)
                     .CheckFrame(IPFrame(Data(0x45, 20)).get()));

    const CIPAddrFilter fromText("10.1.2.3", 12, OperationEqual, "", false);
    const CIPAddrFilter fromNumber(0x0302010Au, 12, OperationEqual, "", false);
    EXPECT_EQ(fromText.GetIPAddr(), fromNumber.GetIPAddr());
    EXPECT_EQ(Packed(fromText), Packed(fromNumber));
}

TEST(CheckFrame, PortPositionsAndComparisons) {
    const CIPPortFilter web(80, CIPPortFilter::PortDestination, OperationEqual, "", false);
    const CIPPortFilter high(1023, CIPPortFilter::PortSource, OperationGreater, "", false);
    const auto sourcePort = [](unsigned short port) {
        return IPFrame(Data(
            0x45, 24,
            {{20, static_cast<unsigned char>(port >> 8)}, {21, static_cast<unsigned char>(port)}}));
    };
    EXPECT_TRUE(web.CheckFrame(IPFrame(Data(0x45, 24, {{23, 80}})).get()));
    EXPECT_FALSE(web.CheckFrame(IPFrame(Data(0x46, 28, {{23, 80}})).get()));
    EXPECT_TRUE(web.CheckFrame(IPFrame(Data(0x46, 28, {{27, 80}})).get()));
    EXPECT_TRUE(high.CheckFrame(sourcePort(1024).get()));
    EXPECT_FALSE(high.CheckFrame(sourcePort(1023).get()));
    EXPECT_TRUE(CIPPortFilter(65535, CIPPortFilter::PortSource, OperationEqual, "", false)
                    .CheckFrame(sourcePort(65535).get()));
    // Type 0 reads the source port.
    EXPECT_TRUE(CIPPortFilter(1024, CIPPortFilter::PortUnset, OperationEqual, "", false)
                    .CheckFrame(sourcePort(1024).get()));
    const auto short21 = IPFrame(Data(0x45, 21, {{20, 0}}));
    EXPECT_FALSE(CIPPortFilter(0, CIPPortFilter::PortSource, OperationEqual, "", false)
                     .CheckFrame(short21.get()));
    EXPECT_FALSE(CIPPortFilter(0, CIPPortFilter::PortDestination, OperationEqual, "", false)
                     .CheckFrame(short21.get()));
    EXPECT_FALSE(web.CheckFrame(IPFrame({}).get()));
}
