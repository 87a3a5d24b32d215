// The analyser's own parsing and formatting, below the command level.
#include "qndislib/qndislib.h"
#include "tests/qndis/TestFrames.h"
#include "tools/qndis/CommandLine.h"
#include "tools/qndis/FrameLine.h"
#include "tools/qndis/ToolError.h"

#include <array>
#include <cstdlib>
#include <ctime>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

using namespace qndis::tool;
using ::testing::HasSubstr;

constexpr std::array<OptionSpec, 3> Options{{
    {"count", 'c', true},
    {"quiet", 'q', false},
    {"filter", 'f', true},
}};

TEST(CommandLineTest, OptionsMayStandAnywhereAndTakeTheirValueEveryWay) {
    const std::vector<std::string> arguments{"a",  "-c5", "--filter=dst port 80", "b", "-q", "--",
                                             "-c", "7"};
    const CommandLine line(arguments, Options);
    EXPECT_EQ(line.Operands(), (std::vector<std::string>{"a", "b", "-c", "7"}));
    EXPECT_EQ(line.Integer("count", 1, 10), 5);
    EXPECT_EQ(line.Value("filter"), "dst port 80");
    EXPECT_TRUE(line.Has("quiet"));
    EXPECT_FALSE(CommandLine(std::vector<std::string>{"x"}, Options).Has("quiet"));
}

TEST(CommandLineTest, MistakesAreUsageErrorsNamingTheOption) {
    struct Case {
        std::vector<std::string> arguments;
        std::string message;
    };
    const std::vector<Case> cases{
        {{"--bogus"}, "unknown option '--bogus'"},
        {{"-x"}, "unknown option '-x'"},
        {{"-f"}, "option '--filter' needs a value"},
        {{"--quiet=yes"}, "option '--quiet' takes no value"},
    };
    for (const Case& c : cases) {
        try {
            const CommandLine line(c.arguments, Options);
            ADD_FAILURE() << c.message << ": accepted";
        } catch (const UsageError& error) {
            EXPECT_THAT(error.what(), HasSubstr(c.message));
            EXPECT_EQ(error.ExitCode(), ExitUsage);
        }
    }
    for (const char* count : {"0", "11", "5x", "", "-1"}) {
        const CommandLine line(std::vector<std::string>{"-c", count}, Options);
        EXPECT_THROW(line.Integer("count", 1, 10), UsageError) << count;
    }
    const CommandLine two(std::vector<std::string>{"a", "b"}, Options);
    EXPECT_THROW(two.ExpectOperands(1, 1, "x"), UsageError);
    EXPECT_THROW(two.ExpectOperands(3, 3, "x"), UsageError);
    EXPECT_NO_THROW(two.ExpectOperands(2, 2, "x"));
}

class FrameLineTest : public ::testing::Test {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    std::unique_ptr<CMediaInfo> m_medium{CreateMedium("Ethernet")};
};

TEST_F(FrameLineTest, ShowsTheAnalysisAndTheIPv4Header) {
    ASSERT_NE(m_medium, nullptr);
    const FrameTypeNames names(*m_medium);
    EXPECT_EQ(names.Count(), 7);
    EXPECT_STREQ(names.Name(2), "Ethernet II");
    EXPECT_STREQ(names.Name(0), "Unknown");
    EXPECT_STREQ(names.Name(99), "Unknown");

    struct Case {
        std::vector<unsigned char> bytes;
        std::string expected;
    };
    using qndis::test::EthernetFrame;
    using qndis::test::Ipv4Packet;
    const std::vector<Case> cases{
        {EthernetFrame(2, "0800", Ipv4Packet(qndis::test::Udp, 1, 2, 1024, 53), 1, 2),
         "Ethernet II            02:00:00:00:00:01 -> 02:00:00:00:00:02  0800  60  "
         "10.0.0.1 -> 10.0.0.2 UDP 1024 -> 53\n"},
        {EthernetFrame(6, "0800", Ipv4Packet(qndis::test::Icmp, 3, 4, 8, 0), 1, 2),
         "Ethernet 802.1q        02:00:00:00:00:01 -> 02:00:00:00:00:02  0800  64  "
         "10.0.0.3 -> 10.0.0.4 ICMP type 8 code 0  vlan 1\n"},
        {EthernetFrame(4, "42", std::vector<unsigned char>(46, 1), 1, 2),
         "Ethernet 802.2 type I  02:00:00:00:00:01 -> 02:00:00:00:00:02  42  63\n"},
    };
    FrameLine line(names);
    for (const Case& c : cases) {
        CQuorelFrame frame(c.bytes.data(), static_cast<unsigned short>(c.bytes.size()),
                           std::string("Ethernet"));
        ASSERT_TRUE(frame.AnalyzeFrame());
        frame.SetPacketNumber(QWORD(42U));
        const std::string text(line.Format(frame, 1'700'000'003'000'000'123ULL));
        EXPECT_EQ(text, "    42 22:13:23.000000123  " + c.expected);
    }
}

// A header that claims more than the frame holds must not be read past.
TEST_F(FrameLineTest, ATruncatedIPv4HeaderShowsOnlyWhatIsThere) {
    const FrameTypeNames names(*m_medium);
    auto packet = qndis::test::Ipv4Packet(qndis::test::Tcp, 1, 2, 80, 8080);
    packet[0] = 0x4F; // 60-byte header, longer than the packet's transport part
    packet.resize(40);
    const auto bytes = qndis::test::EthernetFrame(2, "0800", packet, 1, 2);
    CQuorelFrame frame(bytes.data(), static_cast<unsigned short>(bytes.size()),
                       std::string("Ethernet"));
    ASSERT_TRUE(frame.AnalyzeFrame());
    FrameLine line(names);
    const std::string text(line.Format(frame, 0));
    EXPECT_THAT(text, HasSubstr("10.0.0.1 -> 10.0.0.2 TCP\n"));
}

} // namespace
