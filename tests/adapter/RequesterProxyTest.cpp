#include "qndislib/adapter/NDISRequesterProxy.h"
#include "qndislib/capture/NdisHook.h"
#include "tests/capture/CaptureTestSupport.h"
#include "tests/support/NoFreeDescriptors.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace qndis::test;
using w32n55::ScriptedAdapter;

constexpr std::uint32_t kNotSupported = NDIS_STATUS_NOT_SUPPORTED;
constexpr std::uint32_t kInvalidOid = NDIS_STATUS_INVALID_OID;
// Not part of the driver contract's OID list.
constexpr std::uint32_t kDriverVersionOid = 0x00010110;

class RequesterProxyTest : public testing::Test {
protected:
    RequesterProxyTest() { EXPECT_TRUE(hook->OpenDriver("eth0")); }

    std::uint32_t Status() const { return static_cast<std::uint32_t>(proxy.GetStatus()); }

    ScriptedDriver driver;
    w32n55::AdapterScript& adapter =
        ScriptedAdapter::Register("eth0", MediumScript(NdisMedium802_3));
    std::unique_ptr<CNdisHook> hook = std::make_unique<CNdisHook>();
    CNDISRequesterProxy proxy{hook.get()};
};

using LongGetter = std::int32_t (CNDISRequesterProxy::*)();
using QwordGetter = QWORD (CNDISRequesterProxy::*)();

struct LongRow {
    const char* name;
    LongGetter getter;
    std::uint32_t oid;
    std::int32_t failure;
};

#define ROW(getter, oid, failure)                                                                  \
    LongRow {                                                                                      \
#getter, &CNDISRequesterProxy::getter, oid, failure                                        \
    }
const LongRow kLongGetters[] = {
    ROW(GetFramesTransmitted, 0x00020101, -1),
    ROW(GetFramesReceived, 0x00020102, -1),
    ROW(GetErrorsTransmitted, 0x00020103, -1),
    ROW(GetErrorsReceived, 0x00020104, -1),
    ROW(GetMissedFrames, 0x00020105, -1),
    ROW(GetDirectedFramesTrans, 0x00020202, -1),
    ROW(GetMulticastFramesTrans, 0x00020204, -1),
    ROW(GetBroadcastFramesTrans, 0x00020206, -1),
    ROW(GetDirectedFramesRecv, 0x00020208, -1),
    ROW(GetMulticastFramesRecv, 0x0002020A, -1),
    ROW(GetBroadcastFramesRecv, 0x0002020C, -1),
    ROW(GetCRCErrors, 0x0002020D, -1),
    ROW(GetEthernetRcvErrorAlignment, 0x01020101, -1),
    ROW(GetEthernetXmitOneCollision, 0x01020102, -1),
    ROW(GetEthernetXmitMoreCollisions, 0x01020103, -1),
    ROW(GetEthernetXmitDeferred, 0x01020201, -1),
    ROW(GetEthernetXmitMaxCollisions, 0x01020202, -1),
    ROW(GetEthernetRcvOverrun, 0x01020203, -1),
    ROW(GetEthernetXmitUnderrun, 0x01020204, -1),
    ROW(GetEthernetXmitHartbeatFailure, 0x01020205, -1),
    ROW(GetEthernetXmitCarrierLost, 0x01020206, -1),
    ROW(GetEthernetXmitLateCollisions, 0x01020207, -1),
    ROW(GetMaxFrameSize, 0x00010106, 0),
    ROW(GetLinkSpeed, 0x00010107, 0),
    ROW(GetCurrentFilter, 0x0001010E, 0),
    ROW(GetTotalPacketLength, 0x00010111, 0),
    ROW(GetHardwareStatus, 0x00010102, 0),
    ROW(GetMaxLookaheadSize, 0x00010105, 0),
    ROW(GetTransmitBufferSpace, 0x00010109, 0),
    ROW(GetReceiveBufferSpace, 0x0001010A, 0),
    ROW(GetVendorCode, 0x0001010C, 0),
    ROW(GetOptionalTransportFlags, 0x00010112, 0),
    ROW(GetOptionalNetcardFlags, 0x00010113, 0),
};
#undef ROW

struct QwordRow {
    const char* name;
    QwordGetter getter;
    std::uint32_t oid;
};

#define ROW(getter, oid)                                                                           \
    QwordRow {                                                                                     \
#getter, &CNDISRequesterProxy::getter, oid                                                 \
    }
const QwordRow kQwordGetters[] = {
    ROW(GetDirectedBytesTrans, 0x00020201),  ROW(GetMulticastBytesTrans, 0x00020203),
    ROW(GetBroadcastBytesTrans, 0x00020205), ROW(GetDirectedBytesRecv, 0x00020207),
    ROW(GetMulticastBytesRecv, 0x00020209),  ROW(GetBroadcastBytesRecv, 0x0002020B),
};
#undef ROW

// A value per OID, so that a getter asking the wrong OID reads a wrong one.
std::uint32_t ValueFor(std::uint32_t oid) {
    return (oid * 2654435761U) >> 4;
}

TEST_F(RequesterProxyTest, EveryLongGetterAsksItsOidAndReportsItsFailureValue) {
    for (const auto& row : kLongGetters) {
        adapter.AnswerULong(row.oid, ValueFor(row.oid));
    }
    for (const auto& row : kLongGetters) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ((proxy.*row.getter)(), static_cast<std::int32_t>(ValueFor(row.oid)));
        EXPECT_EQ(proxy.IsOk(), 1);
    }
    for (const auto& row : kLongGetters) {
        adapter.Refuse(row.oid, NDIS_STATUS_FAILURE);
    }
    for (const auto& row : kLongGetters) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ((proxy.*row.getter)(), row.failure);
        EXPECT_EQ(proxy.IsOk(), 0);
        EXPECT_EQ(Status(), NDIS_STATUS_FAILURE);
    }
}

TEST_F(RequesterProxyTest, LongGettersReadLittleEndianAndKeepAllBitsOnSuccess) {
    adapter.AnswerULong(OID_GEN_XMIT_OK, 0xFFFFFFFFU);
    adapter.AnswerULong(OID_GEN_LINK_SPEED, 0x01020304U);
    // An adapter may report -1 as a real value: only the status tells.
    EXPECT_EQ(proxy.GetFramesTransmitted(), -1);
    EXPECT_EQ(proxy.IsOk(), 1);
    EXPECT_EQ(proxy.GetLinkSpeed(), 0x01020304);
}

TEST_F(RequesterProxyTest, EveryQwordGetterAsksItsOidAndFailsWithAllBitsSet) {
    for (const auto& row : kQwordGetters) {
        adapter.AnswerCounter(row.oid, 0x0000000100000000ULL + ValueFor(row.oid));
    }
    for (const auto& row : kQwordGetters) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ((proxy.*row.getter)(), QWORD(1U, ValueFor(row.oid)));
    }
    for (const auto& row : kQwordGetters) {
        adapter.Refuse(row.oid, NDIS_STATUS_FAILURE);
        SCOPED_TRACE(row.name);
        EXPECT_EQ((proxy.*row.getter)(), QWORD(0xFFFFFFFFU, 0xFFFFFFFFU));
    }
}

TEST_F(RequesterProxyTest, QwordAnsweredWithFourBytesHasAZeroHighHalf) {
    adapter.AnswerULong(OID_GEN_DIRECTED_BYTES_RCV, 0xDEADBEEFU);
    EXPECT_EQ(proxy.GetDirectedBytesRecv(), QWORD(0U, 0xDEADBEEFU));
}

// What a refusal leaves behind: NOT_SUPPORTED and INVALID_OID are kept and
// answered without the adapter from then on; other failures and private
// requests are asked again.
TEST_F(RequesterProxyTest, RefusedOidsAreKeptOnlyForTheirStatuses) {
    struct Row {
        LongGetter getter;
        std::uint32_t oid;
        std::uint32_t status;
        bool kept;
    };
    const Row rows[] = {
        {&CNDISRequesterProxy::GetCRCErrors, OID_GEN_RCV_CRC_ERROR, kNotSupported, true},
        {&CNDISRequesterProxy::GetCRCErrors, OID_GEN_RCV_CRC_ERROR, kInvalidOid, true},
        {&CNDISRequesterProxy::GetCRCErrors, OID_GEN_RCV_CRC_ERROR, NDIS_STATUS_FAILURE, false},
        {&CNDISRequesterProxy::GetSoftMissedFrames, OID_W32N55_SOFT_MISSED_FRAMES, kInvalidOid,
         false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.status);
        CNDISRequesterProxy fresh(hook.get());
        adapter.Refuse(row.oid, row.status);
        EXPECT_EQ((fresh.*row.getter)(), -1);
        EXPECT_EQ(static_cast<std::uint32_t>(fresh.GetStatus()), row.status);
        EXPECT_EQ(fresh.IsSupported(static_cast<std::int32_t>(row.oid)), row.kept ? 0 : 1);

        adapter.refusals.clear();
        adapter.AnswerULong(row.oid, 7);
        adapter.AnswerPrivateULong(row.oid, 7);
        EXPECT_EQ((fresh.*row.getter)(), row.kept ? -1 : 7);
        EXPECT_EQ(static_cast<std::uint32_t>(fresh.GetStatus()), row.kept ? kNotSupported : 0U);
    }
}

TEST_F(RequesterProxyTest, RefusalsInAnyOrderAreAllFoundAndOthersStaySupported) {
    EXPECT_EQ(proxy.IsOk(), 1);
    EXPECT_EQ(proxy.IsSupported(-1), 1);
    // Refused in a scrambled order, so an unsorted list defeats the search.
    std::vector<std::size_t> order;
    for (std::size_t i = 0; i < std::size(kLongGetters); i += 2) {
        order.push_back(i);
    }
    std::reverse(order.begin(), order.end());
    std::rotate(order.begin(), order.begin() + order.size() / 3, order.end());
    for (const std::size_t i : order) {
        adapter.Refuse(kLongGetters[i].oid, kNotSupported);
        (proxy.*kLongGetters[i].getter)();
    }
    for (std::size_t i = 0; i < std::size(kLongGetters); ++i) {
        const auto oid = static_cast<std::int32_t>(kLongGetters[i].oid);
        EXPECT_EQ(proxy.IsSupported(oid), i % 2 == 0 ? 0 : 1) << kLongGetters[i].name;
    }
}

using qndis::test::WithoutFreeDescriptors;

// A proxy makes its wait event with its first request and a copy starts
// without one, so copies of a proxy that has asked are the proxies that
// still need one.
TEST_F(RequesterProxyTest, WithoutAWaitEventNothingIsSentAndTheStatusStays) {
    adapter.AnswerULong(OID_GEN_XMIT_OK, 5).AnswerULong(OID_GEN_LINK_SPEED, 10);
    adapter.AnswerPrivateULong(OID_W32N55_SOFT_MISSED_FRAMES, 3);
    adapter.Refuse(OID_GEN_RCV_OK, NDIS_STATUS_FAILURE);
    EXPECT_EQ(proxy.GetFramesTransmitted(), 5);
    std::int32_t frames = 0;
    std::int32_t speed = 0;
    std::int32_t soft = 0;
    CMACAddr address = kBurnedIn;
    CNDISRequesterProxy copy = proxy;
    WithoutFreeDescriptors([&] {
        frames = copy.GetFramesTransmitted();
        speed = copy.GetLinkSpeed();
        soft = copy.GetSoftMissedFrames();
        address = copy.GetEthernetCurrentAddress();
    });
    // The earlier success does not make these read as answers.
    EXPECT_EQ(frames, -1);
    EXPECT_EQ(speed, 0);
    EXPECT_EQ(soft, -1);
    EXPECT_EQ(address, CMACAddr::MACNull);
    EXPECT_EQ(copy.GetStatus(), 0);

    EXPECT_EQ(proxy.GetFramesReceived(), -1);
    CNDISRequesterProxy refused = proxy;
    WithoutFreeDescriptors([&] { refused.SetCurrentPacketFilter(1); });
    EXPECT_EQ(static_cast<std::uint32_t>(refused.GetStatus()), NDIS_STATUS_FAILURE);
    EXPECT_EQ(refused.IsSupported(OID_GEN_CURRENT_PACKET_FILTER), 1);
    EXPECT_EQ(ScriptedAdapter::PacketFilter("eth0"), std::nullopt) << "nothing was sent";
}

TEST_F(RequesterProxyTest, HardwareAddressesOrTheNullAddress) {
    EXPECT_EQ(proxy.GetEthernetCurrentAddress(), kStation);
    EXPECT_EQ(proxy.GetEthernetPermanentAddress(), kBurnedIn);
    adapter.Refuse(OID_802_3_CURRENT_ADDRESS, NDIS_STATUS_FAILURE);
    adapter.Refuse(OID_802_3_PERMANENT_ADDRESS, kNotSupported);
    EXPECT_EQ(proxy.GetEthernetCurrentAddress(), CMACAddr::MACNull);
    EXPECT_EQ(proxy.GetEthernetPermanentAddress(), CMACAddr::MACNull);
    EXPECT_EQ(proxy.IsSupported(OID_802_3_PERMANENT_ADDRESS), 0);
}

TEST_F(RequesterProxyTest, LinkSpeedTextFollowsTheSpeedInUnitsOf100Bits) {
    const std::pair<std::uint32_t, const char*> rows[] = {
        {1000000, "100.0 Mb/s"},
        {100000, "10.0 Mb/s"},
        {10000, "1.0 Mb/s"},
        {9999, "999.9 Kb/s"},
        {100, "10.0 Kb/s"},
        {10, "1.0 Kb/s"},
        {9, "900.0 b/s"},
        {0, "0.0 b/s"},
        {0x7FFFFFFF, "214748.4 Mb/s"},
        // Read as a signed number, as the driver's long is.
        {0xFFFFFFFF, "-100.0 b/s"}};
    for (const auto& [units, text] : rows) {
        adapter.AnswerULong(OID_GEN_LINK_SPEED, units);
        EXPECT_EQ(proxy.GetLinkSpeedAsString(), text);
    }
    adapter.Refuse(OID_GEN_LINK_SPEED, NDIS_STATUS_FAILURE);
    EXPECT_EQ(proxy.GetLinkSpeedAsString(), "0.0 b/s");
}

struct MediaRow {
    const char* name;
    std::vector<std::uint32_t> reported;
    int count;
    int copied;
};

TEST_F(RequesterProxyTest, MediaAreCopiedUpToCount) {
    const std::vector<std::uint32_t> twenty = {0,  1,  2,  3,  4, 5, 6, 7, 8, 9,
                                               10, 11, 12, 13, 0, 1, 2, 3, 4, 5};
    const MediaRow rows[] = {
        {"two into room for one", {NdisMedium802_3, NdisMediumDix}, 1, 1},
        {"two into room for ten", {NdisMedium802_3, NdisMediumDix}, 10, 2},
        {"no room", {NdisMedium802_3}, 0, 0},
        {"negative room", {NdisMedium802_3}, -3, 0},
        {"none reported", {}, 10, 0},
        {"the whole buffer", twenty, 30, 20},
    };
    using Query = int (CNDISRequesterProxy::*)(CMediaType*, int);
    for (const auto& [oid, query] :
         {std::pair<std::uint32_t, Query>{OID_GEN_MEDIA_IN_USE,
                                          &CNDISRequesterProxy::GetMediaInUse},
          std::pair<std::uint32_t, Query>{OID_GEN_MEDIA_SUPPORTED,
                                          &CNDISRequesterProxy::GetMediaSupported}}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(row.name);
            adapter.AnswerULongs(oid, row.reported);
            std::vector<CMediaType> types(32, CMediaType(77));
            EXPECT_EQ((proxy.*query)(types.data(), row.count), row.copied);
            for (int i = 0; i < 32; ++i) {
                const std::int32_t expected =
                    i < row.copied ? static_cast<std::int32_t>(row.reported[i]) : 77;
                EXPECT_EQ(types[i].GetType(), expected) << "entry " << i;
            }
        }
    }
}

TEST_F(RequesterProxyTest, MediaWrittenInPartialValuesCountWholeValuesOnly) {
    const std::uint32_t wan[] = {NdisMediumWan};
    adapter.AnswerULongs(OID_GEN_MEDIA_IN_USE, wan);
    adapter.answers[OID_GEN_MEDIA_IN_USE].insert(adapter.answers[OID_GEN_MEDIA_IN_USE].end(),
                                                 {0x05, 0x00});
    CMediaType types[4];
    EXPECT_EQ(proxy.GetMediaInUse(types, 4), 1);
    EXPECT_STREQ(types[0].GetName(), "WAN");
    EXPECT_EQ(types[1].GetType(), -1);
}

TEST_F(RequesterProxyTest, FailedMediaQueriesLeaveTheEntriesAlone) {
    adapter.AnswerULongs(OID_GEN_MEDIA_SUPPORTED, std::vector<std::uint32_t>(21, 1));
    adapter.Refuse(OID_GEN_MEDIA_IN_USE, kNotSupported);
    CMediaType types[2] = {CMediaType(4), CMediaType(4)};
    // More than the 80 bytes there is room for: the adapter refuses it.
    EXPECT_EQ(proxy.GetMediaSupported(types, 2), 0);
    EXPECT_EQ(proxy.GetMediaInUse(types, 2), 0);
    EXPECT_EQ(proxy.GetMediaInUse(nullptr, 5), 0);
    EXPECT_EQ(types[0].GetType(), 4);
    EXPECT_EQ(types[1].GetType(), 4);
}

TEST_F(RequesterProxyTest, PhysicalMediumIsSetOnlyOnSuccess) {
    CPhysicalMediaType medium(6);
    adapter.Refuse(OID_GEN_PHYSICAL_MEDIUM, NDIS_STATUS_FAILURE);
    EXPECT_EQ(proxy.GetPhysicalMedium(medium), 0);
    EXPECT_EQ(medium.GetType(), 6);
    adapter.refusals.clear();
    adapter.AnswerULong(OID_GEN_PHYSICAL_MEDIUM, NdisPhysicalMediumWirelessLan);
    EXPECT_EQ(proxy.GetPhysicalMedium(medium), 1);
    EXPECT_STREQ(medium.GetName(), "Wireless LAN");
}

TEST_F(RequesterProxyTest, VendorTextLivesInOneSharedBuffer) {
    adapter.AnswerText(OID_GEN_VENDOR_DESCRIPTION, "Fake NIC 1.0");
    ScriptedAdapter::Register("eth1", {}).AnswerText(OID_GEN_VENDOR_DESCRIPTION, "Other");
    auto otherHook = std::make_unique<CNdisHook>();
    ASSERT_TRUE(otherHook->OpenDriver("eth1"));
    CNDISRequesterProxy other(otherHook.get());

    const char* first = proxy.GetVendorInformation();
    EXPECT_STREQ(first, "Fake NIC 1.0");
    const char* second = other.GetVendorInformation();
    EXPECT_EQ(first, second);
    EXPECT_STREQ(first, "Other");
    // The shorter text leaves nothing of the longer one behind it.
    EXPECT_STREQ(proxy.GetVendorInformation(), "Fake NIC 1.0");
    EXPECT_STREQ(other.GetVendorInformation(), "Other");
}

TEST_F(RequesterProxyTest, VendorTextFillingTheBufferIsStillTerminated) {
    const std::vector<std::uint8_t> full(300, 'V');
    adapter.AnswerBytes(OID_GEN_VENDOR_DESCRIPTION, full);
    EXPECT_EQ(std::strlen(proxy.GetVendorInformation()), 300U);
}

TEST_F(RequesterProxyTest, VendorTextOfARefusingAdapter) {
    adapter.Refuse(OID_GEN_VENDOR_DESCRIPTION, kNotSupported);
    EXPECT_STREQ(proxy.GetVendorInformation(), "*ERROR*");
    adapter.refusals.clear();
    adapter.AnswerText(OID_GEN_VENDOR_DESCRIPTION, "Late");
    EXPECT_STREQ(proxy.GetVendorInformation(), "*ERROR*") << "refused once, not asked again";
}

TEST_F(RequesterProxyTest, DriverVersionIsTwoBytes) {
    adapter.AnswerBytes(kDriverVersionOid, std::vector<std::uint8_t>{0x05, 0x03});
    EXPECT_EQ(proxy.GetDriverVersion(), 0x0305);
    adapter.Refuse(kDriverVersionOid, kNotSupported);
    EXPECT_EQ(proxy.GetDriverVersion(), 0);
}

TEST_F(RequesterProxyTest, SetRequestsCarryTheirValue) {
    proxy.SetCurrentPacketFilter(0x2D);
    EXPECT_EQ(proxy.IsOk(), 1);
    EXPECT_EQ(ScriptedAdapter::PacketFilter("eth0"), 0x2DU);
    EXPECT_EQ(proxy.GetCurrentFilter(), 0x2D);

    adapter.Refuse(OID_GEN_CURRENT_PACKET_FILTER, kNotSupported);
    proxy.SetCurrentPacketFilter(0);
    EXPECT_EQ(Status(), kNotSupported);
    // The refusal of the set also covers the query of the same OID.
    adapter.refusals.clear();
    EXPECT_EQ(proxy.GetCurrentFilter(), 0);
    EXPECT_EQ(ScriptedAdapter::PacketFilter("eth0"), 0x2DU);
}

TEST_F(RequesterProxyTest, CopiesOwnTheirRefusedListsAndShareTheHook) {
    adapter.Refuse(OID_GEN_RCV_ERROR, kNotSupported);
    proxy.GetErrorsReceived();
    auto copy = std::make_unique<CNDISRequesterProxy>(proxy);
    CNDISRequesterProxy assigned(nullptr);
    assigned = proxy;

    adapter.Refuse(OID_GEN_XMIT_ERROR, kNotSupported);
    proxy.GetErrorsTransmitted();
    EXPECT_EQ(proxy.IsSupported(OID_GEN_XMIT_ERROR), 0);
    EXPECT_EQ(copy->IsSupported(OID_GEN_XMIT_ERROR), 1);
    EXPECT_EQ(assigned.IsSupported(OID_GEN_XMIT_ERROR), 1);
    EXPECT_EQ(copy->IsSupported(OID_GEN_RCV_ERROR), 0);
    EXPECT_EQ(assigned.IsSupported(OID_GEN_RCV_ERROR), 0);

    // The copy's refusal is answered without the driver; its other
    // requests reach the same adapter.
    adapter.refusals.clear();
    adapter.AnswerULong(OID_GEN_RCV_ERROR, 3);
    EXPECT_EQ(copy->GetErrorsReceived(), -1);
    adapter.AnswerULong(OID_GEN_RCV_OK, 12);
    EXPECT_EQ(assigned.GetFramesReceived(), 12);

    const CNDISRequesterProxy& same = assigned;
    assigned = same;
    EXPECT_EQ(assigned.IsSupported(OID_GEN_RCV_ERROR), 0);
    copy.reset();
    EXPECT_EQ(proxy.IsSupported(OID_GEN_RCV_ERROR), 0);
}

} // namespace
