// The typical capture end to end: a hook on one end of a veth pair in the
// test's own network namespace receives what the other end sends, through
// the callback and ReUse, and sends frames the other end receives.

#include "qndislib/capture/NdisHook.h"
#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/ContentFilter.h"
#include "qndislib/filter/FilterParser.h"
#include "qndislib/filter/FilterProgram.h"
#include "qndislib/filter/SrcMACFilter.h"
#include "qndislib/frame/QuorelFrame.h"
#include "qndislib/media/EthernetInfo.h"
#include "w32n55_veth.h"

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <linux/filter.h>
#include <linux/if_packet.h>
#include <memory>
#include <pcap/pcap.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace w32n55::live;
using Bytes = std::vector<std::uint8_t>;
using Clock = std::chrono::steady_clock;

constexpr const char* kPeerEnd = "qcap0";
constexpr const char* kHookEnd = "qcap1";

struct Received {
    Bytes bytes;
    std::uint64_t number;
    std::uint64_t stamp;
    int frameType;
    int headerLength;
    CProtocolId protocol;
    CMACAddr source;
    CMACAddr destination;
};

// What the callback saw, keeping only frames from one source so that
// anything else on the link does not count. The kernel's own IPv6 and ARP
// traffic from that source (a link coming up can announce itself before
// IPv6 is switched off on it) does not count either.
struct Collector {
    CMACAddr from;
    std::vector<Received> frames;
};

std::uint64_t AsU64(QWORD value) {
    return static_cast<std::uint64_t>(static_cast<std::int64_t>(value));
}

void Collect(CNetworkFrame* frame, void* context) {
    auto* collector = static_cast<Collector*>(context);
    const CMediaInfo* medium = frame->AnalyzeFrame();
    const bool kernelTraffic =
        medium != nullptr && (medium->GetProtocolId() == CProtocolId("86DD") ||
                              medium->GetProtocolId() == CProtocolId("0806"));
    if (medium != nullptr && medium->GetSourceAddress() == collector->from && !kernelTraffic) {
        collector->frames.push_back(
            {Bytes(frame->GetFrame(), frame->GetFrame() + frame->GetLength()),
             AsU64(frame->GetPacketNumber()), AsU64(frame->GetTimeStamp()), medium->GetFrameType(),
             medium->GetHeaderLen(), medium->GetProtocolId(), medium->GetSourceAddress(),
             medium->GetDestinationAddress()});
    }
    frame->ReUse(context);
}

// Runs completion routines on this thread until `count` frames arrived or
// the time is up.
void Pump(const Collector& collector, std::size_t count, std::chrono::milliseconds limit) {
    const auto end = Clock::now() + limit;
    while (collector.frames.size() < count && Clock::now() < end) {
        SleepEx(10, TRUE);
    }
}

CMACAddr ToMac(const Mac& mac) {
    return CMACAddr(mac.data());
}

Bytes Build(int type, const Bytes& payload, const CMACAddr& source, const CMACAddr& destination,
            const char* protocol) {
    CEthernetInfo ethernet;
    std::int32_t length = 0;
    unsigned char* frame = ethernet.CreateFrame(length, type, payload.data(),
                                                static_cast<std::int32_t>(payload.size()), source,
                                                destination, CProtocolId(protocol));
    Bytes bytes;
    if (frame != nullptr) {
        bytes.assign(frame, frame + length);
        ::operator delete(frame);
    }
    return bytes;
}

class CaptureLive : public testing::Test {
protected:
    void SetUp() override {
        if (const char* reason = std::getenv("QNDIS_LIVE_SKIP")) {
            GTEST_SKIP() << reason;
        }
        // Without IPv6 the kernel sends nothing of its own on the link.
        w32n55::live::Run("echo 1 > /proc/sys/net/ipv6/conf/default/disable_ipv6");
        pair_ = std::make_unique<VethPair>(kPeerEnd, kHookEnd);
        ASSERT_TRUE(pair_->Ok()) << "cannot create the veth pair";
        peer_ = ToMac(AddressOf(kPeerEnd));
        station_ = ToMac(AddressOf(kHookEnd));
        collector_.from = peer_;
        hook_ = std::make_unique<CNdisHook>();
        ASSERT_TRUE(hook_->OpenDriver(kHookEnd));
        hook_->SetCallback(&Collect, &collector_);
        hook_->ReadStartup();
        socket_ = std::make_unique<RawSocket>(kPeerEnd);
    }

    void TearDown() override {
        hook_.reset();
        socket_.reset();
        pair_.reset();
    }

    Bytes Directed(std::uint8_t seed, const CMACAddr& destination) {
        return MakeFrame(Mac{destination[0], destination[1], destination[2], destination[3],
                             destination[4], destination[5]},
                         AddressOf(kPeerEnd), 80, seed);
    }

    std::unique_ptr<VethPair> pair_;
    std::unique_ptr<RawSocket> socket_;
    std::unique_ptr<CNdisHook> hook_;
    Collector collector_;
    CMACAddr peer_;
    CMACAddr station_;
};

struct Encapsulation {
    int type;
    const char* protocol;
    int header;
};

const Encapsulation kEncapsulations[] = {
    {1, "", 14},   {2, "88B5", 14}, {3, "00000C2000", 22}, {4, "E0", 17},
    {5, "F0", 18}, {6, "88B5", 18}, {7, "0080C7FFFF", 29},
};

TEST_F(CaptureLive, EveryEncapsulationArrivesThroughTheCallback) {
    ASSERT_EQ(hook_->GetMedium(), NdisMedium802_3);
    EXPECT_EQ(hook_->GetCurrentAddress(), station_);
    ASSERT_TRUE(hook_->StartNormalReception());

    constexpr int kRounds = 3;
    std::vector<Bytes> sent;
    std::vector<const Encapsulation*> kinds;
    const std::uint64_t windowStart = RealtimeNs();
    for (int round = 0; round < kRounds; ++round) {
        for (const Encapsulation& e : kEncapsulations) {
            Bytes payload(50 + round * 300);
            for (std::size_t i = 0; i < payload.size(); ++i) {
                payload[i] = static_cast<std::uint8_t>(i * 3 + e.type);
            }
            // A raw 802.3 frame is told apart only by data starting FF FF.
            if (e.type == 1) {
                payload[0] = payload[1] = 0xFF;
            }
            sent.push_back(Build(e.type, payload, peer_, station_, e.protocol));
            kinds.push_back(&e);
            ASSERT_TRUE(socket_->Send(sent.back())) << e.type;
        }
    }
    Pump(collector_, sent.size(), std::chrono::seconds(3));
    const std::uint64_t windowEnd = RealtimeNs();
    EXPECT_EQ(hook_->GetTimestampFrequency(), QWORD(1000000000U));

    ASSERT_EQ(collector_.frames.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
        const Received& got = collector_.frames[i];
        SCOPED_TRACE(kinds[i]->type);
        EXPECT_EQ(got.bytes, sent[i]);
        EXPECT_EQ(got.frameType, kinds[i]->type);
        EXPECT_EQ(got.headerLength, kinds[i]->header);
        EXPECT_EQ(got.protocol, CProtocolId(kinds[i]->protocol));
        EXPECT_EQ(got.destination, station_);
        EXPECT_GE(got.stamp, windowStart);
        EXPECT_LE(got.stamp, windowEnd);
        if (i > 0) {
            EXPECT_GT(got.number, collector_.frames[i - 1].number);
        }
    }
}

TEST_F(CaptureLive, NormalReceptionDropsOtherStationsPromiscuousKeepsAll) {
    const CMACAddr other("020000009999");
    const CMACAddr multicast("03000000AB01");
    const struct {
        CMACAddr destination;
        bool normal;
    } kinds[] = {
        {other, false}, {CMACAddr::MACBroadcast, true}, {multicast, true}, {station_, true}};

    for (const bool promiscuous : {false, true}) {
        SCOPED_TRACE(promiscuous ? "promiscuous" : "normal");
        collector_.frames.clear();
        ASSERT_TRUE(promiscuous ? hook_->StartPromiscuousReception()
                                : hook_->StartNormalReception());
        std::size_t expected = 0;
        for (const auto& kind : kinds) {
            ASSERT_TRUE(socket_->Send(Directed(0x10, kind.destination)));
            expected += promiscuous || kind.normal ? 1 : 0;
        }
        // A last directed frame marks the end of what was sent.
        ASSERT_TRUE(socket_->Send(Directed(0x77, station_)));
        Pump(collector_, expected + 1, std::chrono::seconds(3));
        std::vector<CMACAddr> destinations;
        for (const Received& got : collector_.frames) {
            destinations.push_back(got.destination);
        }
        std::vector<CMACAddr> wanted;
        for (const auto& kind : kinds) {
            if (promiscuous || kind.normal) {
                wanted.push_back(kind.destination);
            }
        }
        wanted.push_back(station_);
        EXPECT_EQ(destinations, wanted);
    }
}

// Every kind, negated and in compounds, a search anywhere and a tree wide
// enough to need far jumps.
const char* const kKernelFilters[] = {
    "src mac 02:00:00:00:00:01",
    "dst mac ff:ff:ff:ff:ff:ff",
    "proto ip or proto arp or proto 0000000800 or proto e0",
    "ipproto tcp and not icmp type 8",
    "src ip 10.0.0.1 or dst ip < 10.0.0.9 or not src ip > 10.1.0.0",
    "dst port 53 or src port > 1023 or not dst port < 80",
    "contains \"GET \" or contains 0800 at 12",
    "not (proto ip and (dst port 80 or (src mac 02:00:00:00:00:01 and not contains 01 at 59)))",
};

TEST_F(CaptureLive, KernelTakesEveryCompiledProgram) {
    const int fd = ::socket(AF_PACKET, SOCK_RAW, 0);
    ASSERT_GE(fd, 0);
    std::string wide = "dst port 1";
    for (int port = 2; port < 160; ++port) {
        wide += " or dst port " + std::to_string(port);
    }
    std::vector<std::string> texts(std::begin(kKernelFilters), std::end(kKernelFilters));
    texts.push_back(wide);
    for (const std::string& text : texts) {
        SCOPED_TRACE(text);
        CFilterParser parser;
        const std::unique_ptr<CFilter> filter = parser.Parse(text);
        ASSERT_TRUE(filter) << parser.GetError();
        const CFilterProgram program(*filter, 2000);
        std::vector<sock_filter> code(program.GetInstructions().size());
        std::memcpy(code.data(), program.GetInstructions().data(),
                    code.size() * sizeof(sock_filter));
        const sock_fprog fprog{static_cast<unsigned short>(code.size()),
                               reinterpret_cast<sock_filter*>(code.data())};
        EXPECT_EQ(::setsockopt(fd, SOL_SOCKET, SO_ATTACH_FILTER, &fprog, sizeof fprog), 0)
            << std::strerror(errno);
        EXPECT_TRUE(hook_->SetKernelFilter(filter.get()));
    }
    ::close(fd);
    EXPECT_TRUE(hook_->SetKernelFilter(nullptr));
}

// A flood of which one frame in a hundred matches reaches the callback as
// exactly the matching frames, in order; once detached, all frames do.
TEST_F(CaptureLive, KernelFilterPassesExactlyTheMatchingFrames) {
    constexpr std::size_t kFrames = 2000;
    constexpr std::uint8_t kMark = 0xEE;
    constexpr std::size_t kMarkOffset = 20;
    CCompoundFilter filter;
    filter.Add(new CSrcMACFilter(peer_.GetString(""), "", false));
    unsigned char mark = kMark;
    filter.Add(new CContentFilter(&mark, 1, kMarkOffset, "", false));
    ASSERT_TRUE(hook_->SetKernelFilter(&filter));
    ASSERT_TRUE(hook_->StartNormalReception());

    std::vector<Bytes> matching;
    for (std::size_t i = 0; i < kFrames; ++i) {
        const auto seed = static_cast<std::uint8_t>(i % 100 == 50 ? kMark - kMarkOffset : i % 50);
        const Bytes frame = MakeFrame(AddressOf(kHookEnd), AddressOf(kPeerEnd), 64 + i % 7, seed);
        if (seed == kMark - kMarkOffset) {
            matching.push_back(frame);
        }
        ASSERT_TRUE(socket_->Send(frame));
        // The receiving backlog holds 1,000 frames: let it drain.
        if (i % 100 == 99) {
            SleepEx(2, TRUE);
        }
    }
    Pump(collector_, matching.size() + 1, std::chrono::seconds(2));
    ASSERT_EQ(collector_.frames.size(), matching.size());
    for (std::size_t i = 0; i < matching.size(); ++i) {
        EXPECT_EQ(collector_.frames[i].bytes, matching[i]);
    }

    ASSERT_TRUE(hook_->SetKernelFilter(nullptr));
    collector_.frames.clear();
    ASSERT_TRUE(socket_->Send(Directed(0x01, station_)));
    Pump(collector_, 1, std::chrono::seconds(3));
    EXPECT_EQ(collector_.frames.size(), 1u);
}

TEST_F(CaptureLive, StopReceptionDeliversNothing) {
    ASSERT_TRUE(hook_->StartNormalReception());
    ASSERT_TRUE(hook_->StopReception());
    for (std::uint8_t i = 0; i < 5; ++i) {
        ASSERT_TRUE(socket_->Send(Directed(i, station_)));
    }
    Pump(collector_, 1, std::chrono::milliseconds(500));
    EXPECT_TRUE(collector_.frames.empty());

    // The same path delivers again once reception restarts.
    ASSERT_TRUE(hook_->StartNormalReception());
    ASSERT_TRUE(socket_->Send(Directed(9, station_)));
    Pump(collector_, 1, std::chrono::seconds(3));
    ASSERT_EQ(collector_.frames.size(), 1U);
    EXPECT_EQ(collector_.frames[0].bytes[14], static_cast<std::uint8_t>(9 + 14));
}

TEST_F(CaptureLive, SentFramesArriveAtThePeer) {
    const Mac peer = AddressOf(kPeerEnd);
    for (std::size_t length : {60U, 600U, 1514U}) {
        Bytes frame =
            MakeFrame(peer, AddressOf(kHookEnd), length, static_cast<std::uint8_t>(length));
        ASSERT_TRUE(hook_->SendPacket(frame.data(), static_cast<int>(frame.size())));
        EXPECT_EQ(socket_->Receive(kTestEtherType, 2000), frame) << length;
    }
}

TEST_F(CaptureLive, StoredFrameOfALiveOneOutlivesTheHook) {
    std::unique_ptr<CQuorelFrame> kept;
    hook_->SetCallback(
        [](CNetworkFrame* frame, void* context) {
            frame->AnalyzeFrame();
            auto* slot = static_cast<std::unique_ptr<CQuorelFrame>*>(context);
            if (*slot == nullptr) {
                *slot = std::make_unique<CQuorelFrame>(frame);
            }
            frame->ReUse(context);
        },
        &kept);
    hook_->ReadStartup();
    ASSERT_TRUE(hook_->StartNormalReception());
    const Bytes frame = Directed(0x21, station_);
    ASSERT_TRUE(socket_->Send(frame));
    const auto end = Clock::now() + std::chrono::seconds(3);
    while (kept == nullptr && Clock::now() < end) {
        SleepEx(10, TRUE);
    }
    hook_.reset();
    ASSERT_NE(kept, nullptr);
    EXPECT_EQ(Bytes(kept->GetFrame(), kept->GetFrame() + kept->GetLength()), frame);
    ASSERT_NE(kept->GetMediaInfo(), nullptr);
    EXPECT_EQ(kept->GetMediaInfo()->GetFrameType(), 2);
    EXPECT_EQ(kept->GetMediaInfo()->GetCurrentAddress(), station_);
}

TEST_F(CaptureLive, InterfaceDeletedMidCaptureEndsQuietly) {
    ASSERT_TRUE(hook_->StartNormalReception());
    for (std::uint8_t i = 0; i < 20; ++i) {
        ASSERT_TRUE(socket_->Send(Directed(i, station_)));
    }
    Pump(collector_, 10, std::chrono::seconds(3));
    EXPECT_GE(collector_.frames.size(), 10U);

    socket_.reset();
    pair_->Remove();
    const auto start = Clock::now();
    for (int i = 0; i < 20; ++i) {
        SleepEx(10, TRUE);
    }
    hook_->StopReception();
    EXPECT_TRUE(hook_->CloseDriver());
    EXPECT_LT(Clock::now() - start, std::chrono::seconds(5)) << "nothing may hang";
    // The name is gone, so the adapter cannot be opened again.
    EXPECT_FALSE(hook_->TestDriver(kHookEnd));
}

// A capture file in a directory of its own, removed with the object.
class CaptureFile {
public:
    CaptureFile() {
        char pattern[] = "/tmp/qndis-capture-XXXXXX";
        if (::mkdtemp(pattern) != nullptr) {
            directory_ = pattern;
            path_ = directory_ + "/frames.pcap";
        }
    }
    ~CaptureFile() {
        ::unlink(path_.c_str());
        ::rmdir(directory_.c_str());
    }
    CaptureFile(const CaptureFile&) = delete;
    CaptureFile& operator=(const CaptureFile&) = delete;

    bool Write(const std::vector<Bytes>& frames, std::uint64_t firstStampNs) {
        pcap_t* dead =
            pcap_open_dead_with_tstamp_precision(DLT_EN10MB, 65535, PCAP_TSTAMP_PRECISION_NANO);
        pcap_dumper_t* dumper = dead != nullptr ? pcap_dump_open(dead, path_.c_str()) : nullptr;
        if (dumper == nullptr) {
            if (dead != nullptr) {
                pcap_close(dead);
            }
            return false;
        }
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const std::uint64_t stamp = firstStampNs + i * 1000;
            pcap_pkthdr header{};
            header.ts.tv_sec = static_cast<time_t>(stamp / 1000000000);
            header.ts.tv_usec = static_cast<suseconds_t>(stamp % 1000000000);
            header.caplen = header.len = static_cast<bpf_u_int32>(frames[i].size());
            pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frames[i].data());
        }
        pcap_dump_close(dumper);
        pcap_close(dead);
        return true;
    }
    const std::string& Path() const { return path_; }

private:
    std::string directory_;
    std::string path_;
};

TEST(CaptureOffline, HookOnAFileDeliversItsFrames) {
    const CMACAddr source("02AABBCCDDEE");
    std::vector<Bytes> frames;
    for (int i = 0; i < 350; ++i) {
        const unsigned char* from = source;
        frames.push_back(MakeFrame(Mac{0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF},
                                   Mac{from[0], from[1], from[2], from[3], from[4], from[5]},
                                   60 + (i * 37) % 1400, static_cast<std::uint8_t>(i)));
    }
    CaptureFile file;
    constexpr std::uint64_t kFirstStamp = 1700000000123456789ULL;
    ASSERT_TRUE(file.Write(frames, kFirstStamp));

    Collector collector{source, {}};
    auto hook = std::make_unique<CNdisHook>();
    ASSERT_TRUE(hook->OpenDriver(("file:" + file.Path()).c_str()));
    EXPECT_EQ(hook->GetMedium(), NdisMedium802_3);
    hook->SetCallback(&Collect, &collector);
    hook->ReadStartup();
    ASSERT_TRUE(hook->StartPromiscuousReception());
    Pump(collector, frames.size(), std::chrono::seconds(5));

    ASSERT_EQ(collector.frames.size(), frames.size());
    for (std::size_t i = 0; i < frames.size(); ++i) {
        EXPECT_EQ(collector.frames[i].bytes, frames[i]);
        EXPECT_EQ(collector.frames[i].number, i + 1);
        EXPECT_EQ(collector.frames[i].stamp, kFirstStamp + i * 1000);
    }
}

} // namespace
