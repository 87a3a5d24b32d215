#include "qndislib/capture/NdisHook.h"

#include "tests/capture/CaptureTestSupport.h"
#include "tests/support/NoFreeDescriptors.h"

#include <gtest/gtest.h>
#include <memory>
#include <optional>

namespace {

using namespace qndis::test;
using w32n55abi::Ordinal;

class NdisHookTest : public testing::Test {
protected:
    NdisHookTest() {
        fake.AddAdapter("eth0", NdisMedium802_3, kStation, kBurnedIn).friendlyName = "Wired";
        fake.AddAdapter("tr0", NdisMedium802_5, CMACAddr("400000000001"));
    }

    std::int32_t HandleOf(CNdisHook& h) {
        return static_cast<std::int32_t>(reinterpret_cast<std::intptr_t>(h.GetHandle()));
    }

    FakeDriver fake;
    std::unique_ptr<CNdisHook> hook = std::make_unique<CNdisHook>();
};

struct RefusedOpen {
    const char* name;
    std::uint32_t error;
    const char* trace;
    bool reachesDriver;
};

TEST_F(NdisHookTest, RefusedOpensTraceOneLineAndLeaveTheHookClosed) {
    fake.AddAdapter("busy0").openError = 5;
    fake.AddAdapter("denied0").openError = 0xC0000022;
    const std::string tooLong(CNdisHook::NameSize, 'x');
    const RefusedOpen cases[] = {
        {"", 0, "ERROR: Name==0", false},
        {nullptr, 0, "ERROR: Name==0", false},
        {tooLong.c_str(), 0, "ERROR: Name too long", false},
        {"busy0", 5, "ERROR: Cannot open NetCard, Error code 5 (00000005)", true},
        {"denied0", 0, "ERROR: Cannot open NetCard, Error code -1073741790 (C0000022)", true},
        {"nosuch0", 0, "ERROR: Cannot open NetCard, Error code 2 (00000002)", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.trace);
        TraceLog trace;
        fake.ClearLog();
        EXPECT_FALSE(hook->OpenDriver(c.name));
        EXPECT_EQ(trace.Lines(), std::vector<std::string>{c.trace});
        EXPECT_FALSE(hook->IsOpen());
        EXPECT_EQ(hook->GetHandle(), reinterpret_cast<void*>(std::intptr_t{-1}));
        EXPECT_EQ(fake.CallCount(w32n55abi::kOpenAdapter), c.reachesDriver ? 1U : 0U);
        EXPECT_EQ(fake.OpenHandles(), 0U);
    }
}

TEST_F(NdisHookTest, NameOfTheLongestFittingLengthOpens) {
    const std::string longest(CNdisHook::NameSize - 1, 'n');
    fake.AddAdapter(longest);
    EXPECT_TRUE(hook->OpenDriver(longest.c_str()));
    EXPECT_EQ(std::string(hook->GetAdapterName()), longest);
}

TEST_F(NdisHookTest, EventThatCannotBeMadeClosesTheAdapter) {
    TraceLog trace;
    bool opened = true;
    qndis::test::WithoutFreeDescriptors([&] { opened = hook->OpenDriver("eth0"); });

    EXPECT_FALSE(opened);
    EXPECT_EQ(trace.Lines(), std::vector<std::string>{"ERROR: Cannot create overlapped event"});
    EXPECT_EQ(fake.CallCount(w32n55abi::kCloseAdapter), 1U);
    EXPECT_EQ(fake.OpenHandles(), 0U);
    EXPECT_EQ(hook->GetHandle(), reinterpret_cast<void*>(std::intptr_t{-1}));
}

TEST_F(NdisHookTest, OpenLearnsMediumAddressesAndSelectsHighResolution) {
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    EXPECT_TRUE(hook->IsOpen());
    EXPECT_EQ(hook->GetMedium(), NdisMedium802_3);
    EXPECT_EQ(hook->GetCurrentAddress(), kStation);
    EXPECT_EQ(hook->GetPermanentAddress(), kBurnedIn);
    const auto resolution = fake.CallsOf(w32n55abi::kTimestampResolution);
    ASSERT_EQ(resolution.size(), 1U);
    EXPECT_EQ(resolution[0].value, 1);
    EXPECT_EQ(resolution[0].handle, HandleOf(*hook));
}

TEST_F(NdisHookTest, AddressesTheAdapterDoesNotGiveStayZero) {
    fake.FindAdapter("eth0")->Refuse(OID_802_3_CURRENT_ADDRESS).Refuse(OID_802_3_PERMANENT_ADDRESS);
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    EXPECT_TRUE(hook->GetCurrentAddress().IsNull());
    EXPECT_TRUE(hook->GetPermanentAddress().IsNull());
}

struct MediumCase {
    const char* label;
    std::optional<std::uint32_t> medium; // none: the medium query is refused
    std::optional<std::uint32_t> promiscuous;
    std::optional<std::uint32_t> normal;
};

class ReceptionByMedium : public NdisHookTest, public testing::WithParamInterface<MediumCase> {};

TEST_P(ReceptionByMedium, SetsTheFilterOfTheMedium) {
    const MediumCase& c = GetParam();
    FakeAdapter& adapter = fake.AddAdapter("if0", c.medium.value_or(0));
    if (!c.medium) {
        adapter.Refuse(OID_GEN_MEDIA_IN_USE, NDIS_STATUS_INVALID_OID);
    }
    ASSERT_TRUE(hook->OpenDriver("if0"));
    EXPECT_EQ(hook->GetMedium(), c.medium.value_or(0xFFFFFFFF));
    const std::int32_t handle = HandleOf(*hook);

    EXPECT_EQ(hook->StartPromiscuousReception(), c.promiscuous.has_value());
    EXPECT_EQ(fake.PacketFilter(handle), c.promiscuous);
    EXPECT_EQ(hook->StartNormalReception(), c.normal.has_value());
    EXPECT_EQ(fake.PacketFilter(handle), c.normal.has_value() ? c.normal : c.promiscuous);
    EXPECT_TRUE(hook->StopReception());
    EXPECT_EQ(fake.PacketFilter(handle), 0U);
}

INSTANTIATE_TEST_SUITE_P(
    Media, ReceptionByMedium,
    testing::Values(MediumCase{"Ethernet", NdisMedium802_3, 0x21, 0x0D},
                    MediumCase{"TokenRing", NdisMedium802_5, 0x21, 0x0D},
                    MediumCase{"Dix", NdisMediumDix, 0x21, 0x0D},
                    MediumCase{"LocalTalk", NdisMediumLocalTalk, 0x09, 0x0D},
                    MediumCase{"Fddi", NdisMediumFddi, std::nullopt, std::nullopt},
                    MediumCase{"Wan", NdisMediumWan, std::nullopt, std::nullopt},
                    MediumCase{"Atm", NdisMediumAtm, std::nullopt, std::nullopt},
                    MediumCase{"Unanswered", std::nullopt, std::nullopt, std::nullopt}),
    [](const auto& info) { return std::string(info.param.label); });

TEST_F(NdisHookTest, MediumAnswerOfARefusedQueryIsNotKept) {
    FakeAdapter& adapter = fake.AddAdapter("half0", NdisMediumDix);
    adapter.AnswerULong(OID_GEN_MEDIA_IN_USE, NdisMediumDix);
    adapter.Refuse(OID_GEN_MEDIA_IN_USE, NDIS_STATUS_FAILURE);
    ASSERT_TRUE(hook->OpenDriver("half0"));
    EXPECT_FALSE(hook->StartNormalReception());
}

TEST_F(NdisHookTest, RefusedFilterIsReportedWithEachRefusingStatus) {
    for (const std::uint32_t status :
         {NDIS_STATUS_NOT_SUPPORTED, NDIS_STATUS_INVALID_OID, NDIS_STATUS_FAILURE}) {
        fake.FindAdapter("eth0")->Refuse(OID_GEN_CURRENT_PACKET_FILTER, status);
        ASSERT_TRUE(hook->OpenDriver("eth0"));
        EXPECT_FALSE(hook->StartNormalReception());
        EXPECT_FALSE(hook->SetPacketFilter(0x01));
        EXPECT_FALSE(hook->StopReception());
    }
}

TEST_F(NdisHookTest, TestDriverOnAnOpenHookComparesNamesOnly) {
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    fake.ClearLog();
    EXPECT_TRUE(hook->TestDriver("eth0"));
    EXPECT_FALSE(hook->TestDriver("ETH0"));
    EXPECT_FALSE(hook->TestDriver("tr0"));
    EXPECT_FALSE(hook->TestDriver(nullptr));
    EXPECT_TRUE(fake.Calls().empty());
    EXPECT_TRUE(hook->IsOpen());
}

TEST_F(NdisHookTest, TestDriverOnAClosedHookOpensAndClosesAgain) {
    EXPECT_TRUE(hook->TestDriver("tr0"));
    EXPECT_FALSE(hook->IsOpen());
    EXPECT_EQ(fake.OpenHandles(), 0U);
    EXPECT_EQ(std::string(hook->GetAdapterName()), "tr0");
    EXPECT_EQ(hook->GetMedium(), NdisMedium802_5);
    EXPECT_EQ(hook->GetCurrentAddress(), CMACAddr("400000000001"));
    EXPECT_FALSE(hook->TestDriver("nosuch0"));
    EXPECT_FALSE(hook->IsOpen());
}

TEST_F(NdisHookTest, CloseDriverOnAClosedHookCallsNothing) {
    fake.ClearLog();
    EXPECT_TRUE(hook->CloseDriver());
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    EXPECT_TRUE(hook->CloseDriver());
    fake.ClearLog();
    EXPECT_TRUE(hook->CloseDriver());
    hook.reset();
    EXPECT_TRUE(fake.Calls().empty());
}

TEST_F(NdisHookTest, OpenAndCloseReleaseEveryEvent) {
    const int before = OpenDescriptorCount();
    for (int i = 0; i < 3; ++i) {
        ASSERT_TRUE(hook->OpenDriver("eth0"));
        EXPECT_GT(OpenDescriptorCount(), before);
        hook->CloseDriver();
        EXPECT_EQ(OpenDescriptorCount(), before);
    }
}

TEST_F(NdisHookTest, OpeningAnOpenHookClosesTheAdapterInUseFirst) {
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    const std::int32_t first = HandleOf(*hook);
    hook->ReadStartup();
    const int descriptors = OpenDescriptorCount();
    ASSERT_TRUE(hook->OpenDriver("tr0"));
    const auto closes = fake.CallsOf(w32n55abi::kCloseAdapter);
    ASSERT_EQ(closes.size(), 1U);
    EXPECT_EQ(closes[0].handle, first);
    EXPECT_EQ(fake.OpenHandles(), 1U);
    EXPECT_EQ(fake.ArmedReceives(), 0U);
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    EXPECT_EQ(hook->GetMedium(), NdisMedium802_5);
}

TEST_F(NdisHookTest, TimestampsComeFromTheRecordOrAreZero) {
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    fake.SetTimestampCounter(0x0123456789ABCDEFULL, 1000000000ULL);
    EXPECT_EQ(hook->GetCurrentTimestamp(), QWORD(0x0123456789ABCDEFULL));
    EXPECT_EQ(hook->GetTimestampFrequency(), QWORD(1000000000ULL));
    fake.FailTimestamps(true);
    EXPECT_EQ(hook->GetCurrentTimestamp(), QWORD(0));
    EXPECT_EQ(hook->GetTimestampFrequency(), QWORD(0));
}

TEST_F(NdisHookTest, ResolutionCallsReportTheDriversAnswer) {
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    EXPECT_TRUE(hook->SetLoResTimestamp());
    EXPECT_EQ(fake.CallsOf(w32n55abi::kTimestampResolution).back().value, 0);
    hook->CloseDriver();
    EXPECT_FALSE(hook->SetHiResTimestamp());
}

TEST_F(NdisHookTest, SendPacketHandsTheFrameOverAndWaitsForIt) {
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    auto frame = EthernetIIFrame(kPeer, 60, 1);
    EXPECT_TRUE(hook->SendPacket(frame.data(), static_cast<int>(frame.size())));
    ASSERT_EQ(fake.SentFrames().size(), 1U);
    EXPECT_EQ(fake.SentFrames()[0], frame);
    const auto waits = fake.CallsOf(w32n55abi::kAlertableWait);
    ASSERT_FALSE(waits.empty());
    EXPECT_EQ(waits[0].value, 5000);
}

TEST_F(NdisHookTest, RefusedSendReturnsAtOnceWithTheDriversReason) {
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    const int descriptors = OpenDescriptorCount();
    auto frame = EthernetIIFrame(kPeer, 60, 2);
    constexpr std::uint32_t kMessageTooLong = 90;
    fake.FailSends(kMessageTooLong);
    EXPECT_FALSE(hook->SendPacket(frame.data(), static_cast<int>(frame.size())));
    EXPECT_EQ(hook->GetSendStatus(), kMessageTooLong);
    EXPECT_EQ(fake.CallCount(w32n55abi::kAlertableWait), 0U) << "nothing to wait for";
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
    fake.FailSends(0);
    EXPECT_TRUE(hook->SendPacket(frame.data(), static_cast<int>(frame.size())));
    EXPECT_EQ(hook->GetSendStatus(), 0U);
}

TEST_F(NdisHookTest, UnfinishedSendKeepsItsRecordUntilTheAdapterCloses) {
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    fake.LeaveSendsPending(true);
    fake.EndWaitsAtOnce(true);
    const int descriptors = OpenDescriptorCount();
    auto frame = EthernetIIFrame(kPeer, 60, 3);
    EXPECT_TRUE(hook->SendPacket(frame.data(), static_cast<int>(frame.size())));
    EXPECT_EQ(OpenDescriptorCount(), descriptors + 1) << "the send's event outlives the call";
    hook->CloseDriver();
    EXPECT_LT(OpenDescriptorCount(), descriptors);
}

TEST_F(NdisHookTest, SendThatFinishedLateIsReleasedByTheNextSend) {
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    fake.LeaveSendsPending(true);
    fake.EndWaitsAtOnce(true);
    const int descriptors = OpenDescriptorCount();
    auto frame = EthernetIIFrame(kPeer, 60, 4);
    const int length = static_cast<int>(frame.size());
    ASSERT_TRUE(hook->SendPacket(frame.data(), length));
    fake.CompletePendingSends();
    ASSERT_TRUE(hook->SendPacket(frame.data(), length));
    EXPECT_EQ(OpenDescriptorCount(), descriptors + 1) << "only the unfinished one is kept";
    fake.LeaveSendsPending(false);
    fake.CompletePendingSends();
    ASSERT_TRUE(hook->SendPacket(frame.data(), length));
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

void CountFrame(CNetworkFrame* /*frame*/, void* context) {
    ++*static_cast<int*>(context);
}

TEST_F(NdisHookTest, CopyOfAnOpenHookOpensTheAdapterAgain) {
    const int before = OpenDescriptorCount();
    int frames = 0;
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    hook->SetCallback(&CountFrame, &frames);
    {
        auto copy = std::make_unique<CNdisHook>(*hook);
        EXPECT_TRUE(copy->IsOpen());
        EXPECT_NE(copy->GetHandle(), hook->GetHandle());
        EXPECT_EQ(fake.OpenHandles(), 2U);
        EXPECT_EQ(copy->GetCurrentAddress(), kStation);

        // The source goes first; the copy still captures on its own handle.
        hook.reset();
        copy->ReadStartup();
        ASSERT_TRUE(copy->StartNormalReception());
        fake.InjectFrame("eth0", EthernetIIFrame(kStation, 64, 0));
        SleepEx(0, TRUE);
        EXPECT_EQ(frames, 1);
    }
    EXPECT_EQ(fake.OpenHandles(), 0U);
    EXPECT_EQ(OpenDescriptorCount(), before);
}

TEST_F(NdisHookTest, AssignmentReleasesTheTargetsAdapterAndTakesTheSources) {
    const int before = OpenDescriptorCount();
    auto target = std::make_unique<CNdisHook>();
    ASSERT_TRUE(target->OpenDriver("tr0"));
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    *target = *hook;
    EXPECT_EQ(std::string(target->GetAdapterName()), "eth0");
    EXPECT_EQ(fake.OpenHandles(), 2U);
    *target = *target;
    EXPECT_TRUE(target->IsOpen());

    CNdisHook closed;
    *target = closed;
    EXPECT_FALSE(target->IsOpen());
    EXPECT_EQ(fake.OpenHandles(), 1U);
    hook.reset();
    target.reset();
    EXPECT_EQ(OpenDescriptorCount(), before);
}

} // namespace
