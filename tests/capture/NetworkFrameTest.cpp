#include "qndislib/capture/NetworkFrame.h"

#include "qndislib/capture/NdisHook.h"
#include "qndislib/frame/QuorelFrame.h"
#include "qndislib/media/EthernetInfo.h"
#include "tests/capture/CaptureTestSupport.h"
#include "w32n55/ReceiveCompletion.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <memory>

namespace {

using namespace qndis::test;
using w32n55::ScriptedAdapter;

int Inject(const std::vector<std::uint8_t>& frame, std::uint64_t stamp = 1) {
    return ScriptedAdapter::Inject("eth0", frame, stamp);
}

struct Seen {
    CNetworkFrame* package;
    void* context;
    std::uint64_t number;
    std::uint64_t stamp;
    std::vector<std::uint8_t> bytes;
    int frameType;
};

struct Receiver {
    std::vector<Seen> seen;
    bool reuse = true;
    bool analyse = true;
};

void Record(CNetworkFrame* frame, void* context) {
    auto* receiver = static_cast<Receiver*>(context);
    const CMediaInfo* medium = receiver->analyse ? frame->AnalyzeFrame() : frame->GetMediaInfo();
    receiver->seen.push_back(
        {frame, context,
         static_cast<std::uint64_t>(static_cast<std::int64_t>(frame->GetPacketNumber())),
         static_cast<std::uint64_t>(static_cast<std::int64_t>(frame->GetTimeStamp())),
         std::vector<std::uint8_t>(frame->GetFrame(), frame->GetFrame() + frame->GetLength()),
         medium != nullptr ? medium->GetFrameType() : -1});
    if (receiver->reuse) {
        frame->ReUse(context);
    }
}

class LiveFrames : public testing::TestWithParam<bool> {
protected:
    LiveFrames() {
        w32n55::ReceiveCompletion::SetSingleArgumentStyle(GetParam());
        ScriptedAdapter::Register("eth0", MediumScript(NdisMedium802_3));
        hook = std::make_unique<CNdisHook>();
        EXPECT_TRUE(hook->OpenDriver("eth0"));
    }

    ScriptedDriver driver;
    std::unique_ptr<CNdisHook> hook;
};

TEST_P(LiveFrames, EveryFrameReachesTheCallbackInPlaceAndReUseRearms) {
    Receiver receiver;
    hook->SetCallback(&Record, &receiver);
    hook->ReadStartup();
    ASSERT_TRUE(hook->StartNormalReception());

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
    hook->SetCallback(&Record, &receiver);
    hook->ReadStartup();
    ASSERT_TRUE(hook->StartPromiscuousReception());
    for (int i = 0; i < 205; ++i) {
        Inject(EthernetIIFrame(kPeer, 64, 0));
    }
    SleepEx(0, TRUE);
    EXPECT_EQ(receiver.seen.size(), 200U);
}

void* g_tallyContext = nullptr;
int g_tally = 0;

void Tally(CNetworkFrame* frame, void* context) {
    g_tallyContext = context;
    ++g_tally;
    frame->ReUse(context);
}

TEST_P(LiveFrames, CallbackChangesTakeEffectOnTheNextFrame) {
    Receiver first;
    int other = 0;
    g_tally = 0;
    hook->SetCallback(&Record, &first);
    hook->ReadStartup();
    ASSERT_TRUE(hook->StartNormalReception());
    Inject(EthernetIIFrame(kStation, 64, 0));
    SleepEx(0, TRUE);
    ASSERT_EQ(first.seen.size(), 1U);

    // The packages still carry the context of their last ReUse.
    hook->SetCallback(&Tally, &other);
    Inject(EthernetIIFrame(kStation, 64, 1));
    SleepEx(0, TRUE);
    EXPECT_EQ(first.seen.size(), 1U);
    EXPECT_EQ(g_tally, 1);
    EXPECT_EQ(g_tallyContext, &first);

    hook->ResetCallback();
    Inject(EthernetIIFrame(kStation, 64, 2));
    EXPECT_EQ(SleepEx(0, TRUE), WAIT_IO_COMPLETION) << "the frame was taken, nobody was called";
    EXPECT_EQ(g_tally, 1);
}

TEST_P(LiveFrames, StoredCopyOfALiveFrameOutlivesTheHook) {
    std::unique_ptr<CQuorelFrame> kept;
    struct Keep {
        std::unique_ptr<CQuorelFrame>* slot;
    } keep{&kept};
    hook->SetCallback(
        [](CNetworkFrame* frame, void* context) {
            frame->AnalyzeFrame();
            *static_cast<Keep*>(context)->slot = std::make_unique<CQuorelFrame>(frame);
        },
        &keep);
    hook->ReadStartup();
    ASSERT_TRUE(hook->StartNormalReception());
    const auto bytes = EthernetIIFrame(CMACAddr::MACBroadcast, 90, 7);
    Inject(bytes, 77);
    SleepEx(0, TRUE);
    hook.reset();

    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(kept->GetPacketNumber(), QWORD(1));
    EXPECT_EQ(kept->GetTimeStamp(), QWORD(77));
    ASSERT_EQ(kept->GetLength(), bytes.size());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), kept->GetFrame()));
    ASSERT_NE(kept->GetMediaInfo(), nullptr);
    EXPECT_EQ(kept->GetMediaInfo()->GetFrameType(), 2);
    EXPECT_TRUE(kept->GetMediaInfo()->IsBroadcast());
    EXPECT_EQ(kept->GetMediaInfo()->GetCurrentAddress(), kStation);
}

TEST_P(LiveFrames, HookDestroyedWithReceivesPendingLeavesNothingToComplete) {
    Receiver receiver;
    hook->SetCallback(&Record, &receiver);
    hook->ReadStartup();
    ASSERT_TRUE(hook->StartNormalReception());
    Inject(EthernetIIFrame(kStation, 64, 0));
    hook.reset();
    EXPECT_EQ(SleepEx(0, TRUE), 0U);
    EXPECT_TRUE(receiver.seen.empty());
}

TEST_P(LiveFrames, RemovedAdapterEndsTheReceivesAndTellsTheHook) {
    Receiver receiver;
    hook->SetCallback(&Record, &receiver);
    hook->ReadStartup();
    ASSERT_TRUE(hook->StartNormalReception());
    Inject(EthernetIIFrame(kStation, 64, 0));
    SleepEx(0, TRUE);
    EXPECT_FALSE(hook->IsAdapterRemoved());
    ScriptedAdapter::Remove("eth0");
    SleepEx(0, TRUE);
    EXPECT_TRUE(hook->IsAdapterRemoved());
    EXPECT_EQ(receiver.seen.size(), 1U) << "the ended receives reach no callback";
    EXPECT_FALSE(hook->OpenDriver("eth0"));
}

INSTANTIATE_TEST_SUITE_P(CompletionStyles, LiveFrames, testing::Bool(), [](const auto& info) {
    return std::string(info.param ? "SingleArgument" : "ThreeArgument");
});

class Package : public testing::Test {
protected:
    Package() { ScriptedAdapter::Register("eth0", MediumScript(NdisMedium802_3)); }

    // A hook on eth0 in normal reception whose callback records into
    // `receiver` without re-arming; null when it cannot be opened.
    std::unique_ptr<CNdisHook> ReceivingHook(Receiver& receiver) {
        auto hook = std::make_unique<CNdisHook>();
        receiver.reuse = false;
        if (!hook->OpenDriver("eth0")) {
            return nullptr;
        }
        hook->SetCallback(&Record, &receiver);
        return hook->StartNormalReception() ? std::move(hook) : nullptr;
    }

    ScriptedDriver driver;
};

TEST_F(Package, ResetLeavesAnEmptyRecord) {
    CNetworkFrame package;
    package.Reset(nullptr, nullptr, NdisMedium802_3);
    EXPECT_EQ(package.GetLength(), 0);
    EXPECT_EQ(package.GetPacketNumber(), QWORD(0));
    EXPECT_EQ(package.GetTimeStamp(), QWORD(0));
    EXPECT_TRUE(std::all_of(package.GetFrame(), package.GetFrame() + 2000,
                            [](unsigned char b) { return b == 0; }));
    // The capacity the driver reads sits just before the frame.
    const unsigned char* capacity = package.GetFrame() - 4;
    EXPECT_EQ(capacity[0] | capacity[1] << 8 | capacity[2] << 16 | capacity[3] << 24, 2000);
}

TEST_F(Package, EthernetDescriptionKnowsTheHooksAddressesAndIsReplacedByReset) {
    auto hook = std::make_unique<CNdisHook>();
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    CNetworkFrame package;
    package.Reset(hook.get(), nullptr, NdisMedium802_3);
    const CMediaInfo* first = package.GetMediaInfo();
    ASSERT_NE(dynamic_cast<const CEthernetInfo*>(first), nullptr);
    EXPECT_EQ(first->GetCurrentAddress(), kStation);
    EXPECT_EQ(first->GetPermanentAddress(), kBurnedIn);
    EXPECT_EQ(first->GetFrameType(), 0) << "nothing analysed yet";
    EXPECT_EQ(package.AnalyzeFrame(), package.GetMediaInfo());

    package.Reset(hook.get(), nullptr, NdisMediumFddi);
    EXPECT_EQ(package.GetMediaInfo(), nullptr);
    EXPECT_EQ(package.AnalyzeFrame(), nullptr);
}

TEST_F(Package, ReUseAfterTheHookClosedReachesNoAdapter) {
    auto hook = std::make_unique<CNdisHook>();
    Receiver receiver;
    ASSERT_TRUE(hook->OpenDriver("eth0"));
    hook->SetCallback(&Record, &receiver);
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
    Receiver receiver;
    auto hook = ReceivingHook(receiver);
    ASSERT_NE(hook, nullptr);
    auto live = std::make_unique<CNetworkFrame>();
    live->Reset(hook.get(), nullptr, NdisMedium802_3);
    live->ReUse(&receiver);
    const auto bytes = EthernetIIFrame(kStation, 100, 3);
    Inject(bytes);
    SleepEx(0, TRUE);
    ASSERT_EQ(receiver.seen.size(), 1U);

    auto copy = std::make_unique<CNetworkFrame>(*live);
    EXPECT_NE(copy->GetMediaInfo(), live->GetMediaInfo());
    EXPECT_EQ(copy->GetMediaInfo()->GetFrameType(), 2);
    EXPECT_EQ(copy->GetMediaInfo()->GetCurrentAddress(), kStation);
    EXPECT_EQ(copy->GetLength(), bytes.size());
    EXPECT_NE(copy->GetFrame(), live->GetFrame());
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), copy->GetFrame()));

    // A copy armed on its own is completed as itself, not as its source.
    copy->ReUse(&receiver);
    Inject(EthernetIIFrame(kStation, 70, 4));
    SleepEx(0, TRUE);
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
    copy.reset();
}

TEST_F(Package, AnalysisDoesNotReadLeftoversOfALongerEarlierFrame) {
    Receiver receiver;
    auto hook = ReceivingHook(receiver);
    ASSERT_NE(hook, nullptr);
    CNetworkFrame package;
    package.Reset(hook.get(), nullptr, NdisMedium802_3);

    package.ReUse(&receiver);
    Inject(EthernetIIFrame(kStation, 200, 0));
    SleepEx(0, TRUE);
    package.ReUse(&receiver);
    const auto addressesOnly = EthernetIIFrame(kStation, 12, 0);
    Inject(addressesOnly);
    SleepEx(0, TRUE);

    ASSERT_EQ(receiver.seen.size(), 2U);
    EXPECT_EQ(receiver.seen[0].frameType, 2);
    EXPECT_EQ(receiver.seen[1].bytes, addressesOnly);
    EXPECT_NE(receiver.seen[1].frameType, 2) << "the old type field must not count";
}

} // namespace
