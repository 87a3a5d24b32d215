// The analyser's frame lines, below the command level.
#include "qndislib/qndislib.h"
#include "tests/qndis/TestFrames.h"
#include "tools/qndis/FrameLine.h"

#include <cstdlib>
#include <ctime>
#include <gtest/gtest.h>
#include <memory>

namespace {

using namespace qndis::tool;
using namespace qndis::test;

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
