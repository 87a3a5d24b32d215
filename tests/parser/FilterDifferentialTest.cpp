// Every word of the filter language, alone, negated and combined, selects
// frames of the committed corpus through `qndis read -w`, and tcpdump
// selects them with the expression that means the same. The selections
// must agree frame by frame, except on the frames of the categories a case
// lists, each for the reason given below; and each listed category must
// really show a difference, so that no stale excuse stays in the table.
#include "tests/qndis/QndisRun.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <future>
#include <gtest/gtest.h>
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
const std::map<std::string, std::string> Reasons{
    {"snap", "the library looks through a SNAP header to the Ethernet type it carries; tcpdump's "
             "ip, arp and their fields see Ethernet II frames only"},
    {"tagged", "the library looks through an 802.1Q tag (and the routing field a set "
               "canonical-format bit announces); tcpdump only behind its 'vlan' word, and reads "
               "no routing field"},
    {"tagged-snap", "the library finds an 802.1Q tag inside a SNAP header; tcpdump sees an 802.3 "
                    "frame there"},
    {"fragment", "the library's filter kinds cannot test the fragment offset: the bytes behind "
                 "the IP header of a non-first fragment are read as its ports or ICMP type, "
                 "while tcpdump skips such fragments"},
    {"truncated", "a test reading past the end of the frame rejects the whole frame in tcpdump, "
                  "also under 'not'; in the library that test is false, so 'not' passes it"},
    {"runt", "the library analyses a frame shorter than an Ethernet header as if zero-padded; "
             "tcpdump rejects it as soon as a test reads past its end, also under 'not'"},
};

struct Case {
    std::string filter;
    std::string tcpdump;
    std::set<std::string> differ;          // categories where the selections differ
    std::set<std::string> differNegated{}; // the same for not (filter)
};

// Each word of the language; its negation is tried as well.
const std::vector<Case> Words{
    {"src mac 02:00:00:00:00:01", "ether src 02:00:00:00:00:01", {}, {"runt"}},
    {"dst mac ff:ff:ff:ff:ff:ff", "ether dst ff:ff:ff:ff:ff:ff", {}, {"runt"}},
    {"src mac != 02:00:00:00:00:01", "not ether src 02:00:00:00:00:01", {"runt"}, {}},
    {"ether host 02:00:00:00:00:02", "ether host 02:00:00:00:00:02", {"runt"}, {"runt"}},
    {"ether src 02:00:00:00:00:02", "ether src 02:00:00:00:00:02", {}, {"runt"}},
    {"ether dst 01:00:5e:00:00:fb", "ether dst 01:00:5e:00:00:fb", {}, {"runt"}},
    {"proto ip",
     "ether proto 0x0800",
     {"snap", "tagged", "tagged-snap"},
     {"runt", "snap", "tagged", "tagged-snap"}},
    {"ip", "ip", {"snap", "tagged", "tagged-snap"}, {"runt", "snap", "tagged", "tagged-snap"}},
    {"arp", "arp", {"snap", "tagged"}, {"runt", "snap", "tagged"}},
    {"proto != arp", "not arp", {"runt", "snap", "tagged"}, {"snap", "tagged"}},
    {"proto ipv6", "ip6", {}, {"runt"}},
    {"vlan", "vlan", {"tagged-snap"}, {"runt", "tagged-snap"}},
    {"proto 0x8100", "vlan", {"tagged-snap"}, {"runt", "tagged-snap"}},
    {"proto 0x42", "stp", {}, {"runt"}},
    {"proto 0x080007809B", "atalk", {}, {"runt"}},
    {"proto 0xE0", "ether[12:2] <= 1500 and ether[14] = 0xe0", {}, {"runt"}},
    {"ipproto 89", "ip proto 89", {}, {"runt", "truncated"}},
    {"ipproto tcp", "ip proto 6", {"tagged"}, {"runt", "tagged", "truncated"}},
    {"tcp", "ip and tcp", {"tagged"}, {"runt", "tagged", "truncated"}},
    {"udp",
     "ip and udp",
     {"snap", "tagged", "tagged-snap"},
     {"runt", "snap", "tagged", "tagged-snap", "truncated"}},
    {"icmp", "icmp", {}, {"runt", "truncated"}},
    {"igmp", "igmp", {}, {"runt", "truncated"}},
    {"icmp type 8", "icmp[icmptype] = icmp-echo", {"fragment"}, {"fragment", "runt", "truncated"}},
    {"icmp type echo-reply", "icmp[icmptype] = icmp-echoreply", {}, {"runt", "truncated"}},
    {"icmp type 3", "icmp[0] = 3", {}, {"runt", "truncated"}},
    {"src ip 10.0.0.1",
     "ip src host 10.0.0.1",
     {"snap", "tagged", "tagged-snap"},
     {"runt", "snap", "tagged", "tagged-snap", "truncated"}},
    {"dst host 10.0.0.2",
     "ip dst host 10.0.0.2",
     {"snap", "tagged", "tagged-snap"},
     {"runt", "snap", "tagged", "tagged-snap", "truncated"}},
    {"host 10.0.0.1",
     "ip host 10.0.0.1",
     {"snap", "tagged", "tagged-snap"},
     {"runt", "snap", "tagged", "tagged-snap", "truncated"}},
    {"dst ip < 10.0.0.5",
     "ip and ip[16:4] < 0x0a000005",
     {"snap", "tagged", "tagged-snap"},
     {"runt", "snap", "tagged", "tagged-snap", "truncated"}},
    {"src ip >= 192.168.0.0",
     "ip and ip[12:4] >= 0xc0a80000",
     {"tagged"},
     {"runt", "tagged", "truncated"}},
    {"dst ip != 10.0.0.2",
     "ip and ip[16:4] != 0x0a000002",
     {"tagged"},
     {"runt", "tagged", "truncated"}},
    {"src ip <= 10.0.0.1",
     "ip and ip[12:4] <= 0x0a000001",
     {"snap", "tagged", "tagged-snap"},
     {"runt", "snap", "tagged", "tagged-snap", "truncated"}},
    {"dst ip > 224.0.0.0", "ip and ip[16:4] > 0xe0000000", {}, {"runt", "truncated"}},
    {"net 10.0.0.0/8",
     "ip net 10.0.0.0/8",
     {"snap", "tagged", "tagged-snap"},
     {"runt", "snap", "tagged", "tagged-snap", "truncated"}},
    {"src net 192.168.0.0/16",
     "ip src net 192.168.0.0/16",
     {"tagged"},
     {"runt", "tagged", "truncated"}},
    {"dst net 224.0.0.0/4", "ip dst net 224.0.0.0/4", {}, {"runt", "truncated"}},
    {"dst net 10.1.2.3", "ip dst net 10.1.2.3/32", {"tagged"}, {"runt", "tagged", "truncated"}},
    {"port 53",
     "ip and (tcp or udp) and port 53",
     {"fragment", "snap", "tagged"},
     {"fragment", "runt", "snap", "tagged", "truncated"}},
    {"dst port 53",
     "ip and (tcp or udp) and dst port 53",
     {"fragment", "snap", "tagged"},
     {"fragment", "runt", "snap", "tagged", "truncated"}},
    {"src port 80", "ip and (tcp or udp) and src port 80", {}, {"runt", "truncated"}},
    {"src port > 1023",
     "ip and (tcp or udp) and src portrange 1024-65535",
     {"fragment", "snap", "tagged", "tagged-snap"},
     {"fragment", "runt", "snap", "tagged", "tagged-snap", "truncated"}},
    {"src port >= 1024",
     "ip and (tcp or udp) and src portrange 1024-65535",
     {"fragment", "snap", "tagged", "tagged-snap"},
     {"fragment", "runt", "snap", "tagged", "tagged-snap", "truncated"}},
    {"src port != 1234",
     "ip and ((tcp and tcp[0:2] != 1234) or (udp and udp[0:2] != 1234))",
     {"fragment", "snap", "tagged", "tagged-snap"},
     {"fragment", "runt", "snap", "tagged", "tagged-snap", "truncated"}},
    {"dst port != 1234",
     "ip and ((tcp and tcp[2:2] != 1234) or (udp and udp[2:2] != 1234))",
     {"fragment", "snap", "tagged", "tagged-snap"},
     {"fragment", "runt", "snap", "tagged", "tagged-snap", "truncated"}},
    {"dst port > 65534", "ip and (tcp or udp) and dst port 65535", {}, {"runt", "truncated"}},
    {"dst port <= 80",
     "ip and (tcp or udp) and dst portrange 0-80",
     {"fragment", "snap", "tagged"},
     {"fragment", "runt", "snap", "tagged", "truncated"}},
    {"src port < 1024", "ip and (tcp or udp) and src portrange 0-1023", {}, {"runt", "truncated"}},
    {"contains 08:06 at 12", "ether[12:2] = 0x0806", {}, {"runt"}},
    {"contains aa:aa:03 at 14",
     "ether[14:2] = 0xaaaa and ether[16] = 3",
     {},
     {"runt", "truncated"}},
    // Anywhere in the frame; tcpdump reads it where the corpus has it, behind
    // the IPv4 and TCP headers of an untagged and of a tagged frame.
    {"contains \"GET \"",
     "(tcp and ip[40:4] = 0x47455420) or (vlan and tcp and ip[40:4] = 0x47455420)",
     {},
     {"runt", "truncated"}},
};

// Words joined: precedence, groups, negated groups and the guards of
// several words meeting in one tree.
const std::vector<Case> Combinations{
    {"tcp and dst port 80", "ip and tcp dst port 80", {"tagged"}},
    {"udp or icmp", "ip and (udp or icmp)", {"snap", "tagged", "tagged-snap"}},
    {"not (arp or ip6)", "not (arp or ip6)", {"runt", "snap", "tagged"}},
    {"host 10.0.0.1 and not port 53",
     "ip host 10.0.0.1 and not (ip and (tcp or udp) and port 53)",
     {"fragment", "tagged-snap", "truncated"}},
    {"vlan and udp", "vlan and ip and udp", {"tagged", "tagged-snap"}},
    {"vlan and not ip", "vlan and not ip", {"tagged"}},
    {"(src net 10.0.0.0/8 or dst net 192.168.0.0/16) and tcp",
     "ip and (src net 10.0.0.0/8 or dst net 192.168.0.0/16) and tcp",
     {}},
    {"ether src 02:00:00:00:00:01 and not ip",
     "ether src 02:00:00:00:00:01 and not ip",
     {"snap", "tagged", "tagged-snap"}},
    {"dst port 53 or icmp type 8",
     "ip and (((tcp or udp) and dst port 53) or icmp[0] = 8)",
     {"fragment", "snap", "tagged"}},
    {"src ip 10.0.0.1 and dst port > 1023",
     "ip src host 10.0.0.1 and (tcp or udp) and dst portrange 1024-65535",
     {"tagged-snap"}},
    {"ip and not tcp and not udp", "ip and not tcp and not udp", {"truncated"}},
    {"icmp and not icmp type 8", "icmp and not icmp[0] = 8", {"fragment", "truncated"}},
    {"ip and not ipproto 6",
     "ip and not ip proto 6",
     {"snap", "tagged", "tagged-snap", "truncated"}},
    {"port 80 or port 53 and not src ip 10.0.0.1",
     "ip and (tcp or udp) and (port 80 or (port 53 and not src host 10.0.0.1))",
     {"tagged"}},
    {"!(dst port 53) && (udp || tcp)",
     "ip and (udp or tcp) and not dst port 53",
     {"fragment", "tagged", "tagged-snap", "truncated"}},
    {"not (src port < 1024 or dst port < 1024) and tcp",
     "ip and tcp and not (src portrange 0-1023 or dst portrange 0-1023)",
     {"truncated"}},
};

struct CorpusFrame {
    std::string category;
    std::string name;
};

std::vector<CorpusFrame> ReadIndex() {
    std::vector<CorpusFrame> frames;
    std::ifstream in(CorpusIndex);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::size_t index = 0;
        CorpusFrame frame;
        fields >> index >> frame.category;
        std::getline(fields, frame.name);
        EXPECT_EQ(index, frames.size()) << line;
        EXPECT_TRUE(frame.category == "plain" || frame.category == "llc" ||
                    Reasons.count(frame.category) != 0)
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
    std::set<std::string> differ;
};

std::vector<Trial> Trials() {
    std::vector<Trial> trials;
    for (const Case& c : Words) {
        trials.push_back({c.filter, c.tcpdump, c.differ});
        trials.push_back({"not (" + c.filter + ")", "not (" + c.tcpdump + ")", c.differNegated});
    }
    for (const Case& c : Combinations) {
        trials.push_back({c.filter, c.tcpdump, c.differ});
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
    const auto run = RunQndis({"read", CorpusPcap, "-q", "-w", ours, "-f", trial.filter});
    const auto reference = RunProgram({"tcpdump", "-r", CorpusPcap, "-w", theirs, trial.tcpdump});
    if (run.status != 0 || reference.status != 0) {
        selections.failure = "qndis: " + run.err + "\ntcpdump: " + reference.err;
        return selections;
    }
    selections.ours = Indexes(ours);
    selections.theirs = Indexes(theirs);
    return selections;
}

struct Tally {
    std::size_t frames = 0;
    std::map<std::string, std::size_t> differences;
};

void Compare(const Trial& trial, const Selections& selections,
             const std::vector<CorpusFrame>& corpus, Tally& tally) {
    SCOPED_TRACE(trial.filter + "  vs tcpdump  " + trial.tcpdump);
    ASSERT_TRUE(selections.failure.empty()) << selections.failure;
    std::set<std::string> seen;
    for (std::size_t i = 0; i < corpus.size(); ++i) {
        if (selections.ours.count(i) == selections.theirs.count(i)) {
            continue;
        }
        const CorpusFrame& frame = corpus[i];
        seen.insert(frame.category);
        ++tally.differences[frame.category];
        EXPECT_TRUE(trial.differ.count(frame.category) != 0)
            << "frame " << i << " (" << frame.category << ":" << frame.name << ") "
            << (selections.ours.count(i) != 0 ? "passed by qndis only" : "passed by tcpdump only");
    }
    for (const std::string& category : trial.differ) {
        EXPECT_TRUE(seen.count(category) != 0)
            << "no " << category << " frame differs any more; drop it from the case";
    }
    tally.frames += corpus.size();
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
    Tally tally;
    for (std::size_t first = 0; first < trials.size(); first += TrialsAtOnce) {
        std::vector<std::future<Selections>> running;
        for (std::size_t i = first; i < trials.size() && i < first + TrialsAtOnce; ++i) {
            const std::string slot = std::to_string(i - first);
            running.push_back(std::async(std::launch::async, Select, std::cref(trials[i]),
                                         scratch.Path("qndis" + slot + ".pcap"),
                                         scratch.Path("tcpdump" + slot + ".pcap")));
        }
        for (std::size_t i = 0; i < running.size(); ++i) {
            Compare(trials[first + i], running[i].get(), corpus, tally);
        }
    }
    std::printf("%zu filters (%zu words, each also negated, and %zu combinations), %zu frame "
                "verdicts compared; expected differences:\n",
                trials.size(), Words.size(), Combinations.size(), tally.frames);
    for (const auto& [category, count] : tally.differences) {
        const auto reason = Reasons.find(category);
        std::printf("  %4zu %s: %s\n", count, category.c_str(),
                    reason != Reasons.end() ? reason->second.c_str() : "UNEXPECTED");
    }
}

} // namespace
