#include "qndislib/addr/ProtocolId.h"

#include <array>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> Bytes(const CProtocolId& id) {
    const unsigned char* p = id;
    return {p, p + 6};
}

using V = std::vector<unsigned char>;

struct FormCase {
    std::vector<unsigned char> source;
    std::vector<unsigned char> stored;
    const char* two;
    const char* five;
};

class ProtocolIdForms : public testing::TestWithParam<FormCase> {};

TEST_P(ProtocolIdForms, RightAlignedWithBothTexts) {
    const FormCase& c = GetParam();
    const CProtocolId id(static_cast<int>(c.source.size()), c.source.data());
    EXPECT_EQ(Bytes(id), c.stored);
    EXPECT_STREQ(id.As2Byte(), c.two);
    EXPECT_STREQ(id.As5Byte(), c.five);
}

INSTANTIATE_TEST_SUITE_P(
    Lengths, ProtocolIdForms,
    testing::Values(FormCase{{}, {0, 0, 0, 0, 0, 0}, "0000", "0000000000"},
                    FormCase{{0x06}, {0, 0, 0, 0, 0, 0x06}, "0006", "0000000006"},
                    FormCase{{0x08, 0x00}, {0, 0, 0, 0, 0x08, 0x00}, "0800", "0000000800"},
                    FormCase{{0x01, 0x02, 0x03, 0x04, 0x05},
                             {0, 0x01, 0x02, 0x03, 0x04, 0x05},
                             "0405",
                             "0102030405"},
                    FormCase{{0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF},
                             {0xAA, 0xBB, 0xCC, 0xDD, 0xEE, 0xFF},
                             "EEFF",
                             "BBCCDDEEFF"}));

TEST(ProtocolId, TextLandsRightAligned) {
    const std::array<unsigned char, 2> ip{0x08, 0x00};
    EXPECT_EQ(CProtocolId("0800"), CProtocolId(2, ip.data()));
    EXPECT_EQ(Bytes(CProtocolId("00-00-0c:20:00")), (V{0, 0, 0, 0x0C, 0x20, 0x00}));
    EXPECT_EQ(Bytes(CProtocolId("112233445566778899")), (V{0x11, 0x22, 0x33, 0x44, 0x55, 0x66}));
}

TEST(ProtocolId, SetClearsPreviousBytesAndResetZeroes) {
    const std::array<unsigned char, 5> snap{0x00, 0x00, 0x0C, 0x20, 0x00};
    const std::array<unsigned char, 1> sap{0x42};
    CProtocolId id(5, snap.data());
    id.Set(1, sap.data());
    EXPECT_EQ(Bytes(id), (V{0, 0, 0, 0, 0, 0x42}));
    id.Reset();
    EXPECT_EQ(id, CProtocolId());
}

TEST(ProtocolId, OutOfRangeLengthStaysInsideTheSixBytes) {
    const std::array<unsigned char, 8> raw{1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(Bytes(CProtocolId(8, raw.data())), (V{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(Bytes(CProtocolId(-1, raw.data())), (V{0, 0, 0, 0, 0, 0}));
}

TEST(ProtocolId, TextBuffersBelongToTheOperation) {
    const CProtocolId first("0800");
    const CProtocolId second("86DD");
    const char* text = first.As2Byte();
    const char* five = first.As5Byte();
    EXPECT_EQ(second.As2Byte(), text);
    EXPECT_STREQ(text, "86DD");
    // The other operation's buffer is untouched by that call.
    EXPECT_STREQ(five, "0000000800");
}

TEST(ProtocolId, EqualityComparesBytesNotPointers) {
    EXPECT_TRUE(CProtocolId("0800") == CProtocolId("0800"));
    EXPECT_TRUE(CProtocolId("0800") != CProtocolId("0806"));
}

} // namespace
