// qndis commands end to end: what each one prints and its exit status.
#include "tests/qndis/QndisRun.h"

#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace qndis::test;
using namespace std::string_literals;
using ::testing::HasSubstr;

// In an argument "$S/" stands for the scratch directory and "$D/" for the
// test data; `file`, when given, is written to $S/file first.
struct CommandCase {
    std::vector<std::string> arguments;
    int status;
    std::string out; // part of standard output; none when it fails
    std::string err; // part of standard error
    std::string file = {};
};

// A pcap file header of an 802.11 capture.
const std::string Wireless = "\xd4\xc3\xb2\xa1\x02\x00\x04\x00"s + std::string(8, '\0') +
                             "\xff\xff\x00\x00\x69\x00\x00\x00"s;
const std::string LongLine = std::string(200, ' ') + "udp or x" + std::string(200, ' ') + "\n";

const CommandCase Cases[] = {
    {{}, 2, "", "usage: qndis COMMAND"},
    {{"frobnicate"}, 2, "", "unknown command 'frobnicate'"},
    {{"--version"}, 0, "\nlibpcap version ", ""},
    {{"filter"}, 2, "", "missing filter command"},
    {{"filter", "describe"}, 2, "", "missing argument"},
    {{"filter", "describe", "src ip 10.0.0.x and dst port 80"},
     2,
     "",
     "cannot be read at column 8: '10.0.0.x' is not an IPv4 address (four numbers 0 to 255 "
     "such as 10.0.0.1).\n  src ip 10.0.0.x and dst port 80\n         ^\n"},
    {{"filter", "describe", "dst port 80 and"}, 2, "", "at column 16"},
    {{"filter", "describe", "(dst port 80"}, 2, "", "expected ')'"},
    // A content test's description does not change with its negation.
    {{"filter", "describe", "not vlan and not contains 01"},
     0,
     "\n  all of:\n    not content: frame contains {0x81, 0x0}at offset 12 (0xc)\n"
     "    not content: frame contains {0xaa, 0xaa, 0x3, 0x0, 0x0, 0x0, 0x81, 0x0}at offset 14 "
     "(0xe)\n    not content: frame contains {0x1}\n",
     ""},
    {{"filter", "describe", "contains 01"}, 0, "\n  content: frame contains {0x1}\n", ""},
    {{"filter", "show", "$S/missing"}, 1, "", "cannot open the filter file"},
    {{"filter", "show", "$S/file"},
     1,
     "",
     "is not a filter file: the record at byte 0",
     "\x05\x01\xff\xff\xff\x7f"},
    {{"filter", "show", "$S/file"}, 1, "", "is empty", ""},
    {{"filter", "save", "dst port 80", "$S/no/such/dir"}, 1, "", "cannot create the filter file"},
    {{"filter", "show", "$S/file"},
     1,
     "",
     "cannot be read at line 2, column 14: '99999' is not a port number (0 to 65535).\n"
     "  and dst port 99999\n               ^",
     "udp\nand dst port 99999\n"},
    {{"filter", "show", "$S/file"},
     1,
     "",
     "at line 1, column 8: expected a filter, found the end of the filter.\n  udp and\n         ^",
     "udp and\n# more to come\n\n"},
    {{"filter", "show", "$S/file"}, 1, "", "holds no filter, only comments", "# nothing\n  \n"},
    // Of a long line, the part around the mark.
    {{"filter", "show", "$S/file"},
     1,
     "",
     "column 208: unknown filter 'x'; a filter starts with src, dst, ether, host, net, port, "
     "proto, ipproto, ip, arp, tcp, udp, icmp, vlan, contains, not or '('.\n  ..." +
         std::string(29, ' ') + "udp or x" + std::string(35, ' ') + "...\n  " +
         std::string(39, ' ') + "^",
     LongLine},
    {{"filter", "show", "$S/file"},
     1,
     "",
     "line 1, column 10: the string that starts here has no closing",
     "contains \"x\n"},
    {{"read", "$S/missing.pcap"}, 1, "", "cannot read"},
    {{"read", "$S/file"}, 1, "", "is not a capture file libpcap can read", "not a capture\n"},
    {{"read", "$S/file"},
     1,
     "",
     "link type 105 (IEEE802_11), which qndis cannot analyse",
     Wireless},
    {{"read", "$D/mixed.pcapng", "-c", "many"}, 2, "", "'--count' needs a whole number"},
    {{"read", "$D/mixed.pcapng", "-f", "udp", "--filter-file", "$S/file"},
     2,
     "",
     "give the filter once"},
    {{"read", "$D/mixed.pcapng", "-f", "dst port 80", "icmp"}, 2, "", "give the filter once"},
    {{"read", "$D/mixed.pcapng", "--bogus"}, 2, "", "unknown option '--bogus'"},
    {{"read", "$D/mixed.pcapng", "--quiet=yes"}, 2, "", "option '--quiet' takes no value"},
    {{"read", "$D/mixed.pcapng", "-f"}, 2, "", "option '--filter' needs a value"},
    {{"read"}, 2, "", "missing argument"},
    {{"read", "$D/mixed.pcapng", "-c", "0"},
     2,
     "",
     "option '--count' needs a whole number from 1 to 9223372036854775807, not '0'."},
    {{"read", "$D/mixed.pcapng", "-c5x"}, 2, "", "not '5x'."},
    {{"read", "--count=1", "$D/mixed.pcapng", "-q"}, 0, "", "\n1 frame; "},
    {{"filter", "show", "$S/file", "more"}, 2, "", "qndis filter show FILE"},
    {{"read", "$D/mixed.pcapng", "-q", "-c", "1"}, 0, "", "\n1 frame; "},
    {{"read", "$D/mixed.pcapng", "-q", "-w", "/dev/full"},
     1,
     "",
     "cannot write '/dev/full': No space left on device."},
    {{"capture"}, 2, "", "capture needs an adapter"},
    {{"send", "-i", "lo", "--type", "9"}, 2, "", "'--type' needs a whole number from 1 to 7"},
    {{"send", "-i", "lo", "--type", "2", "--src", "00:11", "--dst", "ff:ff:ff:ff:ff:ff", "--proto",
      "0800"},
     2,
     "",
     "'00:11' is not a hardware address"},
};

TEST(QndisCommand, PrintsWhatItFoundOrOneSentenceWithTheRightStatus) {
    for (const CommandCase& c : Cases) {
        ScratchDirectory scratch;
        std::ofstream(scratch.Path("file"), std::ios::binary) << c.file;
        std::vector<std::string> arguments = c.arguments;
        std::string shown;
        for (std::string& argument : arguments) {
            if (argument.starts_with("$S/")) {
                argument = scratch.Path(argument.substr(3));
            } else if (argument.starts_with("$D/")) {
                argument = QNDIS_TEST_DATA + argument.substr(2);
            }
            shown += argument + ' ';
        }
        SCOPED_TRACE(shown);
        const auto result = RunQndis(arguments);
        EXPECT_EQ(result.status, c.status);
        EXPECT_THAT(result.out, HasSubstr(c.out));
        EXPECT_THAT(result.err, HasSubstr(c.err));
        EXPECT_TRUE(c.status == 0 || result.out.empty()) << result.out;
    }
}

// Each filter describes itself the same way before it is stored and after
// it is read back, outline and all.
TEST(QndisCommand, DescribeSaveAndShowAgree) {
    ScratchDirectory scratch;
    const std::string path = scratch.Path("filter");
    for (const char* filter :
         {"src mac 00:a0:c9:14:c8:29", "dst ip < 10.0.0.0", "src port > 1023", "icmp type 8",
          "contains \"GET \"", "contains 08:00 at 12",
          "not (src ip 10.0.0.1 or dst port 53) and ipproto udp",
          "(proto ip and (src port 1024 or dst port != 53)) or contains \"x\" at 0"}) {
        SCOPED_TRACE(filter);
        const auto described = RunQndis({"filter", "describe", filter});
        ASSERT_EQ(described.status, 0) << described.err;
        const std::string description = described.out.substr(0, described.out.find('\n'));
        EXPECT_THAT(described.out, HasSubstr("stored as "));
        const auto saved = RunQndis({"filter", "save", filter, path});
        EXPECT_THAT(saved.out, HasSubstr(description));
        const auto shown = RunQndis({"filter", "show", path});
        ASSERT_EQ(shown.status, 0) << shown.err;
        EXPECT_TRUE(described.out.starts_with(shown.out)) << shown.out;
        EXPECT_TRUE(shown.out.starts_with(description + "\n"));
    }
}

} // namespace
