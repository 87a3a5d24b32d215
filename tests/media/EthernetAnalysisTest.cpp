#include "qndislib/media/EthernetInfo.h"

#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

constexpr std::size_t Readable = CEthernetInfo::MaxAnalysedBytes;

// A frame with fixed addresses, `tail` written from byte 12 and zeros up to
// the 62 bytes the unguarded analysis may read.
std::array<unsigned char, Readable> MakeFrame(const Bytes& tail) {
    std::array<unsigned char, Readable> frame{0x02, 0x11, 0x22, 0x33, 0x44, 0x55,
                                              0x00, 0xA0, 0xC9, 0x14, 0xC8, 0x29};
    for (std::size_t i = 0; i < tail.size(); ++i) {
        frame[12 + i] = tail[i];
    }
    return frame;
}

struct AnalysisCase {
    const char* name;
    Bytes tail; // bytes from 12 on
    std::int32_t type;
    int idOffset;
    int idLength;
    int header;
    std::uint16_t tag;
};

const AnalysisCase Cases[] = {
    {"EthernetII", {0x08, 0x00}, 2, 12, 2, 14, 0},
    {"TypeJustAboveLength", {0x05, 0xDD, 0xFF, 0xFF}, 2, 12, 2, 14, 0},
    {"TypeNextToTag", {0x81, 0x01, 0x00, 0x05}, 2, 12, 2, 14, 0},
    {"Raw8023", {0x05, 0xDC, 0xFF, 0xFF}, 1, 0, 0, 14, 0},
    {"Raw8023ZeroLength", {0x00, 0x00, 0xFF, 0xFF}, 1, 0, 0, 14, 0},
    {"AlmostRaw", {0x05, 0xDC, 0xFF, 0xFE, 0x03}, 4, 14, 1, 17, 0},
    {"Snap", {0x00, 0x40, 0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00}, 3, 17, 5, 22, 0},
    {"SnapOtherOrgTagType",
     {0x00, 0x40, 0xAA, 0xAA, 0x03, 0x00, 0x00, 0xF8, 0x81, 0x00},
     3,
     17,
     5,
     22,
     0},
    {"SnapBadControl", {0x00, 0x40, 0xAA, 0xAA, 0x02}, 5, 14, 1, 18, 0},
    {"SapsDiffer", {0x00, 0x40, 0xAA, 0xAB, 0x03}, 4, 14, 1, 17, 0},
    {"Llc1", {0x00, 0x40, 0xE0, 0xE0, 0x03}, 4, 14, 1, 17, 0},
    {"Llc2", {0x00, 0x40, 0xF0, 0xF0, 0x00, 0x00}, 5, 14, 1, 18, 0},
    {"AllZero", {}, 5, 14, 1, 18, 0},
    {"Tagged", {0x81, 0x00, 0x20, 0x05, 0x08, 0x00}, 6, 16, 2, 18, 0x2005},
    {"TaggedBeatsFFFF", {0x81, 0x00, 0xFF, 0xFF, 0x00}, 6, 18, 2, 20, 0xFFFF},
    {"TaggedRouting",
     {0x81, 0x00, 0x10, 0x05, 0x06, 0, 0, 0, 0, 0, 0, 0, 0x86, 0xDD},
     6,
     24,
     2,
     26,
     0x1005},
    {"TaggedLongestRouting", {0x81, 0x00, 0xF0, 0x01, 0xFF}, 6, 49, 2, 51, 0xF001},
    {"TaggedSnap",
     {0x00, 0x40, 0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x81, 0x00, 0x00, 0x07, 0x00, 0x00, 0x00,
      0x08, 0x00},
     7,
     24,
     5,
     29,
     0x0007},
    {"TaggedSnapRouting",
     {0x00, 0x40, 0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x81, 0x00, 0x30, 0x07, 0x04},
     7,
     30,
     5,
     35,
     0x3007},
    {"TaggedSnapLongestRouting",
     {0x00, 0x40, 0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x81, 0x00, 0x10, 0x01, 0x1F},
     7,
     57,
     5,
     62,
     0x1001},
};

class EthernetAnalysis : public testing::TestWithParam<AnalysisCase> {};

TEST_P(EthernetAnalysis, FillsStateFromHeader) {
    const AnalysisCase& c = GetParam();
    auto frame = MakeFrame(c.tail);
    // Distinct bytes where the identifier sits, so a wrong offset shows.
    for (int i = 0; i < c.idLength; ++i) {
        if (c.idOffset + i >= 12 + static_cast<int>(c.tail.size())) {
            frame[c.idOffset + i] = static_cast<unsigned char>(0xC0 + i);
        }
    }
    // Read from an exactly sized heap copy so an overread past 62 bytes
    // trips the address sanitizer.
    auto exact = std::make_unique<unsigned char[]>(Readable);
    std::copy(frame.begin(), frame.end(), exact.get());

    CEthernetInfo eth;
    eth.AnalyzeFrame(exact.get());
    EXPECT_EQ(eth.GetFrameType(), c.type);
    EXPECT_EQ(eth.GeCProtocolIdOffset(), c.idOffset);
    EXPECT_EQ(eth.GeCProtocolIdLen(), c.idLength);
    EXPECT_EQ(eth.GetHeaderLen(), c.header);
    EXPECT_EQ(eth.GetTagControl(), c.tag);
    EXPECT_EQ(eth.IsVLANFrame(), c.type == 6 || c.type == 7);
    EXPECT_EQ(eth.GetSourceAddress(), CMACAddr("00A0C914C829"));
    EXPECT_EQ(eth.GetDestinationAddress(), CMACAddr("021122334455"));

    std::array<unsigned char, 6> expectedId{};
    for (int i = 0; i < c.idLength; ++i) {
        expectedId[6 - c.idLength + i] = frame[c.idOffset + i];
    }
    EXPECT_EQ(eth.GetProtocolId(), CProtocolId(6, expectedId.data()));

    for (std::int32_t id = 0; id <= 8; ++id) {
        EXPECT_EQ(eth.CheckFrameId(exact.get(), id), id == c.type) << id;
        EXPECT_EQ(eth.CheckFrameId(exact.get(), Readable, id), id == c.type) << id;
    }
}

INSTANTIATE_TEST_SUITE_P(Encapsulations, EthernetAnalysis, testing::ValuesIn(Cases),
                         [](const auto& info) { return info.param.name; });

// A short frame must analyse exactly as if the missing bytes were zero, and
// never be read past its end (the buffers are exactly sized for ASan).
TEST(EthernetShortFrames, ReadMissingBytesAsZero) {
    for (const AnalysisCase& c : Cases) {
        const auto full = MakeFrame(c.tail);
        for (std::size_t length = 0; length < Readable; ++length) {
            auto zeroed = full;
            std::fill(zeroed.begin() + static_cast<std::ptrdiff_t>(length), zeroed.end(), 0);
            CEthernetInfo reference;
            reference.AnalyzeFrame(zeroed.data());

            auto exact = std::make_unique<unsigned char[]>(length);
            std::copy_n(full.begin(), length, exact.get());
            CEthernetInfo eth;
            eth.AnalyzeFrame(exact.get(), length);
            ASSERT_EQ(eth.GetFrameType(), reference.GetFrameType()) << c.name << " " << length;
            ASSERT_EQ(eth.GetHeaderLen(), reference.GetHeaderLen()) << c.name << " " << length;
            ASSERT_EQ(eth.GetProtocolId(), reference.GetProtocolId()) << c.name << " " << length;
            ASSERT_EQ(eth.GetSourceAddress(), reference.GetSourceAddress());
            ASSERT_EQ(eth.GetDestinationAddress(), reference.GetDestinationAddress());
            ASSERT_TRUE(eth.CheckFrameId(exact.get(), length, reference.GetFrameType()));
        }
    }
}

TEST(EthernetShortFrames, NullFrameIsAnEmptyOne) {
    CEthernetInfo eth;
    eth.AnalyzeFrame(nullptr, 100);
    EXPECT_EQ(eth.GetFrameType(), 5);
    EXPECT_EQ(eth.GetDestinationAddress(), CMACAddr::MACNull);
    EXPECT_TRUE(eth.CheckFrameId(nullptr, 0, 5));
}

TEST(EthernetAnalysisState, EachAnalysisOverwritesTheLast) {
    CEthernetInfo eth;
    const auto tagged = MakeFrame({0x81, 0x00, 0x00, 0x05, 0x08, 0x00});
    const auto raw = MakeFrame({0x05, 0xDC, 0xFF, 0xFF});
    eth.AnalyzeFrame(tagged.data());
    eth.AnalyzeFrame(raw.data());
    EXPECT_EQ(eth.GetProtocolId(), CProtocolId());
    EXPECT_EQ(eth.GeCProtocolIdOffset(), 0);
    EXPECT_EQ(eth.GeCProtocolIdLen(), 0);
    EXPECT_EQ(eth.GetTagControl(), 0);

    // Classification alone leaves the last analysis in place.
    EXPECT_TRUE(eth.CheckFrameId(tagged.data(), 6));
    EXPECT_EQ(eth.GetFrameType(), 1);
}

TEST(EthernetAnalysisState, VlanAccessorsSplitTheTag) {
    CEthernetInfo eth;
    const auto frame = MakeFrame({0x81, 0x00, 0xB1, 0x23, 0x08, 0x00});
    eth.AnalyzeFrame(frame.data());
    EXPECT_EQ(eth.GetVLANId(), 0xB1);
    EXPECT_EQ(eth.GetVLANPriority(), 5);
    EXPECT_EQ(eth.GetVLANIdentifier(), 0x123);

    // Stored frames hold clones: the tag has to survive copying.
    std::unique_ptr<CMediaInfo> clone(eth.Clone());
    EXPECT_EQ(static_cast<CEthernetInfo&>(*clone).GetTagControl(), 0xB123);
}

struct DestinationCase {
    const char* destination;
    bool broadcast;
    bool multicast;
};

TEST(EthernetDestination, BroadcastAndMulticast) {
    const DestinationCase cases[] = {
        {"FFFFFFFFFFFF", true, true},
        {"01005E000001", false, true},
        {"001122334455", false, false},
        {"FFFFFFFFFFFE", false, true},
    };
    for (const auto& c : cases) {
        auto frame = MakeFrame({0x08, 0x00});
        std::copy_n(static_cast<const unsigned char*>(CMACAddr(c.destination)), 6, frame.begin());
        CEthernetInfo eth;
        eth.AnalyzeFrame(frame.data());
        EXPECT_EQ(eth.IsBroadcast(), c.broadcast) << c.destination;
        EXPECT_EQ(eth.IsMulticast(), c.multicast) << c.destination;
    }
}

} // namespace
