#include "qndislib/capture/NetworkFrame.h"

#include "qndislib/capture/NdisHook.h"
#include "qndislib/media/EthernetInfo.h"
#include "tests/capture/CaptureTestSupport.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>
#include <thread>

namespace {

using namespace qndis::test;

int Inject(const std::vector<std::uint8_t>& frame, std::uint64_t stamp = 1) {
    return ScriptedAdapter::Inject("eth0", frame, stamp);
}

class LiveFrames : public testing::TestWithParam<bool> {
protected:
    LiveFrames() {
        ScriptedAdapter::SetSingleArgumentStyle(GetParam());
        ScriptedAdapter::Register("eth0", MediumScript(NdisMedium802_3));
        // The hook takes the completion style in force when it is made.
        hook = std::make_unique<CNdisHook>();
        EXPECT_TRUE(hook->OpenDriver("eth0"));
    }

    void Receive(CNdisHook::FrameCallback callback, void* context) {
        hook->SetCallback(callback, context);
        hook->ReadStartup();
        EXPECT_TRUE(hook->StartNormalReception());
    }

    ScriptedDriver driver;
    std::unique_ptr<CNdisHook> hook;
};

TEST_P(LiveFrames, EveryFrameReachesTheCallbackInPlaceAndReUseRearms) {
    Receiver receiver;
    Receive(&Record, &receiver);
    std::vector<std::vector<std::uint8_t>> sent;
    for (int i = 0; i < 450; ++i) {
        sent.push_back(EthernetIIFrame(kStation, 60 + i % 1400, static_cast<std::uint8_t>(i)));
        Inject(sent.back(), 5000 + i);
        if (i % 100 == 99) {
            EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
        }
    }
    SleepEx(0, TRUE);

    ASSERT_EQ(receiver.seen.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        EXPECT_EQ(receiver.seen[i].number, i + 1);
        EXPECT_EQ(receiver.seen[i].stamp, 5000 + i);
        EXPECT_EQ(receiver.seen[i].bytes, sent[i]);
        EXPECT_EQ(receiver.seen[i].context, &receiver);
        EXPECT_EQ(receiver.seen[i].frameType, 2) << "Ethernet II";
    }
    // The packages are the hook's own and take turns in arming order.
    EXPECT_EQ(receiver.seen[0].package, receiver.seen[200].package);
    EXPECT_NE(receiver.seen[0].package, receiver.seen[1].package);
}

TEST_P(LiveFrames, PackageNotHandedBackReceivesNothingMore) {
    Receiver receiver;
    receiver.reuse = false;
    Receive(&Record, &receiver);
    for (int i = 0; i < 205; ++i) {
        Inject(EthernetIIFrame(kPeer, 64, 0));
    }
    SleepEx(0, TRUE);
    EXPECT_EQ(receiver.seen.size(), 200U);
}

std::vector<void*> g_tallied;

void Tally(CNetworkFrame* frame, void* context) {
    g_tallied.push_back(context);
    frame->ReUse(context);
}

TEST_P(LiveFrames, CallbackChangesTakeEffectOnTheNextFrame) {
    Receiver first;
    int other = 0;
    g_tallied.clear();
    Receive(&Record, &first);
    Inject(EthernetIIFrame(kStation, 64, 0));
    SleepEx(0, TRUE);

    // The packages still carry the context of their last ReUse.
    hook->SetCallback(&Tally, &other);
    Inject(EthernetIIFrame(kStation, 64, 1));
    SleepEx(0, TRUE);
    EXPECT_EQ(first.seen.size(), 1U);
    EXPECT_EQ(g_tallied, std::vector<void*>{&first});

    hook->ResetCallback();
    Inject(EthernetIIFrame(kStation, 64, 2));
    EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION) << "the frame was taken, nobody was called";
    EXPECT_EQ(g_tallied.size(), 1U);
}

TEST_P(LiveFrames, HookDestroyedWithReceivesPendingLeavesNothingToComplete) {
    Receiver receiver;
    Receive(&Record, &receiver);
    Inject(EthernetIIFrame(kStation, 64, 0));
    hook.reset();
#if defined(_WIN32)
    // The wake-up queued with the frame still comes, and finds nothing.
    EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
#endif
    EXPECT_EQ(SleepEx(0, TRUE), 0U);
    EXPECT_TRUE(receiver.seen.empty());
}

TEST_P(LiveFrames, RemovedAdapterEndsTheReceivesAndTellsTheHook) {
    Receiver receiver;
    Receive(&Record, &receiver);
    Inject(EthernetIIFrame(kStation, 64, 0));
    SleepEx(0, TRUE);
    EXPECT_FALSE(hook->IsAdapterRemoved());
    ScriptedAdapter::Remove("eth0");
    SleepEx(0, TRUE);
    EXPECT_TRUE(hook->IsAdapterRemoved());
    EXPECT_EQ(receiver.seen.size(), 1U) << "the ended receives reach no callback";
    EXPECT_FALSE(hook->OpenDriver("eth0"));
}

void NoteThread(CNetworkFrame* frame, void* context) {
    *static_cast<std::thread::id*>(context) = std::this_thread::get_id();
    frame->ReUse(context);
}

// Whichever thread the frame comes from, the routine runs on the thread that
// armed the receive, and only in an alertable wait of that thread.
TEST_P(LiveFrames, FrameFromAnotherThreadCompletesOnTheArmingThread) {
    std::thread::id ranOn;
    Receive(&NoteThread, &ranOn);
    std::thread([] { Inject(EthernetIIFrame(kStation, 64, 0)); }).join();
    EXPECT_EQ(SleepEx(0, FALSE), 0U);
    EXPECT_EQ(ranOn, std::thread::id());
    EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION);
    EXPECT_EQ(ranOn, std::this_thread::get_id());
#if defined(_WIN32)
    // The wake-up reaches the thread while it is blocked in the wait.
    std::thread later([] {
        ::Sleep(50);
        Inject(EthernetIIFrame(kStation, 64, 1));
    });
    ranOn = {};
    EXPECT_EQ(SleepEx(60000, TRUE), WAIT_IO_COMPLETION);
    later.join();
    EXPECT_EQ(ranOn, std::this_thread::get_id());
#endif
}

INSTANTIATE_TEST_SUITE_P(CompletionStyles, LiveFrames, testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "SingleArgument" : "ThreeArgument");
});

// Packages armed by the test on a hook in normal reception whose callback
// records without re-arming.
class Package : public testing::Test {
protected:
    Package() {
        ScriptedAdapter::Register("eth0", MediumScript(NdisMedium802_3));
        receiver.reuse = false;
        EXPECT_TRUE(hook->OpenDriver("eth0"));
        hook->SetCallback(&Record, &receiver);
    }

    void Arm(CNetworkFrame& package, const std::vector<std::uint8_t>& frame) {
        package.ReUse(&receiver);
        Inject(frame);
        SleepEx(0, TRUE);
    }

    ScriptedDriver driver;
    Receiver receiver;
    std::unique_ptr<CNdisHook> hook = std::make_unique<CNdisHook>();
};

TEST_F(Package, ResetLeavesAnEmptyRecordDescribedForTheHooksMedium) {
    CNetworkFrame package;
    package.Reset(hook.get(), nullptr, NdisMedium802_3);
    EXPECT_EQ(package.GetLength(), 0);
    EXPECT_EQ(package.GetPacketNumber(), QWORD(0));
    const unsigned char* capacity = package.GetFrame() - 4;
    EXPECT_EQ(capacity[0] | capacity[1] << 8 | capacity[2] << 16 | capacity[3] << 24, 2000);
    const CMediaInfo* first = package.GetMediaInfo();
    ASSERT_NE(dynamic_cast<const CEthernetInfo*>(first), nullptr);
    EXPECT_EQ(first->GetCurrentAddress(), kStation);
    EXPECT_EQ(first->GetPermanentAddress(), kBurnedIn);
    EXPECT_EQ(package.AnalyzeFrame(), package.GetMediaInfo());

    package.Reset(hook.get(), nullptr, NdisMediumFddi);
    EXPECT_EQ(package.GetMediaInfo(), nullptr);
    EXPECT_EQ(package.AnalyzeFrame(), nullptr);
}

TEST_F(Package, ReUseAfterTheHookClosedReachesNoAdapter) {
    hook->ReadStartup();
    hook->CloseDriver();
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    hook->CloseDriver();
    hook->ReadStartup();
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    ASSERT_TRUE(hook->StartNormalReception());
    Inject(EthernetIIFrame(kStation, 64, 0));
    EXPECT_EQ(SleepEx(0, TRUE), 0U);
    EXPECT_TRUE(receiver.seen.empty());
}

TEST_F(Package, CopiesOwnTheirDescriptionsAndNameThemselves) {
    ASSERT_TRUE(hook->StartNormalReception());
    auto live = std::make_unique<CNetworkFrame>();
    live->Reset(hook.get(), nullptr, NdisMedium802_3);
    const auto bytes = EthernetIIFrame(kStation, 100, 3);
    Arm(*live, bytes);
    ASSERT_EQ(receiver.seen.size(), 1U);

    auto copy = std::make_unique<CNetworkFrame>(*live);
    EXPECT_NE(copy->GetMediaInfo(), live->GetMediaInfo());
    EXPECT_EQ(copy->GetMediaInfo()->GetCurrentAddress(), kStation);
    EXPECT_NE(copy->GetFrame(), live->GetFrame());
    EXPECT_EQ(std::vector<std::uint8_t>(copy->GetFrame(), copy->GetFrame() + copy->GetLength()),
              bytes);

    // A copy armed on its own is completed as itself, not as its source.
    Arm(*copy, EthernetIIFrame(kStation, 70, 4));
    ASSERT_EQ(receiver.seen.size(), 2U);
    EXPECT_EQ(receiver.seen[1].package, copy.get());

    CNetworkFrame assigned;
    assigned = *copy;
    assigned = assigned;
    EXPECT_EQ(assigned.GetLength(), 70);
    // Source first, then the copies: each description goes exactly once.
    live.reset();
    hook.reset();
    EXPECT_EQ(assigned.GetMediaInfo()->GetFrameType(), 2);
}

TEST_F(Package, AnalysisDoesNotReadLeftoversOfALongerEarlierFrame) {
    ASSERT_TRUE(hook->StartNormalReception());
    CNetworkFrame package;
    package.Reset(hook.get(), nullptr, NdisMedium802_3);
    Arm(package, EthernetIIFrame(kStation, 200, 0));
    const auto addressesOnly = EthernetIIFrame(kStation, 12, 0);
    Arm(package, addressesOnly);

    ASSERT_EQ(receiver.seen.size(), 2U);
    EXPECT_EQ(receiver.seen[0].frameType, 2);
    EXPECT_EQ(receiver.seen[1].bytes, addressesOnly);
    EXPECT_NE(receiver.seen[1].frameType, 2) << "the old type field must not count";
}

} // namespace
