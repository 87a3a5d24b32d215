#include "qndislib/filter/FilterProgram.h"

#include "TestSupport.h"
#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/ContentFilter.h"
#include "qndislib/filter/DstMACFilter.h"
#include "qndislib/filter/FilterParser.h"
#include "qndislib/filter/ICMPTypeFilter.h"
#include "qndislib/filter/IPAddrFilter.h"
#include "qndislib/filter/IPPortFilter.h"
#include "qndislib/filter/IPSubprotocolFilter.h"
#include "qndislib/filter/ProtocolFilter.h"
#include "qndislib/filter/SrcMACFilter.h"
#include "tests/support/PcapFile.h"

#include <functional>
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <random>
#include <string>

namespace {

static_assert(qndis::bpf::LD == BPF_LD && qndis::bpf::LEN == BPF_LEN &&
              qndis::bpf::MEM == BPF_MEM && qndis::bpf::IND == BPF_IND &&
              qndis::bpf::JSET == BPF_JSET && qndis::bpf::RET == BPF_RET &&
              qndis::bpf::MISC == BPF_MISC && qndis::bpf::LSH == BPF_LSH);

using Make = std::function<std::unique_ptr<CFilter>()>;

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

const Bytes kStation = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const Bytes kPeer = {0x02, 0x00, 0x00, 0x00, 0x00, 0x02};
const Bytes kAddresses = Concat({kPeer, kStation});

// IPv4 header of `words` words, protocol `protocol`, 10.0.0.1 to 10.0.0.2,
// then `payload`.
Bytes IPv4(unsigned char protocol, const Bytes& payload, unsigned char words = 5,
           unsigned char flags = 0) {
    Bytes header = {static_cast<unsigned char>(0x40 | words),
                    0,
                    0,
                    0,
                    0,
                    0,
                    flags,
                    0x20,
                    64,
                    protocol,
                    0,
                    0,
                    10,
                    0,
                    0,
                    1,
                    10,
                    0,
                    0,
                    2};
    header.resize(std::size_t{words} * 4, 0x01);
    return Concat({header, payload});
}

const Bytes kTcp = IPv4(6, {0x04, 0xD2, 0x00, 0x50, 0, 0, 0, 1, 'G', 'E', 'T', ' ', '/'});
const Bytes kUdp = IPv4(17, {0x03, 0xFF, 0x00, 0x35, 0, 8, 0, 0});
const Bytes kIcmp = IPv4(1, {0x08, 0x00, 0, 0, 0, 1, 0, 1});

// One frame of each encapsulation and kind of traffic the filters tell
// apart; every one also appears cut to each shorter length.
std::vector<Bytes> Corpus() {
    std::vector<Bytes> whole = {
        Concat({kAddresses, {0x08, 0x00}, kTcp}),
        Concat({kAddresses, {0x08, 0x00}, kUdp}),
        Concat({kAddresses, {0x08, 0x00}, kIcmp}),
        Concat({kAddresses, {0x08, 0x00}, IPv4(6, {0x00, 0x50, 0x04, 0x00}, 6)}),
        Concat({kAddresses, {0x08, 0x00}, IPv4(17, {0x01, 0x02, 0x03, 0x04}, 5, 0x21)}),
        Concat({kAddresses, {0x08, 0x00}, IPv4(1, {0x40}, 0)}),
        Concat({Bytes(6, 0xFF),
                kStation,
                {0x08, 0x06, 0, 1, 8, 0, 6, 4, 0, 1},
                kStation,
                {10, 0, 0, 1},
                Bytes(6, 0),
                {10, 0, 0, 2}}),
        Concat({{0x33, 0x33, 0, 0, 0, 1},
                kStation,
                {0x86, 0xDD, 0x60, 0, 0, 0, 0, 8, 17, 64},
                Bytes(32, 0xFE),
                {0, 53, 0, 53, 0, 8, 0, 0}}),
        Concat({kAddresses, {0x00, 0x40, 0xFF, 0xFF, 0x00, 0x40, 0x00, 0x11}}),
        Concat({kAddresses, {0x00, 0x40, 0xAA, 0xAA, 0x03, 0, 0, 0, 0x08, 0x00}, kUdp}),
        Concat({kAddresses, {0x00, 0x40, 0xAA, 0xAA, 0x03, 0, 0, 0x0C, 0x20, 0x00}, kTcp}),
        Concat({kAddresses, {0x00, 0x40, 0xE0, 0xE0, 0x03}, kIcmp}),
        Concat({kAddresses, {0x00, 0x40, 0xF0, 0xF0, 0x00, 0x00}, kTcp}),
        Concat({kAddresses, {0x00, 0x40, 0xAA, 0xAA, 0x02}, kUdp}),
        Concat({kAddresses, {0x81, 0x00, 0x00, 0x05, 0x08, 0x00}, kTcp}),
        Concat({kAddresses, {0x81, 0x00, 0x10, 0x05, 0x02, 0x00, 0x08, 0x00}, kUdp}),
        Concat({kAddresses, {0x81, 0x00, 0x10, 0x05, 0x06}, Bytes(7, 0x77), {0x08, 0x00}, kIcmp}),
        Concat(
            {kAddresses,
             {0x00, 0x40, 0xAA, 0xAA, 0x03, 0, 0, 0, 0x81, 0x00, 0x00, 0x07, 0, 0, 0, 0x08, 0x00},
             kTcp}),
        Concat({kAddresses,
                {0x00, 0x40, 0xAA, 0xAA, 0x03, 0, 0, 0, 0x81, 0x00, 0x10, 0x07, 0x1F},
                Bytes(32, 0x55),
                {0, 0, 0, 0x08, 0x00},
                kUdp}),
        Concat({kAddresses, {0x05, 0xDD, 0xFF, 0xFF}, kUdp}),
    };
    std::vector<Bytes> corpus;
    for (const Bytes& frame : whole) {
        for (std::size_t length = 1; length < frame.size(); ++length) {
            corpus.emplace_back(frame.begin(), frame.begin() + static_cast<long>(length));
        }
        corpus.push_back(frame);
    }
    // Frames of random bytes drawn mostly from the values the analysis
    // tests for, so that unusual mixtures of the encapsulations turn up.
    std::mt19937 random(14);
    const unsigned char interesting[] = {0x00, 0x03, 0x05, 0x06, 0x08, 0x10, 0x11, 0x1F,
                                         0x45, 0x50, 0x81, 0xAA, 0xDC, 0xFF, 0x46, 0x01};
    for (int i = 0; i < 3000; ++i) {
        Bytes frame(random() % 90 + 1);
        for (unsigned char& byte : frame) {
            byte = interesting[random() % sizeof interesting];
        }
        corpus.push_back(frame);
    }
    return corpus;
}

std::unique_ptr<CFilter> Content(const Bytes& pattern, unsigned int offset) {
    Bytes copy = pattern;
    return std::make_unique<CContentFilter>(copy.data(), static_cast<unsigned int>(copy.size()),
                                            offset, "", false);
}

std::unique_ptr<CFilter> Id(const Bytes& bytes) {
    return std::make_unique<CProtocolFilter>(
        CProtocolId(static_cast<int>(bytes.size()), bytes.data()), "", false);
}

std::unique_ptr<CFilter> Port(unsigned short port, CIPPortFilter::ePortType type,
                              eOperation operation) {
    return std::make_unique<CIPPortFilter>(port, type, operation, "", false);
}

std::unique_ptr<CFilter> Address(const char* address, unsigned int offset, eOperation operation) {
    return std::make_unique<CIPAddrFilter>(std::string(address), offset, operation, "", false);
}

// Every kind, with values that some frames of the corpus meet and some
// miss, and the edge values of each comparison.
std::vector<Make> Leaves() {
    using P = CIPPortFilter;
    return {
        [] { return std::make_unique<CSrcMACFilter>("020000000001", "", false); },
        [] { return std::make_unique<CDstMACFilter>("FFFFFFFFFFFF", "", false); },
        [] { return std::make_unique<CDstMACFilter>("000000000000", "", false); },
        [] {
            return Id({0x08, 0x00});
        },
        [] {
            return Id({0x00, 0x00, 0x00, 0x08, 0x00});
        },
        [] {
            return Id({0x00, 0x00, 0x0C, 0x20, 0x00});
        },
        [] { return Id({0xE0}); },
        [] { return Id({0xF0}); },
        [] { return Id({}); },
        [] {
            return Id({0x08, 0x06});
        },
        [] {
            return Id({0x01, 0x00, 0x00, 0x00, 0x08, 0x00});
        },
        [] { return std::make_unique<CIPSubprotocolFilter>(6, "", false); },
        [] { return std::make_unique<CIPSubprotocolFilter>(17, "", false); },
        [] { return std::make_unique<CIPSubprotocolFilter>(0, "", false); },
        [] { return std::make_unique<CICMPTypeFilter>(8, "", false); },
        [] { return std::make_unique<CICMPTypeFilter>(0x40, "", false); },
        [] { return std::make_unique<CICMPTypeFilter>(0, "", false); },
        [] { return Address("10.0.0.1", CIPAddrFilter::SourceOffset, OperationEqual); },
        [] { return Address("10.0.0.2", CIPAddrFilter::DestinationOffset, OperationLess); },
        [] { return Address("10.0.0.1", CIPAddrFilter::DestinationOffset, OperationGreater); },
        [] { return Address("0.0.0.0", 0, OperationGreater); },
        [] { return Address("10.0.0.1", 12, static_cast<eOperation>(7)); },
        [] { return Address("0.0.0.0", 70000, OperationGreater); },
        [] { return Port(80, P::PortDestination, OperationEqual); },
        [] { return Port(1023, P::PortSource, OperationGreater); },
        [] { return Port(54, P::PortDestination, OperationLess); },
        [] { return Port(0x0400, P::PortUnset, OperationEqual); },
        [] { return Port(0, P::PortSource, OperationLess); },
        [] {
            return Content({0x08, 0x00}, 12);
        },
        [] {
            return Content({0xAA, 0xAA, 0x03, 0x00, 0x00}, 14);
        },
        [] { return Content({}, 500); },
        [] {
            return Content({0x01, 0x02, 0x03, 0x04}, 58);
        },
        [] { return Content({0x00}, 0xFFFFFFFE); },
        [] { return Content({}, CContentFilter::Anywhere); },
        [] { return std::make_unique<CContentFilter>(nullptr, 12, "", false); },
    };
}

std::unique_ptr<CFilter> Negated(std::unique_ptr<CFilter> filter) {
    filter->SetNegateResult(!filter->GetNegateResult());
    return filter;
}

std::unique_ptr<CFilter> Disabled(std::unique_ptr<CFilter> filter) {
    filter->SetEnabled(false);
    return filter;
}

std::unique_ptr<CFilter> Join(CCompoundFilter::eOperator op,
                              std::vector<std::unique_ptr<CFilter>> members) {
    auto compound = std::make_unique<CCompoundFilter>(op);
    for (auto& member : members) {
        compound->Add(member.release());
    }
    return compound;
}

template <typename... Filters> std::vector<std::unique_ptr<CFilter>> List(Filters... filters) {
    std::vector<std::unique_ptr<CFilter>> list;
    (list.push_back(std::move(filters)), ...);
    return list;
}

// Each leaf plain, negated and disabled, each pair of neighbours joined
// both ways with one of them negated, and nestings of those.
std::vector<std::unique_ptr<CFilter>> Table(const std::vector<Make>& leaves) {
    constexpr auto And = CCompoundFilter::OperatorAnd;
    constexpr auto Or = CCompoundFilter::OperatorOr;
    std::vector<std::unique_ptr<CFilter>> table;
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        const Make& a = leaves[i];
        const Make& b = leaves[(i + 1) % leaves.size()];
        const Make& c = leaves[(i + 7) % leaves.size()];
        table.push_back(a());
        table.push_back(Negated(a()));
        table.push_back(Disabled(Negated(a())));
        table.push_back(Join(And, List(a(), Negated(b()))));
        table.push_back(Join(Or, List(Negated(a()), b())));
        table.push_back(Negated(Join(Or, List(Disabled(c()), a()))));
        table.push_back(Join(And, List(Negated(Join(Or, List(a(), c()))),
                                       Join(Or, List(Negated(b()), Join(And, List()))),
                                       Negated(Join(And, List(c(), Disabled(a())))))));
    }
    table.push_back(Join(Or, List()));
    table.push_back(Negated(Join(And, List())));
    return table;
}

bool HasSearchAnywhere(const CFilter& filter) {
    if (!filter.GetEnabled()) {
        return false;
    }
    if (filter.GetFilterId() == FilterContent) {
        const auto& content = static_cast<const CContentFilter&>(filter);
        ktools::CBinaryData* data = content.GetData();
        const bool searches = data != nullptr && data->GetLength() > 0 &&
                              content.GetOffset() == CContentFilter::Anywhere;
        if (data != nullptr) {
            data->Release();
        }
        return searches;
    }
    if (filter.GetFilterId() == FilterCompound) {
        const auto& compound = static_cast<const CCompoundFilter&>(filter);
        for (unsigned int i = 0; i < compound.GetCount(); ++i) {
            if (HasSearchAnywhere(*compound.GetAt(i))) {
                return true;
            }
        }
    }
    return false;
}

struct Outcome {
    std::size_t mismatches = 0;
    std::string first;
};

// Runs `program` in libpcap's interpreter on every frame, as the kernel
// would see it (the whole frame), against CheckFrame on the frame as cut to
// `snapLength`; over-approximating programs must pass a superset.
Outcome Differ(const CFilter& filter, const CFilterProgram& program,
               const std::vector<Bytes>& corpus, std::uint32_t snapLength) {
    const auto& code = program.GetInstructions();
    std::vector<bpf_insn> insns(code.size());
    std::memcpy(insns.data(), code.data(), code.size() * sizeof(bpf_insn));
    static_assert(sizeof(bpf_insn) == sizeof(CFilterProgram::Instruction));
    Outcome outcome;
    if (bpf_validate(insns.data(), static_cast<int>(insns.size())) == 0) {
        outcome.mismatches = corpus.size();
        outcome.first = "program refused by the validator";
        return outcome;
    }
    for (const Bytes& frame : corpus) {
        const Bytes seen(frame.begin(), frame.begin() + static_cast<long>(std::min<std::size_t>(
                                                            frame.size(), snapLength)));
        const bool library = filter.CheckFrame(Frame(seen).get());
        const auto size = static_cast<u_int>(frame.size());
        const bool kernel = bpf_filter(insns.data(), frame.data(), size, size) != 0;
        const bool agrees = program.IsExact() ? kernel == library : (kernel || !library);
        if (!agrees && outcome.mismatches++ == 0) {
            outcome.first = "frame of " + std::to_string(frame.size()) + " bytes: library " +
                            std::to_string(library) + ", program " + std::to_string(kernel);
        }
    }
    return outcome;
}

TEST(FilterProgram, DecidesEveryFrameAsTheLibraryDoes) {
    const std::vector<Bytes> corpus = Corpus();
    const auto table = Table(Leaves());
    for (std::size_t i = 0; i < table.size(); ++i) {
        const CFilter& filter = *table[i];
        const CFilterProgram program(filter);
        EXPECT_EQ(program.IsExact(), !HasSearchAnywhere(filter)) << filter.GetDescription();
        const Outcome outcome = Differ(filter, program, corpus, CFilterProgram::DefaultSnapLength);
        EXPECT_EQ(outcome.mismatches, 0u)
            << "table entry " << i << ": " << filter.GetDescription() << ": " << outcome.first;
    }
}

// The words of the filter language build guards from the nine kinds; their
// programs decide the shared corpus as the trees do, negated too.
TEST(FilterProgram, FilterWordsDecideTheSharedCorpusAsTheLibraryDoes) {
    std::vector<Bytes> corpus;
    for (const qndis::test::PcapRecord& record : qndis::test::ReadPcap(FILTER_CORPUS_PCAP)) {
        corpus.push_back(record.bytes);
    }
    ASSERT_GT(corpus.size(), 30u);
    const char* const words[] = {
        "ip",
        "arp",
        "ip6",
        "vlan",
        "tcp",
        "udp",
        "icmp",
        "icmp type 8",
        "port 53",
        "src port > 1023",
        "dst port != 80",
        "host 10.0.0.1",
        "net 10.0.0.0/8",
        "ether src 02:00:00:00:00:01",
        "proto 0x8100",
        "udp and dst port 53",
        "vlan and udp",
        "tcp or icmp type 0",
        "contains 08:00 at 12",
        "contains \"GET\"",
    };
    CFilterParser parser;
    for (const char* word : words) {
        for (const std::string text : {std::string(word), "not (" + std::string(word) + ")"}) {
            const std::unique_ptr<CFilter> filter = parser.Parse(text.c_str());
            ASSERT_NE(filter, nullptr) << text;
            const CFilterProgram program(*filter);
            const Outcome outcome =
                Differ(*filter, program, corpus, CFilterProgram::DefaultSnapLength);
            EXPECT_EQ(outcome.mismatches, 0u) << text << ": " << outcome.first;
        }
    }
}

TEST(FilterProgram, SeesFramesCutToTheSnapLength) {
    const std::vector<Bytes> corpus = Corpus();
    const auto leaves = Leaves();
    for (std::uint32_t snap : {20u, 37u, 61u}) {
        for (const Make& make : leaves) {
            for (const auto& filter : List(make(), Negated(make()))) {
                const CFilterProgram program(*filter, snap);
                const Outcome outcome = Differ(*filter, program, corpus, snap);
                EXPECT_EQ(outcome.mismatches, 0u)
                    << "snap length " << snap << ": " << filter->GetDescription() << ": "
                    << outcome.first;
            }
        }
    }
}

// Wide trees need jumps beyond 255 instructions; wider ones no longer fit
// and must still pass every frame the filter passes.
TEST(FilterProgram, LongProgramsJumpFarAndTooLongOnesOverApproximate) {
    const std::vector<Bytes> corpus = Corpus();
    struct Case {
        int members;
        bool exact;
    } cases[] = {{150, true}, {400, false}};
    for (const Case& c : cases) {
        std::vector<std::unique_ptr<CFilter>> members;
        for (int i = 0; i < c.members; ++i) {
            members.push_back(Port(static_cast<unsigned short>(i * 7),
                                   CIPPortFilter::PortDestination, OperationEqual));
        }
        members.push_back(Port(53, CIPPortFilter::PortDestination, OperationEqual));
        auto tree = Join(
            CCompoundFilter::OperatorAnd,
            List(Negated(Join(CCompoundFilter::OperatorOr, std::move(members))), Id({0x08, 0x00})));
        const CFilterProgram program(*tree);
        EXPECT_LE(program.GetInstructions().size(), qndis::bpf::MaxInstructions);
        EXPECT_EQ(program.IsExact(), c.exact) << c.members;
        const Outcome outcome = Differ(*tree, program, corpus, CFilterProgram::DefaultSnapLength);
        EXPECT_EQ(outcome.mismatches, 0u) << c.members << " members: " << outcome.first;
    }
}

TEST(FilterProgram, ListingGivesTheCountThenOneInstructionPerLine) {
    const CFilterProgram program(CIPSubprotocolFilter(6, "", false));
    const std::string listing = program.GetListing();
    const auto& code = program.GetInstructions();
    EXPECT_EQ(listing.substr(0, listing.find('\n')), std::to_string(code.size()));
    EXPECT_EQ(static_cast<std::size_t>(std::count(listing.begin(), listing.end(), '\n')),
              code.size() + 1);
    const std::string last = "6 0 0 0\n";
    EXPECT_EQ(listing.substr(listing.size() - last.size()), last);
}

} // namespace
