// `qndis filter` end to end: the program's output, files and exit codes.
#include "tests/qndis/QndisRun.h"

#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using qndis::test::RunQndis;
using qndis::test::ScratchDirectory;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

// Filters of every kind, alone and combined; each must describe itself the
// same way before it is stored and after it is read back.
const std::vector<std::string> Filters{
    "src mac 00:a0:c9:14:c8:29",
    "dst mac ff:ff:ff:ff:ff:ff",
    "proto 0x0800",
    "ipproto 6",
    "src ip 10.0.0.1",
    "dst ip < 10.0.0.0",
    "src port > 1023",
    "dst port 80",
    "icmp type 8",
    "contains \"GET \"",
    "contains 08:00 at 12",
    "not (src ip 10.0.0.1 or dst port 53) and ipproto udp",
    "(proto ip and (src port 1024 or dst port != 53)) or contains \"x\" at 0",
};

TEST(QndisFilter, DescribeSaveAndShowAgree) {
    ScratchDirectory scratch;
    for (std::size_t i = 0; i < Filters.size(); ++i) {
        SCOPED_TRACE(Filters[i]);
        const auto described = RunQndis({"filter", "describe", Filters[i]});
        ASSERT_EQ(described.status, 0) << described.err;
        const std::string description = FirstLine(described.out);
        EXPECT_FALSE(description.empty());
        EXPECT_THAT(described.out, HasSubstr("stored as "));

        const std::string path = scratch.Path("filter" + std::to_string(i));
        const auto saved = RunQndis({"filter", "save", Filters[i], path});
        ASSERT_EQ(saved.status, 0) << saved.err;
        EXPECT_THAT(saved.out, HasSubstr(description));

        const auto shown = RunQndis({"filter", "show", path});
        ASSERT_EQ(shown.status, 0) << shown.err;
        EXPECT_EQ(FirstLine(shown.out), description);
        // The outline under the description is the same tree, too.
        EXPECT_THAT(described.out, StartsWith(shown.out));
    }
}

// A content test's description does not change with its negation; the
// outline says "not" for it.
TEST(QndisFilter, TheOutlineShowsANegatedContentTest) {
    const auto described = RunQndis({"filter", "describe", "not vlan and not contains 01"});
    ASSERT_EQ(described.status, 0) << described.err;
    EXPECT_THAT(described.out,
                HasSubstr("    not content: frame contains {0x81, 0x0}at offset 12"));
    EXPECT_THAT(described.out, HasSubstr("    not content: frame contains {0x1}\n"));
    const auto plain = RunQndis({"filter", "describe", "contains 01"});
    EXPECT_THAT(plain.out, HasSubstr("\n  content: frame contains {0x1}\n"));
}

TEST(QndisFilter, FilterWordsMayBeSeparateArguments) {
    const auto joined = RunQndis({"filter", "describe", "src port > 1023 and icmp type 8"});
    const auto split =
        RunQndis({"filter", "describe", "src", "port", ">", "1023", "and", "icmp", "type", "8"});
    ASSERT_EQ(joined.status, 0);
    EXPECT_EQ(joined.out, split.out);
}

TEST(QndisFilter, ShowsEveryRecordOfAFilterSet) {
    ScratchDirectory scratch;
    const std::string first = scratch.Path("a"), second = scratch.Path("b");
    ASSERT_EQ(RunQndis({"filter", "save", "dst port 80", first}).status, 0);
    ASSERT_EQ(RunQndis({"filter", "save", "icmp type 8", second}).status, 0);
    const std::string set = scratch.Path("set");
    {
        std::ofstream out(set, std::ios::binary);
        out << std::ifstream(first, std::ios::binary).rdbuf()
            << std::ifstream(second, std::ios::binary).rdbuf();
    }
    const auto shown = RunQndis({"filter", "show", set});
    ASSERT_EQ(shown.status, 0) << shown.err;
    EXPECT_THAT(shown.out, HasSubstr("filter 1 of 2:"));
    EXPECT_THAT(shown.out, HasSubstr("filter 2 of 2:"));
}

struct ErrorCase {
    std::vector<std::string> arguments;
    int status;
    std::string message; // part of stderr
};

TEST(QndisErrors, AreSentencesWithTheRightExitStatus) {
    ScratchDirectory scratch;
    const std::string damaged = scratch.Path("damaged");
    std::ofstream(damaged, std::ios::binary) << "\x05\x01\xff\xff\xff\x7f";
    const std::string empty = scratch.Path("empty");
    std::ofstream(empty, std::ios::binary).flush();
    const std::string text = scratch.Path("text.pcap");
    std::ofstream(text) << "not a capture\n";

    const std::vector<ErrorCase> cases{
        {{}, 2, "usage: qndis COMMAND"},
        {{"frobnicate"}, 2, "unknown command 'frobnicate'"},
        {{"filter"}, 2, "missing filter command"},
        {{"filter", "describe"}, 2, "missing argument"},
        {{"filter", "describe", "src ip 10.0.0.x and dst port 80"},
         2,
         "cannot be read at column 8: '10.0.0.x' is not an IPv4 address"},
        {{"filter", "describe", "dst port 80 and"}, 2, "at column 16"},
        {{"filter", "describe", "(dst port 80"}, 2, "expected ')'"},
        {{"filter", "show", scratch.Path("missing")}, 1, "cannot open the filter file"},
        {{"filter", "show", damaged}, 1, "is not a filter file: the record at byte 0"},
        {{"filter", "show", empty}, 1, "is empty"},
        {{"filter", "save", "dst port 80", scratch.Path("no/such/dir")},
         1,
         "cannot create the filter file"},
        {{"read", scratch.Path("missing.pcap")}, 1, "cannot read"},
        {{"read", text}, 1, "is not a capture file libpcap can read"},
        {{"read", text, "-c", "many"}, 2, "'--count' needs a whole number"},
        {{"read", text, "-f", "dst port 80", "--filter-file", damaged}, 2, "give the filter once"},
        {{"read", text, "--bogus"}, 2, "unknown option '--bogus'"},
        {{"read", text, "-f", "dst port 80", "icmp"}, 2, "give the filter once"},
        {{"read"}, 2, "missing argument"},
        {{"read", std::string(QNDIS_TEST_DATA) + "/mixed.pcapng", "-q", "-w", "/dev/full"},
         1,
         "cannot write '/dev/full': No space left on device."},
        {{"capture"}, 2, "capture needs an adapter"},
        {{"send", "-i", "lo", "--type", "9"}, 2, "'--type' needs a whole number from 1 to 7"},
        {{"send", "-i", "lo", "--type", "2", "--src", "00:11", "--dst", "ff:ff:ff:ff:ff:ff",
          "--proto", "0800"},
         2,
         "'00:11' is not a hardware address"},
    };
    for (const ErrorCase& c : cases) {
        std::string shown;
        for (const std::string& argument : c.arguments) {
            shown += argument + ' ';
        }
        SCOPED_TRACE(shown);
        const auto result = RunQndis(c.arguments);
        EXPECT_EQ(result.status, c.status);
        EXPECT_THAT(result.err, HasSubstr(c.message));
        EXPECT_TRUE(result.out.empty()) << result.out;
    }
}

TEST(QndisErrors, AMalformedFilterIsShownWithAMarkUnderItsColumn) {
    const auto result = RunQndis({"filter", "describe", "src ip 10.0.0.x"});
    EXPECT_THAT(result.err, HasSubstr("\n  src ip 10.0.0.x\n         ^"));
}

qndis::test::QndisResult ShowFilterFile(const ScratchDirectory& scratch,
                                        const std::string& content) {
    const std::string path = scratch.Path("filter.txt");
    std::ofstream(path, std::ios::binary) << content;
    return RunQndis({"filter", "show", path});
}

// A filter file may hold the filter as text: comments and line breaks are
// read as blanks, and it selects what the same words on the command line do.
TEST(QndisFilter, TextFilterFilesReadLikeTheirWords) {
    const struct {
        std::string file;
        std::string words;
    } cases[] = {
        {"dst port 53\n", "dst port 53"},
        {"# resolvers only\nudp\n  and dst port 53   # the port\n", "udp and dst port 53"},
        {"not (arp or\r\n  ip6)\r\n", "not (arp or ip6)"},
        {"contains \"#x\\\"#\" # the quoted # stays\n", "contains \"#x\\\"#\""},
        {"\tvlan", "vlan"},
    };
    ScratchDirectory scratch;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto shown = ShowFilterFile(scratch, c.file);
        ASSERT_EQ(shown.status, 0) << shown.err;
        const auto described = RunQndis({"filter", "describe", c.words});
        EXPECT_THAT(described.out, StartsWith(shown.out));
    }
}

TEST(QndisFilter, AMalformedTextFilterFileNamesLineAndColumn) {
    const struct {
        std::string file;
        std::string message;
    } cases[] = {
        {"udp\nand dst port 99999\n",
         "cannot be read at line 2, column 14: '99999' is not a port number (0 to 65535).\n"
         "  and dst port 99999\n"
         "               ^"},
        {"udp and\n# more to come\n\n",
         "at line 1, column 8: expected a filter, found the end of the filter.\n  udp and\n"
         "         ^"},
        {"# nothing yet\n   \n", "holds no filter, only comments"},
        // Of a long line, the part around the mark.
        {std::string(200, ' ') + "udp or x" + std::string(200, ' ') + "\n",
         "column 208: unknown filter 'x'; a filter starts with src, dst, ether, host, net, "
         "port, proto, ipproto, ip, arp, tcp, udp, icmp, vlan, contains, not or '('.\n  ..." +
             std::string(29, ' ') + "udp or x" + std::string(35, ' ') + "...\n  " +
             std::string(39, ' ') + "^"},
        {"contains \"x\n", "line 1, column 10: the string that starts here has no closing"},
    };
    ScratchDirectory scratch;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        const auto shown = ShowFilterFile(scratch, c.file);
        EXPECT_EQ(shown.status, 1);
        EXPECT_THAT(shown.err, HasSubstr(c.message));
        EXPECT_TRUE(shown.out.empty());
    }
}

} // namespace
