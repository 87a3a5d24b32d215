// What the golden frames cannot show: refused builds, the length field's
// width and analysis state.
#include "qndislib/media/EthernetInfo.h"

#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace {

std::unique_ptr<CMediaInfo> Create(const char* shorthand) {
    return std::unique_ptr<CMediaInfo>(CreateMedium(shorthand));
}

TEST(MediaBuild, RefusesUnknownTypesAndBadPayloads) {
    const unsigned char payload[4] = {0x45, 2, 3, 4};
    const struct {
        const char* medium;
        std::int32_t type;
        const unsigned char* payload;
        std::int32_t length;
    } cases[] = {{"Ethernet", 0, payload, 4},     {"Ethernet", 8, payload, 4},
                 {"Ethernet", -1, payload, 4},    {"Ethernet", 2, payload, -1},
                 {"Ethernet", 2, nullptr, 4},     {"Ethernet", 2, payload, 0x7FFFFFFF},
                 {"LinuxCooked", 0, payload, 1},  {"LinuxCooked", 4, payload, 1},
                 {"LinuxCooked2", 4, payload, 1}, {"RawIP", 4, payload, 1},
                 {"Null", 4, payload, 1},         {"Loop", 0, payload, 1},
                 {"RawIP", 1, nullptr, 1},        {"Loop", 1, payload, -1}};
    for (const auto& c : cases) {
        const auto medium = Create(c.medium);
        ASSERT_NE(medium, nullptr) << c.medium;
        std::int32_t length = 99;
        EXPECT_EQ(medium->CreateFrame(length, c.type, c.payload, c.length, CMACAddr("1"),
                                      CMACAddr("2"), CProtocolId("0800")),
                  nullptr)
            << c.medium << " " << c.type << " " << c.length;
        EXPECT_EQ(length, 0);
    }
    // A header-only frame needs no payload at all.
    std::int32_t length = 0;
    std::unique_ptr<unsigned char, void (*)(void*)> frame(
        Create("Ethernet")->CreateFrame(length, 2, nullptr, 0, {}, {}, CProtocolId("0800")),
        ::operator delete);
    EXPECT_NE(frame, nullptr);
    EXPECT_EQ(length, 14);
}

TEST(MediaBuild, EthernetLengthFieldKeepsLow16Bits) {
    const std::vector<unsigned char> payload(70000 - 3);
    std::int32_t length = 0;
    std::unique_ptr<unsigned char, void (*)(void*)> frame(
        CEthernetInfo().CreateFrame(length, 4, payload.data(),
                                    static_cast<std::int32_t>(payload.size()), {}, {},
                                    CProtocolId("42")),
        ::operator delete);
    ASSERT_EQ(length, 70000 + 14);
    EXPECT_EQ(frame.get()[12], (70000 >> 8) & 0xFF);
    EXPECT_EQ(frame.get()[13], 70000 & 0xFF);
}

TEST(EthernetAnalysisState, EachAnalysisOverwritesTheLastAndCopiesKeepTheTag) {
    std::array<unsigned char, CEthernetInfo::MaxAnalysedBytes> tagged{};
    std::array<unsigned char, CEthernetInfo::MaxAnalysedBytes> raw{};
    const unsigned char tag[] = {0x81, 0x00, 0xB1, 0x23, 0x08, 0x00};
    const unsigned char length[] = {0x05, 0xDC, 0xFF, 0xFF};
    std::copy(std::begin(tag), std::end(tag), tagged.begin() + 12);
    std::copy(std::begin(length), std::end(length), raw.begin() + 12);
    CEthernetInfo eth;
    eth.AnalyzeFrame(tagged.data());
    EXPECT_EQ(eth.GetVLANId(), 0xB1);
    EXPECT_EQ(eth.GetVLANPriority(), 5);
    EXPECT_EQ(eth.GetVLANIdentifier(), 0x123);
    const std::unique_ptr<CMediaInfo> clone(eth.Clone());
    EXPECT_EQ(static_cast<CEthernetInfo&>(*clone).GetTagControl(), 0xB123);

    eth.AnalyzeFrame(raw.data());
    EXPECT_EQ(eth.GetProtocolId(), CProtocolId());
    EXPECT_EQ(eth.GeCProtocolIdOffset(), 0);
    EXPECT_EQ(eth.GetTagControl(), 0);
    // Classification alone leaves the last analysis in place.
    EXPECT_TRUE(eth.CheckFrameId(tagged.data(), 6));
    EXPECT_EQ(eth.GetFrameType(), 1);

    eth.AnalyzeFrame(nullptr, 100);
    EXPECT_EQ(eth.GetFrameType(), 5);
    EXPECT_TRUE(eth.CheckFrameId(nullptr, 0, 5));
}

} // namespace
