#include "qndislib/addr/QWORD.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>
#include <limits>
#include <string>

namespace {

constexpr std::uint64_t Max = std::numeric_limits<std::uint64_t>::max();

std::uint64_t Bits(const QWORD& q) {
    return (std::uint64_t{q.GetHi()} << 32) | q.GetLo();
}

TEST(QWORD, ConstructionForms) {
    EXPECT_EQ(QWORD(1, 2).GetHi(), 1U);
    EXPECT_EQ(QWORD(1, 2).GetLo(), 2U);
    EXPECT_EQ(Bits(QWORD(1, 2)), 4294967298U);
    EXPECT_EQ(Bits(QWORD(5)), 5U);
    EXPECT_EQ(Bits(QWORD(std::uint32_t{0xFFFFFFFF})), 0xFFFFFFFFU);
    EXPECT_EQ(Bits(QWORD(std::int64_t{-1})), Max);
    EXPECT_EQ(Bits(QWORD(-2)), Max - 1);
    EXPECT_EQ(Bits(QWORD(0x123456789ULL)), 0x123456789U);
    const std::array<unsigned char, 8> le{0x08, 0x07, 0x06, 0x05, 0x04, 0x03, 0x02, 0x01};
    EXPECT_EQ(QWORD(le.data()).GetLo(), 0x05060708U);
    EXPECT_EQ(QWORD(le.data()).GetHi(), 0x01020304U);
    // The memory image is a little-endian 64-bit integer: low half first.
    const QWORD value(0x01020304, 0x05060708);
    std::array<unsigned char, 8> image{};
    std::memcpy(image.data(), &value, sizeof value);
    EXPECT_EQ(image, le);
}

TEST(QWORD, AssignmentReplacesBothHalves) {
    QWORD q(7, 7);
    q = std::uint32_t{3};
    EXPECT_EQ(Bits(q), 3U);
    q = 0x500000001LL;
    EXPECT_EQ(Bits(q), 0x500000001U);
}

TEST(QWORD, CarryAndBorrowCrossTheHalves) {
    QWORD q(std::uint32_t{0xFFFFFFFF});
    q += std::uint32_t{1};
    EXPECT_EQ(q.GetHi(), 1U);
    EXPECT_EQ(q.GetLo(), 0U);
    --q;
    EXPECT_EQ(Bits(q), 0xFFFFFFFFU);
    q -= std::uint32_t{0xFFFFFFFF};
    EXPECT_TRUE(q.IsZero());
    q += std::uint32_t{0xFFFFFFFF};
    EXPECT_EQ(Bits(q), 0xFFFFFFFFU);

    QWORD zero;
    EXPECT_EQ(Bits(--zero), Max);
    EXPECT_TRUE((++zero).IsZero());

    EXPECT_EQ(Bits(QWORD(1, 0) - QWORD(0, 1)), 0xFFFFFFFFU);
    EXPECT_EQ(Bits(QWORD(0, 0xFFFFFFFF) + QWORD(0, 0xFFFFFFFF)), 0x1FFFFFFFEU);
    EXPECT_EQ(Bits(QWORD(0xFFFFFFFF, 0xFFFFFFFF) + QWORD(0, 2)), 1U);
    EXPECT_EQ(Bits(QWORD(0, 0) - QWORD(1, 0)), 0xFFFFFFFF00000000U);
    QWORD sum(2, 0x80000000);
    sum += QWORD(3, 0x80000000);
    EXPECT_EQ(Bits(sum), 0x600000000U);
    sum -= QWORD(0, 1);
    EXPECT_EQ(Bits(sum), 0x5FFFFFFFFU);
    EXPECT_EQ(Bits(QWORD(10) + 5), 15U);
    EXPECT_EQ(Bits(QWORD(10) - 11), Max);
}

TEST(QWORD, ComparisonsOrderHighHalfFirst) {
    const QWORD big(1, 0);
    EXPECT_TRUE(big > std::uint32_t{0xFFFFFFFF});
    EXPECT_TRUE(big >= std::uint32_t{0xFFFFFFFF});
    EXPECT_FALSE(big < std::uint32_t{0xFFFFFFFF});
    EXPECT_TRUE(big != std::uint32_t{0});
    EXPECT_TRUE(QWORD(0, 5) == std::uint32_t{5});
    EXPECT_TRUE(QWORD(0, 5) <= std::uint32_t{5});
    EXPECT_TRUE(QWORD(0, 4) < std::uint32_t{5});
    EXPECT_TRUE(QWORD(0, 0xFFFFFFFF) < QWORD(1, 0));
    EXPECT_TRUE(QWORD(2, 1) > QWORD(1, 0xFFFFFFFF));
    EXPECT_TRUE(QWORD(2, 1) >= QWORD(2, 1));
    EXPECT_TRUE(QWORD(2, 1) <= QWORD(2, 1));
    EXPECT_FALSE(QWORD(2, 1) != QWORD(2, 1));
    EXPECT_TRUE(QWORD(3) == 3);
    EXPECT_TRUE(QWORD(3) < 4ULL);
}

TEST(QWORD, ZeroAndSignedView) {
    EXPECT_TRUE(QWORD().IsZero());
    EXPECT_FALSE(QWORD(1, 0).IsZero());
    EXPECT_FALSE(QWORD(0, 1).IsZero());
    EXPECT_EQ(static_cast<std::int64_t>(QWORD(0x80000000, 0)), INT64_MIN);
    EXPECT_EQ(static_cast<std::int64_t>(QWORD(0, 0xFFFFFFFF)), 0xFFFFFFFF);
}

TEST(QWORD, Doubles) {
    EXPECT_EQ(static_cast<double>(QWORD(1, 0)), 4294967296.0);
    EXPECT_EQ(static_cast<double>(QWORD(0, 0xFFFFFFFF)), 4294967295.0);
    EXPECT_EQ(static_cast<double>(QWORD(0xFFFFFFFF, 0xFFFFFFFF)), 18446744073709551616.0);
    EXPECT_EQ(Bits(dbl2QWORD(4294967298.9)), 4294967298U);
    EXPECT_EQ(Bits(QWORD(12.7)), 12U);
    EXPECT_EQ(Bits(QWORD(9007199254740993.0)), 9007199254740992U);
    // Outside 0 to 2^64-1 the value saturates.
    EXPECT_EQ(Bits(dbl2QWORD(-5.0)), 0U);
    EXPECT_EQ(Bits(dbl2QWORD(1e30)), Max);
    EXPECT_EQ(Bits(dbl2QWORD(std::numeric_limits<double>::quiet_NaN())), 0U);
}

struct ParseCase {
    std::string text;
    std::uint64_t value;
};

class QWORDParse : public testing::TestWithParam<ParseCase> {};

TEST_P(QWORDParse, ReadsOrGivesZero) {
    EXPECT_EQ(Bits(QWORD(GetParam().text)), GetParam().value) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Texts, QWORDParse,
    testing::Values(ParseCase{"0x1", 1}, ParseCase{"0x00000001FFFFFFFF", 0x1FFFFFFFF},
                    ParseCase{"0xffffffffffffffff", Max},
                    ParseCase{"0x123456789ABCDEF01", 0x123456789ABCDEF0}, ParseCase{"0X10", 0},
                    ParseCase{"0xG", 0}, ParseCase{"0x12 4", 0}, ParseCase{"0x", 0},
                    ParseCase{std::string("0x12\0"
                                          "34",
                                          7),
                              0x12},
                    ParseCase{"12.7", 12}, ParseCase{"1e3", 1000}, ParseCase{"", 0},
                    ParseCase{"12abc", 0}, ParseCase{"12 ", 0}, ParseCase{"  42", 42},
                    ParseCase{"+7", 7}, ParseCase{".5", 0}, ParseCase{"4294967296", 0x100000000},
                    ParseCase{"inf", 0}, ParseCase{"nan", 0}, ParseCase{"0x1p4 ", 0},
                    ParseCase{"-0x1p4", 0}, ParseCase{"1e400", Max}, ParseCase{"-3", 0},
                    ParseCase{std::string("5\0", 2), 0}));

TEST(QWORD, DecimalForms) {
    struct Case {
        QWORD value;
        const char* plain;
        const char* grouped;
    };
    const Case cases[] = {
        {QWORD(0), "0", "0"},
        {QWORD(999), "999", "999"},
        {QWORD(1000), "1000", "1 000"},
        {QWORD(123456), "123456", "123 456"},
        {QWORD(1234567), "1234567", "1 234 567"},
        {QWORD(1, 0), "4294967296", "4 294 967 296"},
        {QWORD(0xFFFFFFFF, 0xFFFFFFFF), "18446744073709551616", "18 446 744 073 709 551 616"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.value.AsNumber(false), c.plain);
        EXPECT_EQ(c.value.AsBigInt(), c.plain);
        EXPECT_EQ(c.value.AsNumber(true), c.grouped);
    }
}

TEST(QWORD, DataAmounts) {
    struct Case {
        QWORD value;
        const char* plain;
        const char* grouped;
    };
    const Case cases[] = {
        {QWORD(0), "      0 B", "      0 B"},
        {QWORD(999), "    999 B", "    999 B"},
        {QWORD(1000), "   1.0 K", "   1.0 K"},
        {QWORD(1536), "   1.5 K", "   1.5 K"},
        {QWORD(999999), "1000.0 K", "1 000.0 K"},
        {QWORD(123456789), " 123.5 M", " 123.5 M"},
        {QWORD(999999999999ULL), "1000.0 G", "1 000.0 G"},
        {QWORD(1000000000000ULL), "   1.0 T", "   1.0 T"},
        {QWORD(0xFFFFFFFF, 0xFFFFFFFF), "18446744.1 T", "18 446 744.1 T"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.value.AsData(false), c.plain);
        EXPECT_EQ(c.value.AsData(true), c.grouped);
    }
}

TEST(QWORD, HexAndAddressForms) {
    EXPECT_EQ(QWORD(0).AsHexData(), "0");
    EXPECT_EQ(QWORD(0, 0xFFFFFFFF).AsHexData(), "FFFFFFFF");
    EXPECT_EQ(QWORD(1, 0).AsHexData(), "100000000");
    EXPECT_EQ(QWORD(0x1234, 0xABCD).AsHexData(), "12340000ABCD");
    EXPECT_EQ(QWORD(0x00A0, 0xC914C829).AsMAC(":"), "00:A0:C9:14:C8:29");
    EXPECT_EQ(QWORD(0xFFFF00A0, 0xC914C829).AsMAC(""), "00A0C914C829");
    EXPECT_EQ(QWORD(0x0001, 0x02030405).AsMAC(" - "), "00 - 01 - 02 - 03 - 04 - 05");
}

} // namespace
