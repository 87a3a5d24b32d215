#include "qndislib/adapter/NDISRequesterProxy.h"
#include "qndislib/capture/NdisHook.h"
#include "tests/capture/CaptureTestSupport.h"
#include "tests/support/GoldenFile.h"

#include <algorithm>
#include <cstring>
#include <gtest/gtest.h>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <vector>
#if !defined(_WIN32)
#include "tests/support/NoFreeDescriptors.h"
#endif

namespace {

using namespace qndis::test;

constexpr std::uint32_t kNotSupported = NDIS_STATUS_NOT_SUPPORTED;
constexpr std::uint32_t kInvalidOid = NDIS_STATUS_INVALID_OID;
// Not part of the driver contract's OID list.
constexpr std::uint32_t kDriverVersionOid = 0x00010110;

class RequesterProxyTest : public testing::Test {
protected:
    RequesterProxyTest() { EXPECT_TRUE(hook->OpenDriver("eth0")); }

    std::uint32_t Status() const { return static_cast<std::uint32_t>(proxy.GetStatus()); }

    ScriptedDriver driver;
    ScriptRef adapter = ScriptedAdapter::Register("eth0", MediumScript(NdisMedium802_3));
    std::unique_ptr<CNdisHook> hook = std::make_unique<CNdisHook>();
    CNDISRequesterProxy proxy{hook.get()};
};

using LongGetter = std::int32_t (CNDISRequesterProxy::*)();
using QwordGetter = QWORD (CNDISRequesterProxy::*)();

template <typename Getter> struct GetterRow {
    const char* name;
    Getter getter;
    std::uint32_t oid;
    std::int32_t failure;
};

#define ROW(getter, ...)                                                                           \
    { #getter, &CNDISRequesterProxy::getter, __VA_ARGS__ }
// clang-format off
const GetterRow<LongGetter> kLongGetters[] = {
    ROW(GetFramesTransmitted, 0x00020101, -1), ROW(GetFramesReceived, 0x00020102, -1),
    ROW(GetErrorsTransmitted, 0x00020103, -1), ROW(GetErrorsReceived, 0x00020104, -1),
    ROW(GetMissedFrames, 0x00020105, -1), ROW(GetDirectedFramesTrans, 0x00020202, -1),
    ROW(GetMulticastFramesTrans, 0x00020204, -1), ROW(GetBroadcastFramesTrans, 0x00020206, -1),
    ROW(GetDirectedFramesRecv, 0x00020208, -1), ROW(GetMulticastFramesRecv, 0x0002020A, -1),
    ROW(GetBroadcastFramesRecv, 0x0002020C, -1), ROW(GetCRCErrors, 0x0002020D, -1),
    ROW(GetEthernetRcvErrorAlignment, 0x01020101, -1),
    ROW(GetEthernetXmitOneCollision, 0x01020102, -1),
    ROW(GetEthernetXmitMoreCollisions, 0x01020103, -1),
    ROW(GetEthernetXmitDeferred, 0x01020201, -1),
    ROW(GetEthernetXmitMaxCollisions, 0x01020202, -1),
    ROW(GetEthernetRcvOverrun, 0x01020203, -1), ROW(GetEthernetXmitUnderrun, 0x01020204, -1),
    ROW(GetEthernetXmitHartbeatFailure, 0x01020205, -1),
    ROW(GetEthernetXmitCarrierLost, 0x01020206, -1),
    ROW(GetEthernetXmitLateCollisions, 0x01020207, -1),
    ROW(GetMaxFrameSize, 0x00010106, 0), ROW(GetLinkSpeed, 0x00010107, 0),
    ROW(GetCurrentFilter, 0x0001010E, 0), ROW(GetTotalPacketLength, 0x00010111, 0),
    ROW(GetHardwareStatus, 0x00010102, 0), ROW(GetMaxLookaheadSize, 0x00010105, 0),
    ROW(GetTransmitBufferSpace, 0x00010109, 0), ROW(GetReceiveBufferSpace, 0x0001010A, 0),
    ROW(GetVendorCode, 0x0001010C, 0), ROW(GetOptionalTransportFlags, 0x00010112, 0),
    ROW(GetOptionalNetcardFlags, 0x00010113, 0)};
const GetterRow<QwordGetter> kQwordGetters[] = {
    ROW(GetDirectedBytesTrans, 0x00020201, 0), ROW(GetMulticastBytesTrans, 0x00020203, 0),
    ROW(GetBroadcastBytesTrans, 0x00020205, 0), ROW(GetDirectedBytesRecv, 0x00020207, 0),
    ROW(GetMulticastBytesRecv, 0x00020209, 0), ROW(GetBroadcastBytesRecv, 0x0002020B, 0)};
// clang-format on
#undef ROW

// A value per OID, so that a getter asking the wrong OID reads a wrong one.
std::uint32_t ValueFor(std::uint32_t oid) {
    return (oid * 2654435761U) >> 4;
}

// Answers every getter of `rows` with a value of its own, then refuses them all.
template <typename Rows, typename Answer, typename Expected>
void CheckGetters(CNDISRequesterProxy& proxy, ScriptRef& adapter, const Rows& rows, Answer answer,
                  Expected expected) {
    for (const auto& row : rows) {
        answer(row.oid, ValueFor(row.oid));
    }
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ((proxy.*row.getter)(), expected(ValueFor(row.oid), row.failure));
        EXPECT_EQ(proxy.IsOk(), 1);
        adapter.Refuse(row.oid, NDIS_STATUS_FAILURE);
        EXPECT_EQ((proxy.*row.getter)(), expected(std::nullopt, row.failure));
        EXPECT_EQ(static_cast<std::uint32_t>(proxy.GetStatus()), NDIS_STATUS_FAILURE);
    }
}

TEST_F(RequesterProxyTest, EveryGetterAsksItsOidAndReportsItsFailureValue) {
    CheckGetters(
        proxy, adapter, kLongGetters,
        [&](std::uint32_t oid, std::uint32_t value) { adapter.AnswerULong(oid, value); },
        [](std::optional<std::uint32_t> value, std::int32_t failure) {
            return value ? static_cast<std::int32_t>(*value) : failure;
        });
    // Counters fail with all bits set.
    CheckGetters(
        proxy, adapter, kQwordGetters,
        [&](std::uint32_t oid, std::uint32_t value) {
            adapter.AnswerCounter(oid, 0x0000000100000000ULL + value);
        },
        [](std::optional<std::uint32_t> value, std::int32_t) {
            return value ? QWORD(1U, *value) : QWORD(0xFFFFFFFFU, 0xFFFFFFFFU);
        });
}

TEST_F(RequesterProxyTest, ValuesKeepAllBitsAndShortAnswersAZeroHighHalf) {
    adapter.AnswerULong(OID_GEN_XMIT_OK, 0xFFFFFFFFU);
    adapter.AnswerULong(OID_GEN_DIRECTED_BYTES_RCV, 0xDEADBEEFU);
    // An adapter may report -1 as a real value: only the status tells.
    EXPECT_EQ(proxy.GetFramesTransmitted(), -1);
    EXPECT_EQ(proxy.IsOk(), 1);
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

        adapter.ClearRefusals();
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
    for (const std::size_t i : {20, 2, 30, 14, 0, 8, 26, 4, 18, 32, 10, 6, 24, 16, 12, 28, 22}) {
        adapter.Refuse(kLongGetters[i].oid, kNotSupported);
        (proxy.*kLongGetters[i].getter)();
    }
    for (std::size_t i = 0; i < std::size(kLongGetters); ++i) {
        const auto oid = static_cast<std::int32_t>(kLongGetters[i].oid);
        EXPECT_EQ(proxy.IsSupported(oid), i % 2 == 0 ? 0 : 1) << kLongGetters[i].name;
    }
}

#if !defined(_WIN32)
// A proxy makes its wait event with its first request and a copy starts
// without one, so copies of a proxy that has asked are the proxies that
// still need one. Its event fails to be made for want of a descriptor.
TEST_F(RequesterProxyTest, WithoutAWaitEventNothingIsSentAndTheStatusStays) {
    adapter.AnswerULong(OID_GEN_XMIT_OK, 5).AnswerULong(OID_GEN_LINK_SPEED, 10);
    adapter.AnswerPrivateULong(OID_W32N55_SOFT_MISSED_FRAMES, 3);
    adapter.Refuse(OID_GEN_RCV_OK, NDIS_STATUS_FAILURE);
    EXPECT_EQ(proxy.GetFramesTransmitted(), 5);
    CNDISRequesterProxy copy = proxy;
    // The earlier success does not make these read as answers.
    WithoutFreeDescriptors([&] {
        EXPECT_EQ(copy.GetFramesTransmitted(), -1);
        EXPECT_EQ(copy.GetLinkSpeed(), 0);
        EXPECT_EQ(copy.GetSoftMissedFrames(), -1);
        EXPECT_EQ(copy.GetEthernetCurrentAddress(), CMACAddr::MACNull);
    });
    EXPECT_EQ(copy.GetStatus(), 0);

    EXPECT_EQ(proxy.GetFramesReceived(), -1);
    CNDISRequesterProxy refused = proxy;
    WithoutFreeDescriptors([&] { refused.SetCurrentPacketFilter(1); });
    EXPECT_EQ(static_cast<std::uint32_t>(refused.GetStatus()), NDIS_STATUS_FAILURE);
    EXPECT_EQ(refused.IsSupported(OID_GEN_CURRENT_PACKET_FILTER), 1);
    EXPECT_EQ(ScriptedAdapter::PacketFilter("eth0"), std::nullopt) << "nothing was sent";
}
#endif

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
    for (const GoldenRow& row : ReadGolden("link-speeds.txt", 2)) {
        adapter.AnswerULong(OID_GEN_LINK_SPEED,
                            static_cast<std::uint32_t>(std::stoul(row.fields[0], nullptr, 0)));
        EXPECT_EQ(proxy.GetLinkSpeedAsString(), row.fields[1]) << row.where;
    }
    adapter.Refuse(OID_GEN_LINK_SPEED, NDIS_STATUS_FAILURE);
    EXPECT_EQ(proxy.GetLinkSpeedAsString(), "0.0 b/s");
}

TEST_F(RequesterProxyTest, MediaAreCopiedUpToCount) {
    std::vector<std::uint32_t> twenty(20);
    std::iota(twenty.begin(), twenty.end(), 0);
    const struct {
        const char* name;
        std::vector<std::uint32_t> reported;
        int count;
        int copied;
    } rows[] = {
        {"two into room for one", {NdisMedium802_3, NdisMediumDix}, 1, 1},
        {"two into room for ten", {NdisMedium802_3, NdisMediumDix}, 10, 2},
        {"no room", {NdisMedium802_3}, 0, 0},
        {"negative room", {NdisMedium802_3}, -3, 0},
        {"none reported", {}, 10, 0},
        {"the whole buffer", twenty, 30, 20},
    };
    using Query = std::pair<std::uint32_t, int (CNDISRequesterProxy::*)(CMediaType*, int)>;
    for (const auto& [oid, query] :
         {Query{OID_GEN_MEDIA_IN_USE, &CNDISRequesterProxy::GetMediaInUse},
          Query{OID_GEN_MEDIA_SUPPORTED, &CNDISRequesterProxy::GetMediaSupported}}) {
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

TEST_F(RequesterProxyTest, MediaCountWholeValuesAndFailuresLeaveTheEntriesAlone) {
    // One whole value and two bytes of the next.
    adapter.AnswerBytes(OID_GEN_MEDIA_IN_USE,
                        std::vector<std::uint8_t>{NdisMediumWan, 0, 0, 0, 0x05, 0x00});
    CMediaType types[2] = {CMediaType(4), CMediaType(4)};
    EXPECT_EQ(proxy.GetMediaInUse(types, 2), 1);
    EXPECT_EQ(types[0].GetType(), NdisMediumWan);
    EXPECT_EQ(types[1].GetType(), 4);

    // More than the 80 bytes there is room for: the adapter refuses it.
    adapter.AnswerULongs(OID_GEN_MEDIA_SUPPORTED, std::vector<std::uint32_t>(21, 1));
    adapter.Refuse(OID_GEN_MEDIA_IN_USE, kNotSupported);
    EXPECT_EQ(proxy.GetMediaSupported(types, 2), 0);
    EXPECT_EQ(proxy.GetMediaInUse(types, 2), 0);
    EXPECT_EQ(proxy.GetMediaInUse(nullptr, 5), 0);
    EXPECT_EQ(types[1].GetType(), 4);
}

TEST_F(RequesterProxyTest, PhysicalMediumIsSetOnlyOnSuccess) {
    CPhysicalMediaType medium(6);
    adapter.Refuse(OID_GEN_PHYSICAL_MEDIUM, NDIS_STATUS_FAILURE);
    EXPECT_EQ(proxy.GetPhysicalMedium(medium), 0);
    EXPECT_EQ(medium.GetType(), 6);
    adapter.ClearRefusals();
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
    EXPECT_EQ(other.GetVendorInformation(), first);
    // The shorter text leaves nothing of the longer one behind it.
    EXPECT_STREQ(first, "Other");
}

TEST_F(RequesterProxyTest, VendorTextFillingTheBufferIsTerminatedAndARefusalIsKept) {
    adapter.AnswerBytes(OID_GEN_VENDOR_DESCRIPTION, std::vector<std::uint8_t>(300, 'V'));
    EXPECT_EQ(std::strlen(proxy.GetVendorInformation()), 300U);
    adapter.Refuse(OID_GEN_VENDOR_DESCRIPTION, kNotSupported);
    EXPECT_STREQ(proxy.GetVendorInformation(), "*ERROR*");
    adapter.ClearRefusals();
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
    adapter.ClearRefusals();
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
    EXPECT_EQ(copy->IsSupported(OID_GEN_XMIT_ERROR) + assigned.IsSupported(OID_GEN_XMIT_ERROR), 2);
    EXPECT_EQ(copy->IsSupported(OID_GEN_RCV_ERROR) + assigned.IsSupported(OID_GEN_RCV_ERROR), 0);

    // The copy's refusal is answered without the driver; its other
    // requests reach the same adapter.
    adapter.ClearRefusals();
    adapter.AnswerULong(OID_GEN_RCV_ERROR, 3);
    EXPECT_EQ(copy->GetErrorsReceived(), -1);
    adapter.AnswerULong(OID_GEN_RCV_OK, 12);
    EXPECT_EQ(assigned.GetFramesReceived(), 12);

    assigned = static_cast<const CNDISRequesterProxy&>(assigned);
    EXPECT_EQ(assigned.IsSupported(OID_GEN_RCV_ERROR), 0);
    copy.reset();
    EXPECT_EQ(proxy.IsSupported(OID_GEN_RCV_ERROR), 0);
}

} // namespace
