// Cost of one full Ethernet analysis per frame, measured beside the cost of
// libpcap's BPF interpreter running "ether proto 0x0800" on the same frames.
// Both cycle through the same 1024 distinct frames; the ratios printed at the
// end compare the medians of the two on each mix.

#include "RatioReporter.h"
#include "qndislib/media/EthernetInfo.h"
#include "qndislib/media/MediaInfo.h"

#include <array>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <memory>
#include <pcap/pcap.h>
#include <random>
#include <vector>

namespace {

constexpr std::size_t FrameCount = 1024;
constexpr std::size_t Slot = 128;

struct FrameSet {
    std::vector<unsigned char> bytes; // FrameCount slots of Slot bytes
    std::vector<unsigned> lengths;

    const unsigned char* Frame(std::size_t i) const { return bytes.data() + i * Slot; }
};

// Writes the bytes from 12 on for one encapsulation; the rest of the slot
// keeps its random payload.
void WriteHeader(unsigned char* f, int type, std::mt19937& random) {
    const unsigned length = 46 + random() % 50;
    auto put16 = [&](std::size_t at, unsigned value) {
        f[at] = static_cast<unsigned char>(value >> 8);
        f[at + 1] = static_cast<unsigned char>(value);
    };
    static constexpr unsigned Types[] = {0x0800, 0x0800, 0x0800, 0x86DD, 0x0806};
    switch (type) {
    case 1:
        put16(12, length);
        f[14] = f[15] = 0xFF;
        break;
    case 2:
        put16(12, Types[random() % 5]);
        break;
    case 3:
        put16(12, length);
        f[14] = f[15] = 0xAA;
        f[16] = 0x03;
        f[17] = f[18] = 0;
        f[19] = static_cast<unsigned char>(random() % 2 == 0 ? 0x00 : 0xF8);
        put16(20, 0x80F3);
        break;
    case 4:
    case 5: {
        static constexpr unsigned char Saps[] = {0x42, 0xE0, 0xF0, 0x06};
        put16(12, length);
        f[14] = f[15] = Saps[random() % 4];
        f[16] = type == 4 ? 0x03 : 0x00;
        break;
    }
    case 6:
        put16(12, 0x8100);
        put16(14, random() % 4096);
        put16(16, Types[random() % 5]);
        break;
    default:
        put16(12, length);
        f[14] = f[15] = 0xAA;
        f[16] = 0x03;
        f[17] = f[18] = f[19] = 0;
        put16(20, 0x8100);
        put16(22, random() % 4096);
        f[24] = f[25] = f[26] = 0;
        put16(27, 0x0800);
        break;
    }
}

// `weights[t - 1]` is the share of frame type t.
FrameSet MakeFrames(const std::array<int, 7>& weights, unsigned seed) {
    std::mt19937 random(seed);
    std::discrete_distribution<int> pick(weights.begin(), weights.end());
    FrameSet set{std::vector<unsigned char>(FrameCount * Slot), std::vector<unsigned>(FrameCount)};
    for (std::size_t i = 0; i < FrameCount; ++i) {
        unsigned char* f = set.bytes.data() + i * Slot;
        for (std::size_t b = 0; b < Slot; ++b) {
            f[b] = static_cast<unsigned char>(random());
        }
        f[0] &= 0xFE; // unicast, except the odd broadcast below
        if (i % 16 == 0) {
            std::fill_n(f, 6, 0xFF);
        }
        WriteHeader(f, pick(random) + 1, random);
        set.lengths[i] = 64 + static_cast<unsigned>(random() % (Slot - 64 + 1));
    }
    return set;
}

const FrameSet& LinkLike() {
    // Mostly Ethernet II, some 802.1Q, a few LLC and SNAP frames.
    static const FrameSet set = MakeFrames({0, 86, 2, 2, 1, 9, 0}, 1);
    return set;
}

const FrameSet& Uniform() {
    static const FrameSet set = MakeFrames({1, 1, 1, 1, 1, 1, 1}, 2);
    return set;
}

const FrameSet& Mix(const benchmark::State& state) {
    return state.range(0) == 0 ? LinkLike() : Uniform();
}

void BM_AnalyzeFrame(benchmark::State& state) {
    const FrameSet& set = Mix(state);
    // Through the registry and the virtual call, as an application reaches
    // it from a frame's description.
    std::unique_ptr<CMediaInfo> medium(CreateMedium("Ethernet"));
    std::size_t i = 0;
    for (auto _ : state) {
        medium->AnalyzeFrame(set.Frame(i));
        benchmark::DoNotOptimize(medium->GetHeaderLen());
        i = (i + 1) % FrameCount;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_AnalyzeFrameWithLength(benchmark::State& state) {
    const FrameSet& set = Mix(state);
    std::unique_ptr<CMediaInfo> medium(CreateMedium("Ethernet"));
    std::size_t i = 0;
    for (auto _ : state) {
        medium->AnalyzeFrame(set.Frame(i), set.lengths[i]);
        benchmark::DoNotOptimize(medium->GetHeaderLen());
        i = (i + 1) % FrameCount;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_BpfEtherProtoIp(benchmark::State& state) {
    const FrameSet& set = Mix(state);
    std::unique_ptr<pcap_t, decltype(&pcap_close)> dead(pcap_open_dead(DLT_EN10MB, 65535),
                                                        &pcap_close);
    bpf_program program{};
    if (!dead ||
        pcap_compile(dead.get(), &program, "ether proto 0x0800", 1, PCAP_NETMASK_UNKNOWN) != 0) {
        state.SkipWithError("cannot compile the BPF program");
        return;
    }
    std::size_t i = 0;
    for (auto _ : state) {
        const unsigned length = set.lengths[i];
        benchmark::DoNotOptimize(bpf_filter(program.bf_insns, set.Frame(i), length, length));
        i = (i + 1) % FrameCount;
    }
    pcap_freecode(&program);
    state.SetItemsProcessed(state.iterations());
}

BENCHMARK(BM_AnalyzeFrame)->ArgName("uniform")->Arg(0)->Arg(1);
BENCHMARK(BM_AnalyzeFrameWithLength)->ArgName("uniform")->Arg(0)->Arg(1);
BENCHMARK(BM_BpfEtherProtoIp)->ArgName("uniform")->Arg(0)->Arg(1);

} // namespace

int main(int argc, char** argv) {
    using qndis::bench::Ratio;
    return qndis::bench::RunWithRatios(
        argc, argv,
        {
            Ratio{"link-like: AnalyzeFrame / BPF", "BM_AnalyzeFrame/uniform:0",
                  "BM_BpfEtherProtoIp/uniform:0"},
            Ratio{"link-like: AnalyzeFrame(length) / BPF", "BM_AnalyzeFrameWithLength/uniform:0",
                  "BM_BpfEtherProtoIp/uniform:0"},
            Ratio{"uniform: AnalyzeFrame / BPF", "BM_AnalyzeFrame/uniform:1",
                  "BM_BpfEtherProtoIp/uniform:1"},
            Ratio{"uniform: AnalyzeFrame(length) / BPF", "BM_AnalyzeFrameWithLength/uniform:1",
                  "BM_BpfEtherProtoIp/uniform:1"},
        });
}
