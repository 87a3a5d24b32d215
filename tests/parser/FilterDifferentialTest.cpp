// Every word of the filter language, alone, negated and combined, selects
// frames of the committed corpus through `qndis read -w`, and tcpdump
// selects them with the expression that means the same. The selections
// must agree frame by frame, except on the frames of the categories a case
// lists, each for the reason given below; and each listed category must
// really show a difference, so that no stale excuse stays in the table.
#include "tests/qndis/QndisRun.h"
#include "tests/support/GoldenFile.h"

#include <fstream>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace qndis::test;

const std::string CorpusPcap = std::string(FILTER_CORPUS) + ".pcap";
const std::string CorpusIndex = std::string(FILTER_CORPUS) + ".txt";
constexpr std::uint64_t FirstSecond = 1'700'000'000;

// Why the library and tcpdump may see a frame of a category differently.
std::map<std::string, std::string> Reasons() {
    std::map<std::string, std::string> reasons;
    for (const GoldenRow& row : ReadGolden("filter-differences.txt", 2)) {
        reasons[row.fields[0]] = row.fields[1];
    }
    return reasons;
}

struct CorpusFrame {
    std::string category;
    std::string name;
};

std::vector<CorpusFrame> ReadIndex() {
    std::vector<CorpusFrame> frames;
    const auto reasons = Reasons();
    std::ifstream in(CorpusIndex);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::size_t index = 0;
        CorpusFrame frame;
        fields >> index >> frame.category;
        std::getline(fields, frame.name);
        EXPECT_EQ(index, frames.size()) << line;
        EXPECT_TRUE(frame.category == "plain" || frame.category == "llc" ||
                    reasons.count(frame.category) != 0)
            << line;
        frames.push_back(frame);
    }
    return frames;
}

// The corpus indexes of the frames a pcap file holds.
std::set<std::size_t> Indexes(const std::string& path) {
    std::set<std::size_t> indexes;
    for (const PcapRecord& record : ReadPcap(path)) {
        indexes.insert(static_cast<std::size_t>(record.nanoseconds / 1'000'000'000 - FirstSecond));
    }
    return indexes;
}

// One filter and its tcpdump equivalent, as the test runs them.
struct Trial {
    std::string filter;
    std::string tcpdump;
    std::set<std::string> differ; // categories where the selections differ
};

std::set<std::string> Categories(const std::string& field) {
    std::istringstream words(field == "none" ? "" : field);
    return {std::istream_iterator<std::string>(words), std::istream_iterator<std::string>()};
}

// Each row, and its negation where the row gives the categories for it.
std::vector<Trial> Trials() {
    std::vector<Trial> trials;
    for (const GoldenRow& row : ReadGolden("filter-differential.txt", 4)) {
        const auto& f = row.fields;
        trials.push_back({f[0], f[1], Categories(f[2])});
        if (f[3] != "-") {
            trials.push_back({"not (" + f[0] + ")", "not (" + f[1] + ")", Categories(f[3])});
        }
    }
    return trials;
}

struct Selections {
    std::set<std::size_t> ours;
    std::set<std::size_t> theirs;
    std::string failure; // why a program did not select, if one did not
};

Selections Select(const Trial& trial, const std::string& ours, const std::string& theirs) {
    Selections selections;
    const auto run = RunQndis({"read", CorpusPcap, "--no-lines", "-w", ours, "-f", trial.filter});
    const auto reference = RunProgram({"tcpdump", "-r", CorpusPcap, "-w", theirs, trial.tcpdump});
    if (run.status != 0 || reference.status != 0) {
        selections.failure = "qndis: " + run.err + "\ntcpdump: " + reference.err;
        return selections;
    }
    selections.ours = Indexes(ours);
    selections.theirs = Indexes(theirs);
    return selections;
}

void Compare(const Trial& trial, const Selections& selections,
             const std::vector<CorpusFrame>& corpus) {
    SCOPED_TRACE(trial.filter + "  vs tcpdump  " + trial.tcpdump);
    ASSERT_TRUE(selections.failure.empty()) << selections.failure;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < corpus.size(); ++i) {
        if (selections.ours.count(i) == selections.theirs.count(i)) {
            continue;
        }
        const CorpusFrame& frame = corpus[i];
        seen.insert(frame.category);
        EXPECT_TRUE(trial.differ.count(frame.category) != 0)
            << "frame " << i << " (" << frame.category << ":" << frame.name << ") "
            << (selections.ours.count(i) != 0 ? "passed by qndis only" : "passed by tcpdump only");
    }
    for (const std::string& category : trial.differ) {
        EXPECT_TRUE(seen.count(category) != 0)
            << "no " << category << " frame differs any more; drop it from the case";
    }
}

// The programs spend most of their time starting up and waiting, so several
// trials run at once.
constexpr std::size_t TrialsAtOnce = 8;

TEST(FilterDifferential, EveryWordNegatedAndCombinedSelectsLikeTcpdump) {
    if (!ProgramExists("tcpdump")) {
        GTEST_SKIP() << "tcpdump is not installed";
    }
    const std::vector<CorpusFrame> corpus = ReadIndex();
    ASSERT_EQ(corpus.size(), 42U);
    ASSERT_EQ(ReadPcap(CorpusPcap).size(), corpus.size());
    ScratchDirectory scratch;
    const std::vector<Trial> trials = Trials();
    for (std::size_t first = 0; first < trials.size(); first += TrialsAtOnce) {
        std::vector<std::future<Selections>> running;
        for (std::size_t i = first; i < trials.size() && i < first + TrialsAtOnce; ++i) {
            const std::string slot = std::to_string(i - first);
            running.push_back(std::async(std::launch::async, Select, std::cref(trials[i]),
                                         scratch.Path("qndis" + slot + ".pcap"),
                                         scratch.Path("tcpdump" + slot + ".pcap")));
        }
        for (std::size_t i = 0; i < running.size(); ++i) {
            Compare(trials[first + i], running[i].get(), corpus);
        }
    }
}

} // namespace
