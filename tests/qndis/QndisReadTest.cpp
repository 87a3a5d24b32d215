// `qndis read` over capture files the test writes: frame lines, filters
// against tcpdump's verdict, pcap output and the summary.
#include "tests/qndis/QndisRun.h"
#include "tests/qndis/TestFrames.h"

#include <array>
#include <cstdio>
#include <fstream>
#include <functional>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using namespace qndis::test;
using ::testing::HasSubstr;

struct Kind {
    std::vector<unsigned char> bytes;
    std::string typeName;
    bool udpTo53 = false;
    bool tcp = false;
    bool echoRequest = false;
    bool fromStation1 = false;
};

// One block of the file: every frame type, IPv4 over plain and tagged
// frames. Tagged frames are left out of the tcpdump comparisons, which need
// a different expression for them.
std::vector<Kind> Block() {
    const auto udp = Ipv4Packet(Udp, 1, 2, 1024, 53);
    const auto tcp = Ipv4Packet(Tcp, 3, 2, 40000, 80);
    const auto icmp = Ipv4Packet(Icmp, 1, 2, 8, 0);
    std::vector<unsigned char> raw(46, 0x11);
    raw[0] = raw[1] = 0xFF;
    const std::vector<unsigned char> data(46, 0x22);
    return {
        {EthernetFrame(2, "0800", udp, 1, 2), "Ethernet II", true, false, false, true},
        {EthernetFrame(2, "0800", udp, 1, 2), "Ethernet II", true, false, false, true},
        {EthernetFrame(2, "0800", tcp, 3, 2), "Ethernet II", false, true, false, false},
        {EthernetFrame(2, "0800", icmp, 1, 2), "Ethernet II", false, false, true, true},
        {EthernetFrame(1, "", raw, 1, 2), "Ethernet 802.3", false, false, false, true},
        {EthernetFrame(3, "080007809B", data, 3, 2), "Ethernet SNAP", false, false, false, false},
        {EthernetFrame(4, "42", data, 3, 2), "Ethernet 802.2 type I", false, false, false, false},
        {EthernetFrame(5, "E0", data, 1, 2), "Ethernet 802.2 type II", false, false, false, true},
    };
}

constexpr int Blocks = 25;
constexpr std::uint64_t FirstStamp = 1'700'000'000'000'000'007ULL;

class QndisRead : public ::testing::Test {
protected:
    void SetUp() override {
        const std::vector<Kind> block = Block();
        for (const Kind& kind : block) {
            ASSERT_FALSE(kind.bytes.empty()) << kind.typeName;
        }
        for (int b = 0; b < Blocks; ++b) {
            for (const Kind& kind : block) {
                m_kinds.push_back(kind);
                m_records.push_back({kind.bytes, FirstStamp + m_records.size() * 1'000'003ULL});
            }
        }
        m_file = m_scratch.Path("mixed.pcap");
        WritePcap(m_file, m_records);
    }

    std::vector<PcapRecord> Selected(const std::function<bool(const Kind&)>& wanted) const {
        std::vector<PcapRecord> selected;
        for (std::size_t i = 0; i < m_records.size(); ++i) {
            if (wanted(m_kinds[i])) {
                selected.push_back(m_records[i]);
            }
        }
        return selected;
    }

    ScratchDirectory m_scratch;
    std::string m_file;
    std::vector<Kind> m_kinds;
    std::vector<PcapRecord> m_records;
};

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

TEST_F(QndisRead, ShowsOneClassifiedLinePerFrame) {
    const auto result = RunQndis({"read", m_file});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), m_records.size());
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_THAT(lines[i], HasSubstr(m_kinds[i].typeName)) << i;
        char fraction[16];
        std::snprintf(fraction, sizeof fraction, ".%09u ",
                      static_cast<unsigned>(m_records[i].nanoseconds % 1'000'000'000));
        EXPECT_THAT(lines[i], HasSubstr(fraction)) << i;
    }
    EXPECT_THAT(lines[0], HasSubstr("02:00:00:00:00:01 -> 02:00:00:00:00:02  0800  "));
    EXPECT_THAT(lines[0], HasSubstr("10.0.0.1 -> 10.0.0.2 UDP 1024 -> 53"));
    EXPECT_THAT(lines[2], HasSubstr("10.0.0.3 -> 10.0.0.2 TCP 40000 -> 80"));
    EXPECT_THAT(lines[3], HasSubstr("ICMP type 8 code 0"));
    EXPECT_THAT(result.err, HasSubstr(std::to_string(m_records.size()) + " frames;"));
    EXPECT_THAT(result.err, HasSubstr("Ethernet SNAP"));
}

struct FilterCase {
    std::string filter;
    std::string tcpdump; // the same selection in tcpdump's language
    std::function<bool(const Kind&)> wanted;
};

const std::vector<FilterCase>& FilterCases() {
    static const std::vector<FilterCase> cases{
        {"dst port 53", "udp dst port 53", [](const Kind& k) { return k.udpTo53; }},
        // The raw 802.3 frames' data has 17 where IPv4 has its protocol; the
        // word means an IPv4 frame, so they stay out.
        {"ipproto udp", "ip and udp", [](const Kind& k) { return k.udpTo53; }},
        {"proto ip and ipproto tcp", "ip proto 6", [](const Kind& k) { return k.tcp; }},
        {"icmp type 8", "icmp[0] = 8", [](const Kind& k) { return k.echoRequest; }},
        {"src mac 02:00:00:00:00:01", "ether src 02:00:00:00:00:01",
         [](const Kind& k) { return k.fromStation1; }},
        {"not src ip 10.0.0.1 and proto ip", "ip and not src host 10.0.0.1",
         [](const Kind& k) { return k.tcp; }},
    };
    return cases;
}

TEST_F(QndisRead, FilterAndPcapOutputSelectTheSameFramesAsTcpdump) {
    const bool haveTcpdump = ProgramExists("tcpdump");
    for (const FilterCase& c : FilterCases()) {
        SCOPED_TRACE(c.filter);
        const std::string out = m_scratch.Path("out.pcap");
        const auto result = RunQndis({"read", m_file, "-q", "-f", c.filter, "-w", out});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_TRUE(result.out.empty());
        const auto expected = Selected(c.wanted);
        ASSERT_FALSE(expected.empty());
        const auto written = ReadPcap(out);
        ASSERT_EQ(written.size(), expected.size());
        for (std::size_t i = 0; i < written.size(); ++i) {
            EXPECT_EQ(written[i].bytes, expected[i].bytes) << i;
            EXPECT_EQ(written[i].nanoseconds, expected[i].nanoseconds) << i;
        }
        EXPECT_THAT(result.err,
                    HasSubstr(std::to_string(expected.size()) + " frames matched the filter, of " +
                              std::to_string(m_records.size())));
        if (haveTcpdump) {
            // tcpdump prints several lines for some frames: count what it
            // selects by letting it write them.
            const std::string selected = m_scratch.Path("tcpdump.pcap");
            const auto reference = RunProgram({"tcpdump", "-r", m_file, "-w", selected, c.tcpdump});
            ASSERT_EQ(reference.status, 0) << reference.err;
            const auto byTcpdump = ReadPcap(selected);
            ASSERT_EQ(byTcpdump.size(), written.size());
            for (std::size_t i = 0; i < written.size(); ++i) {
                EXPECT_EQ(byTcpdump[i].bytes, written[i].bytes) << i;
            }
            const auto reread = RunProgram({"tcpdump", "-r", out, "-w", selected});
            EXPECT_EQ(reread.status, 0) << "tcpdump reads our file: " << reread.err;
            EXPECT_EQ(ReadPcap(selected).size(), written.size());
        }
        // What was written reads back through qndis as the same frames.
        const auto again = RunQndis({"read", out, "-q"});
        EXPECT_THAT(again.err, HasSubstr(std::to_string(expected.size()) + " frames;"));
    }
}

TEST_F(QndisRead, AStoredFilterSelectsLikeItsText) {
    const std::string stored = m_scratch.Path("filter");
    ASSERT_EQ(RunQndis({"filter", "save", "dst port 53 or icmp type 8", stored}).status, 0);
    const auto byText = RunQndis({"read", m_file, "-f", "dst port 53 or icmp type 8"});
    const auto byFile = RunQndis({"read", m_file, "--filter-file", stored});
    const auto byWords = RunQndis({"read", m_file, "dst", "port", "53", "or", "icmp type 8"});
    EXPECT_EQ(byWords.out, byText.out);
    ASSERT_EQ(byFile.status, 0) << byFile.err;
    EXPECT_EQ(byFile.out, byText.out);
    EXPECT_EQ(Lines(byFile.out).size(), static_cast<std::size_t>(3 * Blocks));
}

TEST_F(QndisRead, CountStopsAfterThatManyMatchingFrames) {
    const auto result = RunQndis({"read", m_file, "-c", "4", "-f", "proto ip and ipproto udp"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 4U);
    for (const std::string& line : lines) {
        EXPECT_THAT(line, HasSubstr(" UDP "));
    }
}

TEST_F(QndisRead, ReadsPcapngLikePcap) {
    if (!ProgramExists("editcap")) {
        GTEST_SKIP() << "editcap is not installed";
    }
    const std::string next = m_scratch.Path("mixed.pcapng");
    ASSERT_EQ(RunProgram({"editcap", "-F", "pcapng", m_file, next}).status, 0);
    const auto fromPcap = RunQndis({"read", m_file});
    const auto fromPcapng = RunQndis({"read", next});
    ASSERT_EQ(fromPcapng.status, 0) << fromPcapng.err;
    EXPECT_EQ(fromPcapng.out, fromPcap.out);
}

TEST_F(QndisRead, AFileOfAnotherLinkTypeIsRefusedByName) {
    if (!ProgramExists("editcap")) {
        GTEST_SKIP() << "editcap is not installed";
    }
    const std::string path = m_scratch.Path("wireless.pcap");
    ASSERT_EQ(RunProgram({"editcap", "-T", "ieee-802-11", m_file, path}).status, 0);
    const auto result = RunQndis({"read", path});
    EXPECT_EQ(result.status, 1);
    EXPECT_THAT(result.err, HasSubstr("link type 105 (IEEE802_11), which qndis cannot analyse"));
}

} // namespace

namespace {

TEST_F(QndisRead, TheReadmeCaptureExampleCountsAFilesFrames) {
    const auto result = RunProgram({CAPTURE_EXAMPLE_PROGRAM, "file:" + m_file, "1"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto ipv4 = Selected([](const Kind& k) { return k.udpTo53 || k.tcp || k.echoRequest; });
    EXPECT_EQ(result.out, std::to_string(m_records.size()) + " frames, " +
                              std::to_string(ipv4.size()) + " IPv4\n");
}

} // namespace

namespace {

// data/mixed.pcapng: eleven frames written by another program: IPv4 UDP,
// TCP and ICMP, ARP, IPv6, a tagged frame, SNAP carrying IPv4, two 802.2
// frames, a raw 802.3 frame and a 3014-byte frame, longer than a receive
// record holds but read whole.
const std::string CommittedFile = std::string(QNDIS_TEST_DATA) + "/mixed.pcapng";

TEST(QndisCommittedFile, ReadsEveryFrameAndCountsItsTypes) {
    const auto result = RunQndis({"read", CommittedFile});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto lines = Lines(result.out);
    ASSERT_EQ(lines.size(), 11U);
    EXPECT_THAT(lines[5], HasSubstr("Ethernet 802.1q        02:00:00:00:00:01 -> "
                                    "02:00:00:00:00:02  0800  60  10.0.0.1 -> 10.0.0.9 UDP"));
    EXPECT_THAT(lines[5], HasSubstr("UDP 5000 -> 53  vlan 5"));
    EXPECT_THAT(lines[6], HasSubstr("Ethernet SNAP"));
    EXPECT_THAT(lines[6], HasSubstr("UDP 1024 -> 161"));
    EXPECT_THAT(lines[10], HasSubstr("  0800  3014  10.0.0.1 -> 10.0.0.2 UDP 2000 -> 53"));
    for (const char* count : {"11 frames;", "Ethernet 802.3           1\n",
                              "Ethernet II              6\n", "Ethernet SNAP            1\n",
                              "Ethernet 802.2 type I    2\n", "Ethernet 802.1q          1\n"}) {
        EXPECT_THAT(result.err, HasSubstr(count));
    }
}

// Files of each link type, selected by qndis and by tcpdump: the same frames
// with the same stamps come out, in a file of the input's link type. The
// files of other link types are real traffic that link-captures.sh made.
TEST(QndisCommittedFile, FiltersAgreeWithTcpdump) {
    if (!ProgramExists("tcpdump")) {
        GTEST_SKIP() << "tcpdump is not installed";
    }
    const std::string links = std::string(QNDIS_TEST_DATA) + "/links/";
    struct Selection {
        std::string file, filter, expression;
    };
    std::vector<Selection> selections{
        {CommittedFile, "proto 0x0806", "arp"},
        {CommittedFile, "proto 0x86dd", "ip6"},
        {CommittedFile, "dst ip 10.0.0.9", "dst host 10.0.0.9 or (vlan and dst host 10.0.0.9)"},
        {CommittedFile, "dst port 53", "udp dst port 53 or (vlan and udp dst port 53)"},
    };
    for (const char* file : {"cooked", "cooked2", "raw", "null", "loop"}) {
        const std::string path = links + file + ".pcap";
        selections.push_back({path, "", ""});
        selections.push_back({path, "ip6", "ip6"});
        selections.push_back({path, "icmp", "icmp"});
        selections.push_back({path, "udp and (dst port 53 or dst port 5353)",
                              "ip and udp and (dst port 53 or dst port 5353)"});
        selections.push_back({path, "src ip 127.0.0.1 and tcp and src port 8080",
                              "src host 127.0.0.1 and ip and tcp src port 8080"});
    }
    ScratchDirectory scratch;
    const std::string ours = scratch.Path("ours.pcap"), theirs = scratch.Path("theirs.pcap");
    for (const auto& [file, filter, expression] : selections) {
        SCOPED_TRACE(file + ": " + filter);
        std::vector<std::string> arguments{"read", file, "-q", "-w", ours};
        if (!filter.empty()) {
            arguments.insert(arguments.end(), {"-f", filter});
        }
        const auto result = RunQndis(arguments);
        ASSERT_EQ(result.status, 0) << result.err;
        ASSERT_EQ(RunProgram({"tcpdump", "--time-stamp-precision=nano", "-r", file, "-w", theirs,
                              expression})
                      .status,
                  0);
        int ourLinkType = -1;
        int theirLinkType = -2;
        EXPECT_EQ(ReadPcap(ours, &ourLinkType), ReadPcap(theirs, &theirLinkType));
        EXPECT_EQ(ourLinkType, theirLinkType);
    }
}

// pcapng output, chosen by the name or by --pcapng: the same frames, stamps
// and link type as the input, and the interface named after the input.
TEST(QndisCommittedFile, WritesPcapngThatReadsBackAsTheInput) {
    ScratchDirectory scratch;
    const std::string links = std::string(QNDIS_TEST_DATA) + "/links/";
    const struct {
        std::string input, output;
        bool option;
        bool tshark; // it takes seconds to start: asked about two files only
    } cases[] = {
        {CommittedFile, scratch.Path("ethernet.pcapng"), false, true},
        {links + "cooked.pcap", scratch.Path("cooked.out"), true, true},
        {links + "cooked2.pcap", scratch.Path("cooked2.pcapng"), false, false},
        {links + "raw.pcap", scratch.Path("raw.pcapng"), false, false},
        {links + "null.pcap", scratch.Path("null.pcapng"), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        std::vector<std::string> arguments{"read", c.input, "-q", "-w", c.output};
        if (c.option) {
            arguments.push_back("--pcapng");
        }
        const auto result = RunQndis(arguments);
        ASSERT_EQ(result.status, 0) << result.err;
        std::ifstream written(c.output, std::ios::binary);
        std::array<unsigned char, 4> blockType{};
        written.read(reinterpret_cast<char*>(blockType.data()), blockType.size());
        EXPECT_EQ(blockType, (std::array<unsigned char, 4>{0x0A, 0x0D, 0x0D, 0x0A}));
        int inputLinkType = -1;
        int outputLinkType = -2;
        const auto frames = ReadPcap(c.input, &inputLinkType);
        EXPECT_EQ(ReadPcap(c.output, &outputLinkType), frames);
        EXPECT_EQ(outputLinkType, inputLinkType);
        const auto again = RunQndis({"read", c.output, "-q"});
        EXPECT_THAT(again.err, HasSubstr(std::to_string(frames.size()) + " frames;"));
        if (c.tshark && ProgramExists("tshark")) {
            const auto names = RunProgram(
                {"tshark", "-r", c.output, "-T", "fields", "-e", "frame.interface_name"});
            ASSERT_EQ(names.status, 0) << names.err;
            const auto lines = Lines(names.out);
            ASSERT_EQ(lines.size(), frames.size());
            EXPECT_EQ(lines.front(), c.input);
        }
    }
}

} // namespace

namespace {

TEST(QndisVersion, NamesTheProgramAndTheCaptureLibrary) {
    const auto result = RunQndis({"--version"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.out,
                ::testing::MatchesRegex("qndis [0-9]+\\.[0-9]+\\.[0-9]+\nlibpcap version .*\n"));
}

TEST(QndisCommittedFile, CountsOneFrameInTheSingular) {
    const auto result = RunQndis({"read", CommittedFile, "-q", "-c", "1"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_THAT(result.err, HasSubstr("\n1 frame; "));
}

TEST(QndisCommittedFile, WritesToStandardOutputForAPipe) {
    const auto result = RunQndis({"read", CommittedFile, "-f", "dst port 53", "-w", "-"});
    ASSERT_EQ(result.status, 0) << result.err;
    ScratchDirectory scratch;
    const std::string path = scratch.Path("piped.pcap");
    std::ofstream(path, std::ios::binary) << result.out;
    EXPECT_EQ(ReadPcap(path).size(), 3U);
    EXPECT_THAT(result.err, HasSubstr("3 frames matched the filter, of 11"));
}

} // namespace

namespace {

// A file of several records selects the frames every one of them passes.
TEST_F(QndisRead, AStoredFilterSetSelectsWhatAllItsFiltersPass) {
    const std::string first = m_scratch.Path("first"), second = m_scratch.Path("second");
    ASSERT_EQ(RunQndis({"filter", "save", "proto ip", first}).status, 0);
    ASSERT_EQ(RunQndis({"filter", "save", "src ip 10.0.0.1", second}).status, 0);
    const std::string set = m_scratch.Path("set");
    {
        std::ofstream out(set, std::ios::binary);
        out << std::ifstream(first, std::ios::binary).rdbuf()
            << std::ifstream(second, std::ios::binary).rdbuf();
    }
    const auto bySet = RunQndis({"read", m_file, "--filter-file", set});
    const auto byText = RunQndis({"read", m_file, "-f", "proto ip and src ip 10.0.0.1"});
    ASSERT_EQ(bySet.status, 0) << bySet.err;
    EXPECT_EQ(bySet.out, byText.out);
    EXPECT_EQ(Lines(bySet.out).size(), static_cast<std::size_t>(3 * Blocks));
}

} // namespace
