#include "w32n55/PacketFilterProgram.h"

#include <array>
#include <gtest/gtest.h>
#include <pcap/pcap.h>
#include <vector>

namespace w32n55 {
namespace {

constexpr MacBytes kStation{0x02, 0x00, 0x5E, 0x10, 0x20, 0x30};
constexpr std::uint32_t kSnap = 2000;

std::vector<std::uint8_t> FrameTo(const MacBytes& destination) {
    std::vector<std::uint8_t> frame(60, 0);
    std::copy(destination.begin(), destination.end(), frame.begin());
    return frame;
}

const std::vector<std::uint8_t> kDirected = FrameTo(kStation);
const std::vector<std::uint8_t> kOtherStation = FrameTo({0x02, 0x00, 0x5E, 0x10, 0x20, 0x31});
// Same first four bytes as the station, different last two.
const std::vector<std::uint8_t> kNearStation = FrameTo({0x02, 0x00, 0x5E, 0x10, 0x21, 0x30});
const std::vector<std::uint8_t> kBroadcast = FrameTo({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
const std::vector<std::uint8_t> kMulticast = FrameTo({0x01, 0x00, 0x5E, 0x00, 0x00, 0x01});
// Broadcast in its first four bytes only.
const std::vector<std::uint8_t> kNearBroadcast = FrameTo({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE});

bool Passes(std::uint32_t filter, const std::vector<std::uint8_t>& frame, bool ethernet = true) {
    PacketFilterProgram program(filter, kStation, ethernet, kSnap);
    const bpf_program code = program.Program();
    EXPECT_NE(bpf_validate(code.bf_insns, static_cast<int>(code.bf_len)), 0);
    const auto length = static_cast<u_int>(frame.size());
    return bpf_filter(code.bf_insns, frame.data(), length, length) != 0;
}

struct Case {
    const char* name;
    std::uint32_t filter;
    bool directed, other, near, broadcast, multicast, nearBroadcast;
};

TEST(PacketFilterProgram, PassesByDestinationAsNdisDoes) {
    const Case cases[] = {
        {"nothing", 0x00, false, false, false, false, false, false},
        {"directed", 0x01, true, false, false, false, false, false},
        {"multicast list", 0x02, false, false, false, false, true, true},
        {"all multicast", 0x04, false, false, false, false, true, true},
        {"broadcast", 0x08, false, false, false, true, false, false},
        {"normal", 0x0D, true, false, false, true, true, true},
        {"directed and broadcast", 0x09, true, false, false, true, false, false},
        {"promiscuous", 0x20, true, true, true, true, true, true},
        {"promiscuous and directed", 0x21, true, true, true, true, true, true},
        {"all local", 0x80, true, false, false, true, true, true},
        {"unsupported bits only", 0x1000, false, false, false, false, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Passes(c.filter, kDirected), c.directed);
        EXPECT_EQ(Passes(c.filter, kOtherStation), c.other);
        EXPECT_EQ(Passes(c.filter, kNearStation), c.near);
        EXPECT_EQ(Passes(c.filter, kBroadcast), c.broadcast);
        EXPECT_EQ(Passes(c.filter, kMulticast), c.multicast);
        EXPECT_EQ(Passes(c.filter, kNearBroadcast), c.nearBroadcast);
    }
}

TEST(PacketFilterProgram, PassingFramesKeepTheSnapLength) {
    PacketFilterProgram program(0x01, kStation, true, kSnap);
    const bpf_program code = program.Program();
    const auto length = static_cast<u_int>(kDirected.size());
    EXPECT_EQ(bpf_filter(code.bf_insns, kDirected.data(), length, length), kSnap);
}

TEST(PacketFilterProgram, FramesWithoutAddressesPassAnyNonzeroFilter) {
    EXPECT_TRUE(Passes(0x01, kOtherStation, false));
    EXPECT_TRUE(Passes(0x08, kMulticast, false));
    EXPECT_FALSE(Passes(0x00, kDirected, false));
}

TEST(PacketFilterProgram, RuntFramesNeverPass) {
    const std::vector<std::uint8_t> runt(kStation.begin(), kStation.begin() + 4);
    EXPECT_FALSE(Passes(0x0D, runt));
}

} // namespace
} // namespace w32n55
