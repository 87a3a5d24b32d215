#include "qndislib/addr/HexText.h"

#include <array>
#include <gtest/gtest.h>
#include <string>
#include <utility>
#include <vector>

namespace {

TEST(HexDigit, ValuesAndTheNeighboursOfTheDigitRanges) {
    const std::pair<char, int> cases[] = {
        {'0', 0},
        {'9', 9},
        {'A', 10},
        {'F', 15},
        {'a', 10},
        {'f', 15},
        {' ', -1},
        {'/', -1},
        {':', -1},
        {'@', -1},
        {'G', -1},
        {'`', -1},
        {'g', -1},
        {'\0', -1},
        {static_cast<char>(0xB0), -1},
        {static_cast<char>(0xE1), -1},
    };
    for (const auto& [c, value] : cases) {
        EXPECT_EQ(gethexdigit(c), value) << static_cast<int>(c);
        EXPECT_EQ(ishexdigit(c), value >= 0) << static_cast<int>(c);
    }
}

struct LoadCase {
    const char* text;
    std::vector<unsigned char> expected;
};

class LoadHexStringTest : public testing::TestWithParam<LoadCase> {};

TEST_P(LoadHexStringTest, FillsExactlyCountBytes) {
    const LoadCase& c = GetParam();
    const int count = static_cast<int>(c.expected.size());
    // Guard bytes on both sides catch writes outside the target.
    std::vector<unsigned char> buffer(c.expected.size() + 2, 0xEE);
    LoadHexString(c.text, buffer.data() + 1, count);
    EXPECT_EQ(buffer.front(), 0xEE);
    EXPECT_EQ(buffer.back(), 0xEE);
    EXPECT_EQ(std::vector<unsigned char>(buffer.begin() + 1, buffer.end() - 1), c.expected)
        << '"' << c.text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Texts, LoadHexStringTest,
    testing::Values(LoadCase{"00-A0-C9-14-C8-29", {0x00, 0xA0, 0xC9, 0x14, 0xC8, 0x29}},
                    LoadCase{"00:a0:c9:14:c8:29", {0x00, 0xA0, 0xC9, 0x14, 0xC8, 0x29}},
                    LoadCase{"1:2:3:4:5:6", {0x00, 0x00, 0x00, 0x12, 0x34, 0x56}},
                    LoadCase{"11223344556677", {0x11, 0x22, 0x33, 0x44, 0x55, 0x66}},
                    LoadCase{"0x0800", {0x00, 0x80}}, LoadCase{"abc", {0x0A, 0xBC}},
                    LoadCase{"F", {0x00, 0x0F}}, LoadCase{"", {0x00, 0x00, 0x00}},
                    LoadCase{"xyz -+ \t", {0x00, 0x00}}, LoadCase{"g1h2i3", {0x01, 0x23}},
                    LoadCase{"\xC1\xFF"
                             "12",
                             {0x12}},
                    LoadCase{"fFfF", {0xFF, 0xFF}}));

TEST(LoadHexString, NonPositiveCountLeavesTargetAlone) {
    std::array<unsigned char, 2> target{0x55, 0x66};
    LoadHexString("1234", target.data(), 0);
    LoadHexString("1234", target.data(), -3);
    EXPECT_EQ(target, (std::array<unsigned char, 2>{0x55, 0x66}));
}

TEST(LoadHexString, ClearsStaleBytesBeforeFilling) {
    std::array<unsigned char, 4> target{0xAA, 0xBB, 0xCC, 0xDD};
    LoadHexString("1", target.data(), 4);
    EXPECT_EQ(target, (std::array<unsigned char, 4>{0, 0, 0, 1}));
}

} // namespace
