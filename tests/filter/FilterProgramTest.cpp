#include "qndislib/filter/FilterProgram.h"

#include "TestSupport.h"
#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/ContentFilter.h"
#include "qndislib/filter/FilterParser.h"
#include "qndislib/filter/IPPortFilter.h"
#include "qndislib/filter/ProtocolFilter.h"
#include "tests/support/GoldenFile.h"
#include "tests/support/PcapFile.h"

#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <random>
#include <set>
#include <string>

namespace {

using qndis::test::GoldenRow;
using qndis::test::HexBytes;
using qndis::test::ReadGolden;

// The Ethernet frames of the golden rows and of the committed corpus, each
// also cut to every shorter length, and frames of random bytes drawn mostly
// from the values the analysis tests for, so that unusual mixtures of the
// encapsulations turn up.
const std::vector<Bytes>& Corpus() {
    static std::vector<Bytes> corpus;
    if (!corpus.empty()) {
        return corpus;
    }
    std::vector<Bytes> whole;
    for (const GoldenRow& row : ReadGolden("frames.txt", 12)) {
        if (row.fields[1] == "Ethernet") {
            whole.push_back(HexBytes(row.fields[2]));
        }
    }
    for (const qndis::test::PcapRecord& record : qndis::test::ReadPcap(FILTER_CORPUS_PCAP)) {
        whole.push_back(record.bytes);
    }
    std::set<Bytes> cuts;
    for (const Bytes& frame : whole) {
        for (std::size_t length = 1; length <= frame.size(); ++length) {
            cuts.emplace(frame.begin(), frame.begin() + static_cast<long>(length));
        }
    }
    corpus.assign(cuts.begin(), cuts.end());
    std::mt19937 random(14);
    const unsigned char interesting[] = {0x00, 0x03, 0x05, 0x06, 0x08, 0x10, 0x11, 0x1F,
                                         0x45, 0x50, 0x81, 0xAA, 0xDC, 0xFF, 0x46, 0x01};
    for (int i = 0; i < 1000; ++i) {
        Bytes frame(random() % 90 + 1);
        for (unsigned char& byte : frame) {
            byte = interesting[random() % sizeof interesting];
        }
        corpus.push_back(frame);
    }
    return corpus;
}

std::unique_ptr<CFilter> Copy(const std::unique_ptr<CFilter>& filter) {
    return std::unique_ptr<CFilter>(filter->Clone());
}

std::unique_ptr<CFilter> Negated(std::unique_ptr<CFilter> filter) {
    filter->SetNegateResult(!filter->GetNegateResult());
    return filter;
}

std::unique_ptr<CFilter> Disabled(std::unique_ptr<CFilter> filter) {
    filter->SetEnabled(false);
    return filter;
}

template <typename... Members>
std::unique_ptr<CCompoundFilter> Join(CCompoundFilter::eOperator op, Members... members) {
    auto compound = std::make_unique<CCompoundFilter>(op);
    (compound->Add(members.release()), ...);
    return compound;
}

// Each filter of the golden rows plain, negated and disabled, and joined
// with its neighbours both ways, negated, disabled and nested.
std::vector<std::unique_ptr<CFilter>> Table(const std::vector<std::unique_ptr<CFilter>>& leaves) {
    constexpr auto And = CCompoundFilter::OperatorAnd;
    constexpr auto Or = CCompoundFilter::OperatorOr;
    std::vector<std::unique_ptr<CFilter>> table;
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        const auto& a = leaves[i];
        const auto& b = leaves[(i + 1) % leaves.size()];
        const auto& c = leaves[(i + 7) % leaves.size()];
        table.push_back(Copy(a));
        table.push_back(Negated(Copy(a)));
        table.push_back(Disabled(Negated(Copy(a))));
        table.push_back(Join(And, Copy(a), Negated(Copy(b))));
        table.push_back(Join(And, Negated(Join(Or, Copy(a), Disabled(Copy(c)))),
                             Join(Or, Negated(Copy(b)), Join(And))));
    }
    table.push_back(Join(Or));
    table.push_back(Negated(Join(And)));
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

// A frame whole, as the kernel filters it, and as the library sees it once
// cut to the snap length.
struct Sample {
    Bytes whole;
    std::unique_ptr<CQuorelFrame> seen;
};

std::vector<Sample> Samples(std::uint32_t snapLength) {
    std::vector<Sample> samples;
    for (const Bytes& frame : Corpus()) {
        const Bytes seen(frame.begin(), frame.begin() + static_cast<long>(std::min<std::size_t>(
                                                            frame.size(), snapLength)));
        samples.push_back({frame, Frame(seen)});
    }
    return samples;
}

// Runs `program` in libpcap's interpreter against CheckFrame on every
// sample; over-approximating programs must pass a superset.
Outcome Differ(const CFilter& filter, const CFilterProgram& program,
               const std::vector<Sample>& samples) {
    const auto& code = program.GetInstructions();
    std::vector<bpf_insn> insns(code.size());
    std::memcpy(insns.data(), code.data(), code.size() * sizeof(bpf_insn));
    static_assert(sizeof(bpf_insn) == sizeof(CFilterProgram::Instruction));
    Outcome outcome;
    if (bpf_validate(insns.data(), static_cast<int>(insns.size())) == 0) {
        outcome.mismatches = samples.size();
        outcome.first = "program refused by the validator";
        return outcome;
    }
    for (const Sample& sample : samples) {
        const bool library = filter.CheckFrame(sample.seen.get());
        const auto size = static_cast<u_int>(sample.whole.size());
        const bool kernel = bpf_filter(insns.data(), sample.whole.data(), size, size) != 0;
        const bool agrees = program.IsExact() ? kernel == library : (kernel || !library);
        if (!agrees && outcome.mismatches++ == 0) {
            outcome.first = "frame of " + std::to_string(size) + " bytes: library " +
                            std::to_string(library) + ", program " + std::to_string(kernel);
        }
    }
    return outcome;
}

// Also at snap lengths that cut the headers the program reads.
TEST(FilterProgram, DecidesEveryFrameAsTheLibraryDoes) {
    const auto table = Table(GoldenFilters());
    for (const std::uint32_t snap : {CFilterProgram::DefaultSnapLength, 20u, 37u, 61u}) {
        const auto samples = Samples(snap);
        for (std::size_t i = 0; i < table.size(); ++i) {
            const CFilter& filter = *table[i];
            const CFilterProgram program(filter, snap);
            EXPECT_EQ(program.IsExact(), !HasSearchAnywhere(filter)) << filter.GetDescription();
            const Outcome outcome = Differ(filter, program, samples);
            EXPECT_EQ(outcome.mismatches, 0u)
                << "snap length " << snap << ", table entry " << i << ": "
                << filter.GetDescription() << ": " << outcome.first;
        }
    }
}

// Wide trees need jumps beyond 255 instructions; wider ones no longer fit
// and must still pass every frame the filter passes.
TEST(FilterProgram, LongProgramsJumpFarAndTooLongOnesOverApproximate) {
    const auto samples = Samples(CFilterProgram::DefaultSnapLength);
    struct Case {
        int members;
        bool exact;
    } cases[] = {{150, true}, {400, false}};
    for (const Case& c : cases) {
        auto ports = Join(CCompoundFilter::OperatorOr);
        for (int i = 0; i <= c.members; ++i) {
            const auto port = static_cast<unsigned short>(i < c.members ? i * 7 : 53);
            ports->Add(
                CIPPortFilter(port, CIPPortFilter::PortDestination, OperationEqual, "", false));
        }
        const auto tree = Join(CCompoundFilter::OperatorAnd, Negated(std::move(ports)),
                               std::make_unique<CProtocolFilter>(CProtocolId("0800"), "", false));
        const CFilterProgram program(*tree);
        EXPECT_LE(program.GetInstructions().size(), qndis::bpf::MaxInstructions);
        EXPECT_EQ(program.IsExact(), c.exact) << c.members;
        const Outcome outcome = Differ(*tree, program, samples);
        EXPECT_EQ(outcome.mismatches, 0u) << c.members << " members: " << outcome.first;
    }
}

} // namespace
