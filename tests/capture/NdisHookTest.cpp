#include "qndislib/capture/NdisHook.h"

#include "qndislib/capture/DriverLibrary.h"
#include "tests/capture/CaptureTestSupport.h"
#include "tests/support/DescriptorCount.h"
#include "tests/support/NoFreeDescriptors.h"
#include "w32n55/OrdinalTable.h"

#include <cerrno>
#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace {

using namespace qndis::test;

const CMACAddr kTokenRingStation("400000000001");

class NdisHookTest : public testing::Test {
protected:
    NdisHookTest() {
        ScriptedAdapter::Register("eth0", MediumScript(NdisMedium802_3));
        ScriptedAdapter::Register("tr0", MediumScript(NdisMedium802_5, kTokenRingStation));
    }

    bool Send(std::uint8_t seed) {
        auto frame = EthernetIIFrame(kPeer, 60, seed);
        return hook->SendPacket(frame.data(), static_cast<int>(frame.size()));
    }

    ScriptedDriver driver;
    std::unique_ptr<CNdisHook> hook = std::make_unique<CNdisHook>();
};

TEST_F(NdisHookTest, RefusedOpensTraceOneLineAndLeaveTheHookClosed) {
    w32n55::AdapterScript busy;
    busy.openError = EBUSY;
    ScriptedAdapter::Register("busy0", busy);
    const std::string tooLong(CNdisHook::NameSize, 'x');
    const std::pair<const char*, const char*> cases[] = {
        {"", "ERROR: Name==0"},
        {nullptr, "ERROR: Name==0"},
        {tooLong.c_str(), "ERROR: Name too long"},
        {"busy0", "ERROR: Cannot open NetCard, Error code 16 (00000010)"},
        {"nosuch0", "ERROR: Cannot open NetCard, Error code 19 (00000013)"},
    };
    for (const auto& [name, line] : cases) {
        SCOPED_TRACE(line);
        TraceLog trace;
        EXPECT_FALSE(hook->OpenDriver(name));
        EXPECT_EQ(trace.Lines(), std::vector<std::string>{line});
        EXPECT_FALSE(hook->IsOpen());
        EXPECT_EQ(hook->GetHandle(), reinterpret_cast<void*>(std::intptr_t{-1}));
    }
    const std::string longest(CNdisHook::NameSize - 1, 'n');
    ScriptedAdapter::Register(longest, {});
    EXPECT_TRUE(hook->OpenDriver(longest.c_str()));
    EXPECT_EQ(std::string(hook->GetAdapterName()), longest);
}

TEST_F(NdisHookTest, EventThatCannotBeMadeClosesTheAdapter) {
    // On the first check of a type, UBSan's virtual-call check needs a
    // descriptor of its own: meet the adapter's type before they run out.
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    hook->CloseDriver();
    TraceLog trace;
    bool opened = true;
    WithoutFreeDescriptors([&] { opened = hook->OpenDriver("eth0"); });

    EXPECT_FALSE(opened);
    EXPECT_EQ(trace.Lines(), std::vector<std::string>{"ERROR: Cannot create overlapped event"});
    EXPECT_EQ(ScriptedAdapter::OpenInstances("eth0"), 0U);
    EXPECT_EQ(hook->GetHandle(), reinterpret_cast<void*>(std::intptr_t{-1}));
}

TEST_F(NdisHookTest, RefusedAddressesAreLeftZero) {
    ScriptedAdapter::Register("eth0",
                              MediumScript(NdisMedium802_3)
                                  .Refuse(OID_802_3_CURRENT_ADDRESS, NDIS_STATUS_FAILURE)
                                  .Refuse(OID_802_3_PERMANENT_ADDRESS, NDIS_STATUS_FAILURE));
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    EXPECT_TRUE(hook->GetCurrentAddress().IsNull());
    EXPECT_TRUE(hook->GetPermanentAddress().IsNull());
}

TEST_F(NdisHookTest, ReceptionSetsTheFilterOfTheMedium) {
    const std::optional<std::uint32_t> none;
    // clang-format off
    const struct {
        std::optional<std::uint32_t> medium; // none: the medium query is refused
        std::optional<std::uint32_t> promiscuous, normal;
    } cases[] = {{NdisMedium802_3, 0x21, 0x0D}, {NdisMedium802_5, 0x21, 0x0D},
                 {NdisMediumDix, 0x21, 0x0D}, {NdisMediumLocalTalk, 0x09, 0x0D},
                 {NdisMediumFddi, none, none}, {NdisMediumWan, none, none},
                 {NdisMediumAtm, none, none}, {none, none, none}};
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.medium.value_or(0xFFFFFFFF));
        auto script = MediumScript(c.medium.value_or(0));
        if (!c.medium) {
            // An answer the adapter refuses to stand by must not be used.
            script.Refuse(OID_GEN_MEDIA_IN_USE, NDIS_STATUS_FAILURE);
        }
        ScriptedAdapter::Register("if0", script);
        ASSERT_TRUE(hook->OpenDriver("if0"));
        EXPECT_EQ(hook->GetMedium(), c.medium.value_or(0xFFFFFFFF));
        EXPECT_EQ(hook->StartPromiscuousReception(), c.promiscuous.has_value());
        EXPECT_EQ(ScriptedAdapter::PacketFilter("if0"), c.promiscuous);
        EXPECT_EQ(hook->StartNormalReception(), c.normal.has_value());
        EXPECT_EQ(ScriptedAdapter::PacketFilter("if0"), c.normal ? c.normal : c.promiscuous);
        // Programs are compiled for Ethernet frames only.
        EXPECT_EQ(hook->SetKernelFilter(nullptr), c.medium == NdisMedium802_3);
        EXPECT_TRUE(hook->StopReception());
        EXPECT_EQ(ScriptedAdapter::PacketFilter("if0"), 0U);
    }
}

TEST_F(NdisHookTest, RefusedFilterIsReportedWithEachRefusingStatus) {
    for (const std::uint32_t status :
         {NDIS_STATUS_NOT_SUPPORTED, NDIS_STATUS_INVALID_OID, NDIS_STATUS_FAILURE}) {
        ScriptedAdapter::Register(
            "eth0", MediumScript(NdisMedium802_3).Refuse(OID_GEN_CURRENT_PACKET_FILTER, status));
        ASSERT_TRUE(hook->OpenDriver("eth0"));
        EXPECT_FALSE(hook->StartNormalReception());
        EXPECT_FALSE(hook->SetPacketFilter(0x01));
        EXPECT_FALSE(hook->StopReception());
    }
}

TEST_F(NdisHookTest, TestDriverComparesNamesOnAnOpenHookAndOpensOnAClosedOne) {
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    EXPECT_TRUE(hook->TestDriver("eth0"));
    EXPECT_FALSE(hook->TestDriver("ETH0"));
    EXPECT_FALSE(hook->TestDriver("tr0"));
    EXPECT_FALSE(hook->TestDriver(nullptr));
    EXPECT_EQ(ScriptedAdapter::OpenInstances("eth0") + ScriptedAdapter::OpenInstances("tr0"), 1U);

    hook->CloseDriver();
    EXPECT_TRUE(hook->TestDriver("tr0"));
    EXPECT_FALSE(hook->IsOpen());
    EXPECT_EQ(ScriptedAdapter::OpenInstances("tr0"), 0U);
    EXPECT_EQ(hook->GetCurrentAddress(), kTokenRingStation);
    EXPECT_FALSE(hook->TestDriver("nosuch0"));
}

TEST_F(NdisHookTest, OpeningAnOpenHookClosesTheAdapterInUseFirst) {
    const auto before = OpenDescriptorCount();
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    hook->ReadStartup();
    const auto descriptors = OpenDescriptorCount();
    EXPECT_GT(descriptors, before);
    ASSERT_TRUE(hook->OpenDriver("tr0"));
    EXPECT_EQ(ScriptedAdapter::OpenInstances("eth0"), 0U);
    EXPECT_EQ(ScriptedAdapter::OpenInstances("tr0"), 1U);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_TRUE(hook->CloseDriver());
    EXPECT_TRUE(hook->CloseDriver());
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(NdisHookTest, TimestampsRunInNanosecondsWhileTheAdapterIsOpen) {
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    const auto first = static_cast<std::int64_t>(hook->GetCurrentTimestamp());
    EXPECT_GT(first, 1'500'000'000LL * 1'000'000'000LL) << "nanoseconds since 1970";
    EXPECT_GE(static_cast<std::int64_t>(hook->GetCurrentTimestamp()), first);
    EXPECT_EQ(hook->GetTimestampFrequency(), QWORD(1000000000ULL));
    EXPECT_TRUE(hook->SetLoResTimestamp());
    EXPECT_EQ(static_cast<std::int64_t>(hook->GetCurrentTimestamp()) % 1000, 0);
    hook->CloseDriver();
    EXPECT_EQ(hook->GetCurrentTimestamp(), QWORD(0));
    EXPECT_EQ(hook->GetTimestampFrequency(), QWORD(0));
    EXPECT_FALSE(hook->SetHiResTimestamp());
}

TEST_F(NdisHookTest, SendsGoOutOrReturnTheRefusalAtOnce) {
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    ASSERT_TRUE(Send(1));
    EXPECT_EQ(hook->GetSendStatus(), 0U);
    EXPECT_EQ(ScriptedAdapter::SentFrames("eth0"),
              std::vector<std::vector<std::uint8_t>>{EthernetIIFrame(kPeer, 60, 1)});

    auto script = MediumScript(NdisMedium802_3);
    script.sendError = EMSGSIZE;
    ScriptedAdapter::Register("eth0", script);
    const auto descriptors = OpenDescriptorCount();
    EXPECT_FALSE(Send(2));
    EXPECT_EQ(hook->GetSendStatus(), static_cast<std::uint32_t>(EMSGSIZE));
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(ScriptedAdapter::SentFrames("eth0").size(), 1U);
}

// Ends every wait at once, so that a send left unfinished is seen as such
// without waiting out the send's time.
std::uint32_t WaitEndingAtOnce(int, std::int32_t) {
    return WAIT_FAILED;
}

void* WaitsEndAtOnce(std::uint32_t ordinal) {
    return ordinal == w32n55abi::kAlertableWait ? reinterpret_cast<void*>(&WaitEndingAtOnce)
                                                : W32N55_GetProcAddress(ordinal);
}

TEST_F(NdisHookTest, UnfinishedSendKeepsItsRecordUntilItFinishesOrTheAdapterCloses) {
    qndis::DriverLibrary::UseLookupForTesting(&WaitsEndAtOnce);
    auto script = MediumScript(NdisMedium802_3);
    script.sendsPending = true;
    ScriptedAdapter::Register("eth0", script);
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    const auto descriptors = OpenDescriptorCount();
    ASSERT_TRUE(Send(3));
    EXPECT_EQ(OpenDescriptorCount(), descriptors + 1) << "the send's event outlives the call";
    ScriptedAdapter::FinishSends("eth0");
    ASSERT_TRUE(Send(4));
    EXPECT_EQ(OpenDescriptorCount(), descriptors + 1) << "only the unfinished one is kept";
    hook->CloseDriver();
    EXPECT_LT(OpenDescriptorCount(), descriptors);
}

TEST_F(NdisHookTest, CopyOfAnOpenHookOpensTheAdapterAgainAndCapturesOnItsOwn) {
    const auto before = OpenDescriptorCount();
    Receiver receiver;
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    hook->SetCallback(&Record, &receiver);
    auto copy = std::make_unique<CNdisHook>(*hook);
    EXPECT_NE(copy->GetHandle(), hook->GetHandle());
    EXPECT_EQ(ScriptedAdapter::OpenInstances("eth0"), 2U);
    EXPECT_EQ(copy->GetCurrentAddress(), kStation);

    hook.reset();
    copy->ReadStartup();
    ASSERT_TRUE(copy->StartNormalReception());
    EXPECT_EQ(ScriptedAdapter::Inject("eth0", EthernetIIFrame(kStation, 64, 0), 1), 1);
    SleepEx(0, TRUE);
    EXPECT_EQ(receiver.seen.size(), 1U);
    copy.reset();
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(NdisHookTest, AssignmentReleasesTheTargetsAdapterAndTakesTheSources) {
    const auto before = OpenDescriptorCount();
    auto target = std::make_unique<CNdisHook>();
    ASSERT_TRUE(target->OpenDriver("tr0"));
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    *target = *hook;
    *target = *target;
    EXPECT_EQ(std::string(target->GetAdapterName()), "eth0");
    EXPECT_EQ(ScriptedAdapter::OpenInstances("eth0"), 2U);
    EXPECT_EQ(ScriptedAdapter::OpenInstances("tr0"), 0U);
    *target = CNdisHook();
    EXPECT_FALSE(target->IsOpen());
    hook.reset();
    target.reset();
    EXPECT_EQ(OpenDescriptorCount(), before);
}

} // namespace
