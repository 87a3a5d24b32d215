// `qndis read` over committed capture files: frame lines, filters against
// tcpdump's verdict, pcap and pcapng output and the summary.
#include "tests/qndis/QndisRun.h"

#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>

namespace {

using namespace qndis::test;
using ::testing::HasSubstr;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        lines.push_back(line);
    }
    return lines;
}

// data/mixed.pcapng: eleven frames written by another program: IPv4 UDP,
// TCP and ICMP, ARP, IPv6, a tagged frame, SNAP carrying IPv4, two 802.2
// frames, a raw 802.3 frame and a 3014-byte frame.
const std::string CommittedFile = std::string(QNDIS_TEST_DATA) + "/mixed.pcapng";
const std::string Links = std::string(QNDIS_TEST_DATA) + "/links/";

// Ways of giving the same filter print the same frames.
TEST(QndisCommittedFile, EveryWayOfGivingAFilterSelectsLikeItsText) {
    ScratchDirectory scratch;
    const std::string stored = scratch.Path("stored"), set = scratch.Path("set"),
                      text = scratch.Path("text");
    ASSERT_EQ(RunQndis({"filter", "save", "dst port 53 or icmp type 8", stored}).status, 0);
    ASSERT_EQ(RunQndis({"filter", "save", "proto ip", set + "1"}).status, 0);
    ASSERT_EQ(RunQndis({"filter", "save", "src ip 10.0.0.1", set + "2"}).status, 0);
    std::ofstream(set, std::ios::binary) << std::ifstream(set + "1", std::ios::binary).rdbuf()
                                         << std::ifstream(set + "2", std::ios::binary).rdbuf();
    // Comments and line breaks of a text filter file read as blanks.
    std::ofstream(text) << "# resolvers\r\n(udp\n and dst port 53) # the port\n"
                           "\tor icmp type 8 or contains \"#x\\\"#\" # the quoted # stays";
    const struct {
        std::vector<std::string> arguments;
        std::string text;
    } cases[] = {
        {{"--filter-file", stored}, "dst port 53 or icmp type 8"},
        {{"--filter-file", text}, "(udp and dst port 53) or icmp type 8 or contains \"#x\\\"#\""},
        {{"dst", "port", "53", "or", "icmp type 8"}, "dst port 53 or icmp type 8"},
        // Of several stored filters, a frame must pass every one.
        {{"--filter-file", set}, "proto ip and src ip 10.0.0.1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        std::vector<std::string> arguments{"read", CommittedFile};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        const auto given = RunQndis(arguments);
        ASSERT_EQ(given.status, 0) << given.err;
        EXPECT_EQ(given.out, RunQndis({"read", CommittedFile, "-f", c.text}).out);
        EXPECT_GE(Lines(given.out).size(), 2U);
    }
    const auto shown = RunQndis({"filter", "show", set});
    EXPECT_THAT(shown.out, HasSubstr("filter 1 of 2:"));
    EXPECT_THAT(shown.out, HasSubstr("filter 2 of 2:"));
    const auto counted =
        RunQndis({"read", CommittedFile, "-c", "2", "-f", "proto ip and ipproto udp"});
    EXPECT_EQ(Lines(counted.out).size(), 2U);
}

TEST(QndisCommittedFile, TheReadmeCaptureExampleCountsAFilesFrames) {
    const auto result = RunProgram({CAPTURE_EXAMPLE_PROGRAM, "file:" + CommittedFile, "1"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto ipv4 = RunQndis({"read", CommittedFile, "-f", "proto ip"});
    EXPECT_EQ(result.out, "11 frames, " + std::to_string(Lines(ipv4.out).size()) + " IPv4\n");
}

// Files of the link types other than Ethernet (real traffic that
// link-captures.sh made), selected by qndis and by tcpdump: the same frames
// with the same stamps come out, in a file of the input's link type.
TEST(QndisCommittedFile, FiltersAgreeWithTcpdump) {
    if (!ProgramExists("tcpdump")) {
        GTEST_SKIP() << "tcpdump is not installed";
    }
    struct Selection {
        std::string file, filter, expression;
    };
    std::vector<Selection> selections;
    for (const char* file : {"cooked", "cooked2", "raw", "null", "loop"}) {
        const std::string path = Links + file + ".pcap";
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
        std::vector<std::string> arguments{"read", file, "--no-lines", "-w", ours};
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

// pcapng output, chosen by the name or by --pcapng, or pcap to a pipe: the
// same frames, stamps and link type as the input, the interface named after
// the input.
TEST(QndisCommittedFile, WritesFilesThatReadBackAsTheInput) {
    ScratchDirectory scratch;
    const struct {
        std::string input, output, option;
        std::array<unsigned char, 4> start;
    } cases[] = {
        {CommittedFile, scratch.Path("ethernet.pcapng"), "--no-lines", {0x0A, 0x0D, 0x0D, 0x0A}},
        {Links + "cooked.pcap", scratch.Path("cooked.out"), "--pcapng", {0x0A, 0x0D, 0x0D, 0x0A}},
        {Links + "raw.pcap", scratch.Path("raw.pcapng"), "--no-lines", {0x0A, 0x0D, 0x0D, 0x0A}},
        {Links + "null.pcap", "-", "--no-lines", {0x4D, 0x3C, 0xB2, 0xA1}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.input);
        const auto result = RunQndis({"read", c.input, c.option, "-w", c.output});
        ASSERT_EQ(result.status, 0) << result.err;
        const std::string written = c.output == "-" ? scratch.Path("piped") : c.output;
        if (c.output == "-") {
            std::ofstream(written, std::ios::binary) << result.out;
        }
        std::array<unsigned char, 4> start{};
        std::ifstream(written, std::ios::binary).read(reinterpret_cast<char*>(start.data()), 4);
        EXPECT_EQ(start, c.start);
        int inputLinkType = -1;
        int outputLinkType = -2;
        EXPECT_EQ(ReadPcap(written, &outputLinkType), ReadPcap(c.input, &inputLinkType));
        EXPECT_EQ(outputLinkType, inputLinkType);
    }
    // tshark takes seconds to start: asked about one file only.
    if (ProgramExists("tshark")) {
        const auto names = RunProgram(
            {"tshark", "-r", cases[0].output, "-T", "fields", "-e", "frame.interface_name"});
        EXPECT_EQ(Lines(names.out), std::vector<std::string>(11, CommittedFile)) << names.err;
    }
}

} // namespace
