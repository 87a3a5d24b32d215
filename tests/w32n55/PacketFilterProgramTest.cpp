#include "w32n55/PacketFilterProgram.h"

#include "tests/support/GoldenFile.h"

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

TEST(PacketFilterProgram, PassesByDestinationAsNdisDoes) {
    const std::vector<std::uint8_t>* frames[] = {&kDirected,  &kOtherStation, &kNearStation,
                                                 &kBroadcast, &kMulticast,    &kNearBroadcast};
    for (const qndis::test::GoldenRow& row :
         qndis::test::ReadGolden("packet-filter-verdicts.txt", 3)) {
        SCOPED_TRACE(row.where);
        ASSERT_EQ(row.fields[2].size(), std::size(frames));
        const auto filter = static_cast<std::uint32_t>(std::stoul(row.fields[1], nullptr, 0));
        for (std::size_t i = 0; i < std::size(frames); ++i) {
            EXPECT_EQ(Passes(filter, *frames[i]), row.fields[2][i] == '1') << "frame " << i;
        }
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
