// The typical capture end to end: a hook on one end of a veth pair in the
// test's own network namespace receives what the other end sends, through
// the callback and ReUse, and sends frames the other end receives.

#include "qndislib/adapter/NDISRequesterProxy.h"
#include "qndislib/capture/NdisHook.h"
#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/ContentFilter.h"
#include "qndislib/filter/SrcMACFilter.h"
#include "qndislib/media/EthernetInfo.h"
#include "tests/live/w32n55_veth.h"
#include "tests/support/DescriptorCount.h"

#include <cerrno>
#include <chrono>
#include <ctime>
#include <gtest/gtest.h>
#include <memory>

namespace {

using namespace w32n55::live;
using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kPeerEnd = "qcap0";
constexpr const char* kHookEnd = "qcap1";

struct Received {
    Bytes bytes;
    std::uint64_t number;
    std::uint64_t stamp;
    int frameType;
    int headerLength;
    CProtocolId protocol;
    CMACAddr destination;
    std::uint32_t wireLength;
};

// What the callback saw of the frames from one source.
struct Collector {
    CMACAddr from;
    std::vector<Received> frames;
};

std::uint64_t AsU64(QWORD value) {
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
}

std::uint64_t RealtimeNs() {
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000 +
           static_cast<std::uint64_t>(now.tv_nsec);
}

void Collect(CNetworkFrame* frame, void* context) {
    auto* collector = static_cast<Collector*>(context);
    const CMediaInfo* medium = frame->AnalyzeFrame();
    if (medium != nullptr && medium->GetSourceAddress() == collector->from) {
        collector->frames.push_back(
            {Bytes(frame->GetFrame(), frame->GetFrame() + frame->GetLength()),
             AsU64(frame->GetPacketNumber()), AsU64(frame->GetTimeStamp()), medium->GetFrameType(),
             medium->GetHeaderLen(), medium->GetProtocolId(), medium->GetDestinationAddress(),
             frame->GetWireLength()});
    }
    frame->ReUse(context);
}

// Runs completion routines on this thread until `count` frames arrived or
// the time is up.
void Pump(const Collector& collector, std::size_t count, std::chrono::milliseconds limit) {
    for (const auto end = Clock::now() + limit;
         collector.frames.size() < count && Clock::now() < end;) {
        SleepEx(10, TRUE);
    }
}

Mac ToMac(const CMACAddr& address) {
    Mac mac{};
    std::copy_n(static_cast<const unsigned char*>(address), mac.size(), mac.begin());
    return mac;
}

bool Promiscuous() {
    return (std::stoul(SysText(kHookEnd, "flags"), nullptr, 16) & IFF_PROMISC) != 0;
}

class CaptureLive : public testing::Test {
protected:
    void SetUp() override {
        if (const char* reason = SkipReason()) {
            GTEST_SKIP() << reason;
        }
        pair_ = std::make_unique<VethPair>(kPeerEnd, kHookEnd);
        ASSERT_TRUE(pair_->Ok()) << "cannot create the veth pair";
        collector_.from = CMACAddr(AddressOf(kPeerEnd).data());
        station_ = CMACAddr(AddressOf(kHookEnd).data());
        hook_ = std::make_unique<CNdisHook>();
        ASSERT_TRUE(hook_->OpenDriver(kHookEnd));
        hook_->SetCallback(&Collect, &collector_);
        hook_->ReadStartup();
        socket_ = std::make_unique<RawSocket>(kPeerEnd);
    }

    Bytes To(const CMACAddr& destination, std::uint8_t seed, std::size_t length = 80) {
        return MakeFrame(ToMac(destination), AddressOf(kPeerEnd), length, seed);
    }

    std::unique_ptr<VethPair> pair_;
    std::unique_ptr<RawSocket> socket_;
    std::unique_ptr<CNdisHook> hook_;
    Collector collector_;
    CMACAddr station_;
};

TEST_F(CaptureLive, EveryEncapsulationArrivesThroughTheCallback) {
    const struct {
        int type;
        const char* protocol;
        int header;
    } kinds[] = {{1, "", 14},   {2, "88B5", 14}, {3, "00000C2000", 22}, {4, "E0", 17},
                 {5, "F0", 18}, {6, "88B5", 18}, {7, "0080C7FFFF", 29}};
    ASSERT_EQ(hook_->GetMedium(), NdisMedium802_3);
    EXPECT_EQ(hook_->GetCurrentAddress(), station_);
    ASSERT_TRUE(hook_->StartNormalReception());
    std::vector<Bytes> sent;
    const std::uint64_t windowStart = RealtimeNs();
    for (std::size_t round = 0; round < 3; ++round) {
        for (const auto& kind : kinds) {
            Bytes payload(50 + round * 300);
            for (std::size_t i = 0; i < payload.size(); ++i) {
                payload[i] = static_cast<std::uint8_t>(i * 3 + kind.type);
            }
            // A raw 802.3 frame is told apart only by data starting FF FF.
            payload[0] = payload[1] = kind.type == 1 ? 0xFF : payload[0];
            CEthernetInfo ethernet;
            std::int32_t length = 0;
            const std::unique_ptr<unsigned char, void (*)(void*)> frame(
                ethernet.CreateFrame(length, kind.type, payload.data(),
                                     static_cast<std::int32_t>(payload.size()), collector_.from,
                                     station_, CProtocolId(kind.protocol)),
                &::operator delete);
            ASSERT_NE(frame, nullptr);
            sent.emplace_back(frame.get(), frame.get() + length);
            ASSERT_TRUE(socket_->Send(sent.back())) << kind.type;
        }
    }
    Pump(collector_, sent.size(), 3s);
    const std::uint64_t windowEnd = RealtimeNs();
    EXPECT_EQ(hook_->GetTimestampFrequency(), QWORD(1000000000U));
    ASSERT_EQ(collector_.frames.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const Received& got = collector_.frames[i];
        const auto& kind = kinds[i % std::size(kinds)];
        SCOPED_TRACE(kind.type);
        EXPECT_EQ(got.bytes, sent[i]);
        EXPECT_EQ(got.frameType, kind.type);
        EXPECT_EQ(got.headerLength, kind.header);
        EXPECT_EQ(got.protocol, CProtocolId(kind.protocol));
        EXPECT_EQ(got.destination, station_);
        EXPECT_EQ(got.wireLength, sent[i].size());
        EXPECT_GE(got.stamp, windowStart);
        EXPECT_LE(got.stamp, windowEnd);
        EXPECT_TRUE(i == 0 || got.number > collector_.frames[i - 1].number);
    }
}

// The packet filter set through the proxy.
template <std::uint32_t Filter> bool SetFilter(CNdisHook& hook) {
    CNDISRequesterProxy proxy(&hook);
    proxy.SetCurrentPacketFilter(static_cast<std::int32_t>(Filter));
    return proxy.IsOk() == 1;
}

// Each packet filter takes what it names; promiscuous reception takes
// everything and the interface shows it until the hook closes; a stopped
// hook delivers nothing until it starts again.
TEST_F(CaptureLive, ReceptionModesSelectByDestination) {
    const CMACAddr destinations[] = {CMACAddr("020000009999"), CMACAddr::MACBroadcast,
                                     CMACAddr("03000000AB01"), station_};
    const struct {
        const char* name;
        bool (*start)(CNdisHook&);
        std::vector<bool> passes; // for each destination, then a last frame to the station
    } modes[] = {
        {"normal",
         [](CNdisHook& hook) { return hook.StartNormalReception(); },
         {false, true, true, true, true}},
        {"promiscuous",
         [](CNdisHook& hook) { return hook.StartPromiscuousReception(); },
         {true, true, true, true, true}},
        {"stopped",
         [](CNdisHook& hook) { return hook.StopReception(); },
         {false, false, false, false, false}},
        {"directed", &SetFilter<NDIS_PACKET_TYPE_DIRECTED>, {false, false, false, true, true}},
        {"directed and broadcast",
         &SetFilter<NDIS_PACKET_TYPE_DIRECTED | NDIS_PACKET_TYPE_BROADCAST>,
         {false, true, false, true, true}},
    };
    for (const auto& mode : modes) {
        SCOPED_TRACE(mode.name);
        collector_.frames.clear();
        ASSERT_TRUE(mode.start(*hook_));
        std::vector<CMACAddr> wanted;
        for (std::size_t i = 0; i < mode.passes.size(); ++i) {
            const CMACAddr& destination = i < std::size(destinations) ? destinations[i] : station_;
            ASSERT_TRUE(socket_->Send(To(destination, static_cast<std::uint8_t>(i))));
            if (mode.passes[i]) {
                wanted.push_back(destination);
            }
        }
        Pump(collector_, wanted.empty() ? 1 : wanted.size(), wanted.empty() ? 500ms : 3s);
        std::vector<CMACAddr> got;
        for (const Received& frame : collector_.frames) {
            got.push_back(frame.destination);
        }
        EXPECT_EQ(got, wanted);
        EXPECT_EQ(Promiscuous(), mode.passes[0]);
    }
    ASSERT_TRUE(hook_->StartPromiscuousReception());
    EXPECT_TRUE(Promiscuous());
    EXPECT_TRUE(hook_->CloseDriver());
    EXPECT_FALSE(Promiscuous());
}

// A flood of which one frame in a hundred matches reaches the callback as
// exactly the matching frames, in order; once detached, all frames do.
TEST_F(CaptureLive, KernelFilterPassesExactlyTheMatchingFrames) {
    constexpr std::uint8_t kMark = 0xEE;
    constexpr std::size_t kMarkOffset = 20;
    CCompoundFilter filter;
    filter.Add(new CSrcMACFilter(collector_.from.GetString(""), "", false));
    unsigned char mark = kMark;
    filter.Add(new CContentFilter(&mark, 1, kMarkOffset, "", false));
    ASSERT_TRUE(hook_->SetKernelFilter(&filter));
    ASSERT_TRUE(hook_->StartNormalReception());
    std::vector<Bytes> matching;
    for (std::size_t i = 0; i < 2000; ++i) {
        const auto seed = static_cast<std::uint8_t>(i % 100 == 50 ? kMark - kMarkOffset : i % 50);
        const Bytes frame = To(station_, seed, 64 + i % 7);
        if (seed == kMark - kMarkOffset) {
            matching.push_back(frame);
        }
        ASSERT_TRUE(socket_->Send(frame));
        // The receiving backlog holds 1,000 frames: let it drain.
        if (i % 100 == 99) {
            SleepEx(2, TRUE);
        }
    }
    Pump(collector_, matching.size() + 1, 2s);
    ASSERT_EQ(collector_.frames.size(), matching.size());
    for (std::size_t i = 0; i < matching.size(); ++i) {
        EXPECT_EQ(collector_.frames[i].bytes, matching[i]);
    }
    ASSERT_TRUE(hook_->SetKernelFilter(nullptr));
    collector_.frames.clear();
    ASSERT_TRUE(socket_->Send(To(station_, 1)));
    Pump(collector_, 1, 3s);
    EXPECT_EQ(collector_.frames.size(), 1U);
}

// Beyond the receive record's capacity a frame is cut, its length on the
// wire kept.
TEST_F(CaptureLive, LongFramesArriveCutToTheCapacity) {
    for (const char* end : {kPeerEnd, kHookEnd}) {
        ASSERT_TRUE(w32n55::live::Run(std::string("ip link set ") + end + " mtu 4000"));
    }
    ASSERT_TRUE(hook_->StartNormalReception());
    const Bytes frames[] = {To(station_, 9, 2600), To(station_, 3, 2000), To(station_, 4, 2001)};
    for (const Bytes& frame : frames) {
        ASSERT_TRUE(socket_->Send(frame));
    }
    Pump(collector_, std::size(frames), 3s);
    ASSERT_EQ(collector_.frames.size(), std::size(frames));
    for (std::size_t i = 0; i < std::size(frames); ++i) {
        EXPECT_EQ(collector_.frames[i].bytes, Bytes(frames[i].begin(), frames[i].begin() + 2000));
        EXPECT_EQ(collector_.frames[i].wireLength, frames[i].size());
    }
}

TEST_F(CaptureLive, SentFramesArriveAtThePeerAndARefusedSendReturnsAtOnceWithItsReason) {
    for (const std::size_t length : {60U, 600U, 1514U}) {
        Bytes frame = MakeFrame(AddressOf(kPeerEnd), ToMac(station_), length,
                                static_cast<std::uint8_t>(length));
        ASSERT_TRUE(hook_->SendPacket(frame.data(), static_cast<int>(frame.size())));
        EXPECT_EQ(socket_->Receive(2000), frame) << length;
    }
    ASSERT_TRUE(w32n55::live::Run(std::string("ip link set ") + kHookEnd + " mtu 1000"));
    Bytes frame = MakeFrame(AddressOf(kPeerEnd), ToMac(station_), 1200, 1);
    const auto start = Clock::now();
    EXPECT_FALSE(hook_->SendPacket(frame.data(), static_cast<int>(frame.size())));
    EXPECT_LT(Clock::now() - start, 100ms);
    EXPECT_EQ(hook_->GetSendStatus(), static_cast<std::uint32_t>(EMSGSIZE));
}

TEST_F(CaptureLive, AVanishedAdapterIsKnownWithinASecondAndLeavesNothingOpen) {
    hook_.reset();
    const std::size_t before = OpenDescriptorCount();
    auto hook = std::make_unique<CNdisHook>();
    ASSERT_TRUE(hook->OpenDriver(kHookEnd));
    const std::size_t opened = OpenDescriptorCount();
    hook->SetCallback(&Collect, &collector_);
    hook->ReadStartup();
    ASSERT_TRUE(hook->StartNormalReception());
    EXPECT_GT(OpenDescriptorCount(), opened) << "the capture socket";
    for (std::uint8_t i = 0; i < 20; ++i) {
        ASSERT_TRUE(socket_->Send(To(station_, i)));
    }
    Pump(collector_, 20, 3s);
    EXPECT_EQ(collector_.frames.size(), 20U);
    EXPECT_FALSE(hook->IsAdapterRemoved());

    pair_->Remove();
    const auto removed = Clock::now();
    while (!hook->IsAdapterRemoved() && Clock::now() - removed < 3s) {
        SleepEx(100, TRUE);
    }
    EXPECT_TRUE(hook->IsAdapterRemoved());
    EXPECT_LT(Clock::now() - removed, 1s);
    EXPECT_EQ(collector_.frames.size(), 20U) << "no made-up frame reaches the callback";
    EXPECT_EQ(OpenDescriptorCount(), opened) << "the capture went with the interface";
    EXPECT_TRUE(hook->CloseDriver());
    hook.reset();
    EXPECT_EQ(OpenDescriptorCount(), before);
    EXPECT_FALSE(std::make_unique<CNdisHook>()->TestDriver(kHookEnd));
}

} // namespace
