// Filter decisions per frame against libpcap's BPF interpreter deciding the
// equivalent expression on the same bytes, content search against memmem
// and a prebuilt Horspool searcher, and the speed of the filter stream.
//
// The frames are a link-like mix (IPv4 TCP, UDP and ICMP, ARP, IPv6, 802.2,
// SNAP and 802.1Q-tagged IPv4), each stored and analysed once beforehand, as
// an application does before it filters.

#include "RatioReporter.h"
#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/ContentFilter.h"
#include "qndislib/filter/DstMACFilter.h"
#include "qndislib/filter/ICMPTypeFilter.h"
#include "qndislib/filter/IPAddrFilter.h"
#include "qndislib/filter/IPPortFilter.h"
#include "qndislib/filter/IPSubprotocolFilter.h"
#include "qndislib/filter/ProtocolFilter.h"
#include "qndislib/filter/SrcMACFilter.h"
#include "qndislib/filter/UnpackFilter.h"
#include "qndislib/frame/QuorelFrame.h"
#include "qndislib/ktools/MemoryBuffer.h"

#include <algorithm>
#include <array>
#include <benchmark/benchmark.h>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <pcap/pcap.h>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr std::size_t FrameCount = 1024;

// Station 0 is the one the address filters look for.
constexpr std::array<std::array<unsigned char, 6>, 4> Stations = {{
    {0x00, 0xA0, 0xC9, 0x14, 0xC8, 0x29},
    {0x00, 0x1B, 0x21, 0x3A, 0x4F, 0x10},
    {0x3C, 0x97, 0x0E, 0x55, 0x01, 0x02},
    {0xF4, 0x8E, 0x38, 0x00, 0x7A, 0x11},
}};
// Host 0 is 192.168.0.1, the address that the address filters look for.
constexpr std::array<std::array<unsigned char, 4>, 4> Hosts = {{
    {192, 168, 0, 1},
    {192, 168, 0, 17},
    {10, 0, 0, 5},
    {172, 16, 4, 2},
}};

enum class Kind { Tcp, Udp, Icmp, Arp, Ipv6, Llc, Snap, TaggedTcp };

struct Builder {
    std::mt19937 random;
    std::vector<unsigned char> frame;

    void Put(std::initializer_list<unsigned char> bytes) {
        frame.insert(frame.end(), bytes.begin(), bytes.end());
    }
    void Put16(unsigned value) {
        Put({static_cast<unsigned char>(value >> 8), static_cast<unsigned char>(value)});
    }
    template <std::size_t N> void Put(const std::array<unsigned char, N>& bytes) {
        frame.insert(frame.end(), bytes.begin(), bytes.end());
    }
    void Fill(std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            frame.push_back(static_cast<unsigned char>(random()));
        }
    }
    template <class T> const T& Pick(const T* values, std::size_t count) {
        return values[random() % count];
    }

    void Addresses() {
        Put(Stations[random() % Stations.size()]);
        Put(Stations[random() % Stations.size()]);
    }
    // A 20-byte IPv4 header, then `transport` bytes of the given protocol.
    void Ipv4(unsigned char protocol, std::size_t transport) {
        Put({0x45, 0x00});
        Put16(static_cast<unsigned>(20 + transport));
        Put({0x12, 0x34, 0x40, 0x00, 64, protocol, 0x00, 0x00});
        Put(Hosts[random() % Hosts.size()]);
        Put(Hosts[random() % Hosts.size()]);
    }
    void Ports(std::size_t payload) {
        static constexpr unsigned Services[] = {80, 80, 443, 53, 22, 8080};
        if (random() % 2 == 0) {
            Put16(Pick(Services, 6));
            Put16(1024 + random() % 60000);
        } else {
            Put16(1024 + random() % 60000);
            Put16(Pick(Services, 6));
        }
        Fill(payload);
    }

    void Build(Kind kind) {
        frame.clear();
        Addresses();
        const std::size_t payload = 6 + random() % 400;
        switch (kind) {
        case Kind::TaggedTcp:
            Put16(0x8100);
            Put16(random() % 4096);
            [[fallthrough]];
        case Kind::Tcp:
            Put16(0x0800);
            Ipv4(6, 20 + payload);
            Ports(16 + payload);
            break;
        case Kind::Udp:
            Put16(0x0800);
            Ipv4(17, 8 + payload);
            Ports(4 + payload);
            break;
        case Kind::Icmp:
            Put16(0x0800);
            Ipv4(1, 8 + payload);
            Put({static_cast<unsigned char>(random() % 2 == 0 ? 8 : 0), 0});
            Fill(6 + payload);
            break;
        case Kind::Arp:
            Put16(0x0806);
            Put({0x00, 0x01, 0x08, 0x00, 6, 4, 0x00, 0x01});
            Fill(38);
            break;
        case Kind::Ipv6:
            Put16(0x86DD);
            Put({0x60, 0x00, 0x00, 0x00});
            Put16(static_cast<unsigned>(payload));
            Put({6, 64});
            Fill(32 + payload);
            break;
        case Kind::Llc:
            Put16(static_cast<unsigned>(3 + payload));
            Put({0x42, 0x42, 0x03});
            Fill(payload);
            break;
        case Kind::Snap:
            Put16(static_cast<unsigned>(8 + payload));
            Put({0xAA, 0xAA, 0x03, 0x00, 0x00, 0x0C, 0x20, 0x00});
            Fill(payload);
            break;
        }
        if (frame.size() < 60) {
            frame.resize(60, 0);
        }
    }
};

struct FrameMix {
    std::vector<std::unique_ptr<CQuorelFrame>> frames;
    std::vector<const unsigned char*> bytes;
    std::vector<unsigned> lengths;
};

const FrameMix& Mix() {
    static const FrameMix mix = [] {
        // Shares in per cent: TCP, UDP, ICMP, ARP, IPv6, 802.2, SNAP, tagged.
        std::discrete_distribution<int> pick({45, 20, 5, 8, 8, 3, 3, 8});
        Builder builder{std::mt19937(7), {}};
        FrameMix built;
        for (std::size_t i = 0; i < FrameCount; ++i) {
            builder.Build(static_cast<Kind>(pick(builder.random)));
            const auto length = static_cast<unsigned short>(builder.frame.size());
            auto stored = std::make_unique<CQuorelFrame>(builder.frame.data(), length,
                                                         std::string("Ethernet"));
            stored->AnalyzeFrame();
            built.bytes.push_back(stored->GetFrame());
            built.lengths.push_back(length);
            built.frames.push_back(std::move(stored));
        }
        return built;
    }();
    return mix;
}

using FilterMaker = std::function<std::unique_ptr<CFilter>()>;

struct FilterCase {
    const char* name;
    FilterMaker make;
    const char* bpf;
};

std::unique_ptr<CFilter> WebCompound() {
    auto web = std::make_unique<CCompoundFilter>(CCompoundFilter::OperatorAnd);
    web->Add(CProtocolFilter(CProtocolId("0800"), "", false));
    web->Add(CIPSubprotocolFilter(6, "", false));
    web->Add(CIPPortFilter(80, CIPPortFilter::PortDestination, OperationEqual, "", false));
    return web;
}

const std::vector<FilterCase>& FilterCases() {
    static const std::vector<FilterCase> cases = {
        {"SrcMAC", [] { return std::make_unique<CSrcMACFilter>("00A0C914C829", "", false); },
         "ether src 00:a0:c9:14:c8:29"},
        {"DstMAC", [] { return std::make_unique<CDstMACFilter>("00A0C914C829", "", false); },
         "ether dst 00:a0:c9:14:c8:29"},
        {"Protocol",
         [] { return std::make_unique<CProtocolFilter>(CProtocolId("0800"), "", false); },
         "ether proto 0x0800"},
        {"IPSubprotocol", [] { return std::make_unique<CIPSubprotocolFilter>(6, "", false); },
         "ip proto 6"},
        {"IPAddr",
         [] {
             return std::make_unique<CIPAddrFilter>("192.168.0.1", CIPAddrFilter::SourceOffset,
                                                    OperationEqual, "", false);
         },
         "src host 192.168.0.1"},
        {"IPPort",
         [] {
             return std::make_unique<CIPPortFilter>(80, CIPPortFilter::PortDestination,
                                                    OperationEqual, "", false);
         },
         "dst port 80"},
        {"ICMPType", [] { return std::make_unique<CICMPTypeFilter>(8, "", false); },
         "icmp[icmptype] = 8"},
        {"Content",
         [] {
             unsigned char ip[] = {0x08, 0x00};
             return std::make_unique<CContentFilter>(ip, 2, 12, "", false);
         },
         "ether[12:2] = 0x0800"},
        {"Compound", WebCompound, "ip proto 6 and dst port 80"},
    };
    return cases;
}

void BM_CheckFrame(benchmark::State& state) {
    const FrameMix& mix = Mix();
    const std::unique_ptr<CFilter> filter = FilterCases()[state.range(0)].make();
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(filter->CheckFrame(mix.frames[i].get()));
        i = (i + 1) % FrameCount;
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_Bpf(benchmark::State& state) {
    const FrameMix& mix = Mix();
    std::unique_ptr<pcap_t, decltype(&pcap_close)> dead(pcap_open_dead(DLT_EN10MB, 65535),
                                                        &pcap_close);
    bpf_program program{};
    if (!dead || pcap_compile(dead.get(), &program, FilterCases()[state.range(0)].bpf, 1,
                              PCAP_NETMASK_UNKNOWN) != 0) {
        state.SkipWithError("cannot compile the BPF program");
        return;
    }
    std::size_t i = 0;
    for (auto _ : state) {
        const unsigned length = mix.lengths[i];
        benchmark::DoNotOptimize(bpf_filter(program.bf_insns, mix.bytes[i], length, length));
        i = (i + 1) % FrameCount;
    }
    pcap_freecode(&program);
    state.SetItemsProcessed(state.iterations());
}

void FilterArguments(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgName("kind");
    for (std::size_t k = 0; k < FilterCases().size(); ++k) {
        benchmark->Arg(static_cast<long>(k));
    }
}

BENCHMARK(BM_CheckFrame)->Apply(FilterArguments);
BENCHMARK(BM_Bpf)->Apply(FilterArguments);

// Content search: 64 distinct texts of one length, over an alphabet of
// lower-case letters and blanks as in a text protocol's payload, with the
// pattern absent or present at the very end of each.
constexpr std::size_t TextCount = 64;

struct SearchSet {
    std::vector<unsigned char> pattern;
    std::vector<std::vector<unsigned char>> texts;
};

SearchSet MakeSearchSet(std::size_t patternLength, std::size_t textLength, bool present) {
    std::mt19937 random(static_cast<unsigned>(patternLength * 7919 + textLength));
    auto letter = [&] {
        const unsigned value = random() % 27;
        return static_cast<unsigned char>(value == 26 ? ' ' : 'a' + value);
    };
    SearchSet set;
    set.pattern.resize(patternLength);
    std::generate(set.pattern.begin(), set.pattern.end(), letter);
    while (set.texts.size() < TextCount) {
        std::vector<unsigned char> text(textLength);
        std::generate(text.begin(), text.end(), letter);
        if (present) {
            std::copy(set.pattern.begin(), set.pattern.end(), text.end() - patternLength);
        }
        const bool found =
            memmem(text.data(), text.size(), set.pattern.data(), patternLength) != nullptr;
        const bool atEndOnly =
            memmem(text.data(), text.size() - 1, set.pattern.data(), patternLength) == nullptr;
        if (present ? atEndOnly : !found) {
            set.texts.push_back(std::move(text));
        }
    }
    return set;
}

// Arguments: pattern length, text length, 1 when the pattern is present.
const SearchSet& Search(const benchmark::State& state) {
    static std::map<std::array<long, 3>, SearchSet> sets;
    const std::array<long, 3> key = {state.range(0), state.range(1), state.range(2)};
    auto found = sets.find(key);
    if (found == sets.end()) {
        found = sets.emplace(key, MakeSearchSet(key[0], key[1], key[2] != 0)).first;
    }
    return found->second;
}

template <class Searcher> void RunSearch(benchmark::State& state, Searcher search) {
    const SearchSet& set = Search(state);
    std::size_t i = 0;
    std::size_t matches = 0;
    for (auto _ : state) {
        const std::vector<unsigned char>& text = set.texts[i];
        matches += search(text.data(), text.size()) ? 1 : 0;
        i = (i + 1) % TextCount;
    }
    if ((matches > 0) != (state.range(2) != 0)) {
        state.SkipWithError("the search found the wrong answer");
    }
    benchmark::DoNotOptimize(matches);
    state.SetBytesProcessed(state.iterations() * state.range(1));
}

void BM_FindBinaryData(benchmark::State& state) {
    const SearchSet& set = Search(state);
    ktools::CBinaryData pattern(set.pattern.data(), static_cast<unsigned>(set.pattern.size()));
    RunSearch(state, [&](const unsigned char* text, std::size_t length) {
        return pattern.Find(text, static_cast<unsigned>(length));
    });
}

void BM_FindMemmem(benchmark::State& state) {
    const SearchSet& set = Search(state);
    RunSearch(state, [&](const unsigned char* text, std::size_t length) {
        return memmem(text, length, set.pattern.data(), set.pattern.size()) != nullptr;
    });
}

void BM_FindHorspool(benchmark::State& state) {
    const SearchSet& set = Search(state);
    const std::boyer_moore_horspool_searcher searcher(set.pattern.begin(), set.pattern.end());
    RunSearch(state, [&](const unsigned char* text, std::size_t length) {
        return std::search(text, text + length, searcher) != text + length;
    });
}

void SearchArguments(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"pattern", "text", "present"});
    for (long text : {60, 1500}) {
        for (long pattern : {4, 8, 16, 64}) {
            if (pattern < text) {
                benchmark->Args({pattern, text, 0});
                benchmark->Args({pattern, text, 1});
            }
        }
    }
}

BENCHMARK(BM_FindBinaryData)->Apply(SearchArguments);
BENCHMARK(BM_FindMemmem)->Apply(SearchArguments);
BENCHMARK(BM_FindHorspool)->Apply(SearchArguments);

// 10,000 stored filters of every kind; every tenth is a compound holding
// three members, one of them a compound itself.
std::vector<std::unique_ptr<CFilter>> MakeFilterSet() {
    std::vector<std::unique_ptr<CFilter>> set;
    const std::vector<FilterCase>& cases = FilterCases();
    for (std::size_t i = 0; set.size() < 10000; ++i) {
        if (i % 10 == 9) {
            auto outer = std::make_unique<CCompoundFilter>(CCompoundFilter::OperatorOr, "outer");
            outer->Add(CSrcMACFilter("00A0C914C829", "", true));
            outer->Add(WebCompound().release());
            unsigned char get[] = {'G', 'E', 'T', ' '};
            outer->Add(CContentFilter(get, 4, CContentFilter::Anywhere, "http", false));
            set.push_back(std::move(outer));
        } else {
            std::unique_ptr<CFilter> filter = cases[i % cases.size()].make();
            filter->SetName("filter " + std::to_string(i));
            set.push_back(std::move(filter));
        }
    }
    return set;
}

void BM_PackFilters(benchmark::State& state) {
    const auto set = MakeFilterSet();
    ktools::CMemoryBuffer buffer;
    for (auto _ : state) {
        buffer.Clear();
        for (const auto& filter : set) {
            filter->Pack(buffer);
        }
        benchmark::DoNotOptimize(buffer.GetData());
    }
    state.SetBytesProcessed(state.iterations() * buffer.GetSize());
    state.counters["filters"] = static_cast<double>(set.size());
    state.counters["stream_bytes"] = buffer.GetSize();
}

void BM_UnpackFilters(benchmark::State& state) {
    const auto set = MakeFilterSet();
    ktools::CMemoryBuffer packed;
    for (const auto& filter : set) {
        filter->Pack(packed);
    }
    for (auto _ : state) {
        ktools::CMemoryBuffer reader(packed.GetData(), packed.GetSize());
        for (std::size_t i = 0; i < set.size(); ++i) {
            const std::unique_ptr<CFilter> filter(UnpackFilter(reader));
            if (!filter) {
                state.SkipWithError("a stored filter did not read back");
                return;
            }
        }
    }
    state.SetBytesProcessed(state.iterations() * packed.GetSize());
}

BENCHMARK(BM_PackFilters)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UnpackFilters)->Unit(benchmark::kMicrosecond);

std::vector<qndis::bench::Ratio> Ratios() {
    using qndis::bench::Ratio;
    std::vector<Ratio> ratios;
    const std::vector<FilterCase>& cases = FilterCases();
    for (std::size_t k = 0; k < cases.size(); ++k) {
        const std::string arg = "/kind:" + std::to_string(k);
        ratios.push_back({std::string(cases[k].name) + " vs \"" + cases[k].bpf + "\"",
                          "BM_CheckFrame" + arg, "BM_Bpf" + arg});
    }
    for (const char* reference : {"Horspool", "Memmem"}) {
        for (long text : {60, 1500}) {
            for (long pattern : {4, 8, 16, 64}) {
                for (long present : {0, 1}) {
                    if (pattern >= text) {
                        continue;
                    }
                    const std::string arg = "/pattern:" + std::to_string(pattern) +
                                            "/text:" + std::to_string(text) +
                                            "/present:" + std::to_string(present);
                    ratios.push_back({std::string("Find vs ") + reference + arg,
                                      "BM_FindBinaryData" + arg,
                                      std::string("BM_Find") + reference + arg});
                }
            }
        }
    }
    return ratios;
}

} // namespace

int main(int argc, char** argv) {
    return qndis::bench::RunWithRatios(argc, argv, Ratios());
}
