// The analyser's own parsing and formatting, below the command level.
#include "qndislib/qndislib.h"
#include "tests/qndis/TestFrames.h"
#include "tools/qndis/CommandLine.h"
#include "tools/qndis/FrameLine.h"
#include "tools/qndis/ToolError.h"

#include <array>
#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <memory>

namespace {

using namespace qndis::tool;
using namespace qndis::test;

constexpr std::array<OptionSpec, 3> Options{{
    {"count", 'c', true},
    {"quiet", 'q', false},
    {"filter", 'f', true},
}};

TEST(CommandLineTest, OptionsMayStandAnywhereAndNumbersKeepTheirBounds) {
    const CommandLine line(
        std::vector<std::string>{"a", "-c5", "--filter=dst port 80", "b", "-q", "--", "-c", "7"},
        Options);
    EXPECT_EQ(line.Operands(), (std::vector<std::string>{"a", "b", "-c", "7"}));
    EXPECT_EQ(line.Integer("count", 1, 10), 5);
    EXPECT_EQ(line.Value("filter"), "dst port 80");
    EXPECT_TRUE(line.Has("quiet"));
    for (const char* count : {"1", "10", "0", "11", "5x", "", "-1"}) {
        const CommandLine given(std::vector<std::string>{"-c", count}, Options);
        const bool fits = std::string(count) == "1" || std::string(count) == "10";
        if (fits) {
            EXPECT_EQ(given.Integer("count", 1, 10), std::atoi(count));
        } else {
            EXPECT_THROW(given.Integer("count", 1, 10), UsageError) << count;
        }
    }
    const CommandLine two(std::vector<std::string>{"a", "b"}, Options);
    EXPECT_THROW(two.ExpectOperands(1, 1, "x"), UsageError);
    EXPECT_THROW(two.ExpectOperands(3, 3, "x"), UsageError);
    EXPECT_NO_THROW(two.ExpectOperands(2, 2, "x"));
}

std::string Format(const std::vector<unsigned char>& bytes) {
    const std::unique_ptr<CMediaInfo> medium(CreateMedium("Ethernet"));
    const FrameTypeNames names(*medium);
    CQuorelFrame frame(bytes.data(), static_cast<unsigned short>(bytes.size()),
                       std::string("Ethernet"));
    EXPECT_TRUE(frame.AnalyzeFrame());
    frame.SetPacketNumber(QWORD(42U));
    FrameLine line(names);
    return std::string(line.Format(frame, 1'700'000'003'000'000'123ULL));
}

TEST(FrameLineTest, ShowsTheAnalysisAndNoMoreOfTheIPv4HeaderThanIsThere) {
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(Format(EthernetFrame(6, "0800", Ipv4Packet(Icmp, 3, 4, 8, 0), 1, 2)),
              "    42 22:13:23.000000123  Ethernet 802.1q        02:00:00:00:00:01 -> "
              "02:00:00:00:00:02  0800  64  10.0.0.3 -> 10.0.0.4 ICMP type 8 code 0  vlan 1\n");
    auto packet = Ipv4Packet(Tcp, 1, 2, 80, 8080);
    packet[0] = 0x4F; // a 60-byte header, longer than the packet
    packet.resize(40);
    EXPECT_TRUE(
        Format(EthernetFrame(2, "0800", packet, 1, 2)).ends_with("  10.0.0.1 -> 10.0.0.2 TCP\n"));
}

} // namespace
