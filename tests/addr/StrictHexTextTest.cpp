#include "qndislib/addr/StrictHexText.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<unsigned char>;

TEST(StrictHexText, AcceptsExactlyTheTwoForms) {
    EXPECT_EQ(qndis::ParseHexBytes("0800"), (Bytes{0x08, 0x00}));
    EXPECT_EQ(qndis::ParseHexBytes("0x0800"), (Bytes{0x08, 0x00}));
    EXPECT_EQ(qndis::ParseHexBytes("8:0:a"), (Bytes{0x08, 0x00, 0x0A}));
    EXPECT_EQ(qndis::ParseHexBytes("ff-FF.0"), (Bytes{0xFF, 0xFF, 0x00}));
    for (const char* bad : {"", "0x", "080", "08:", ":08", "08::00", "0g", "123:4", "08 00"}) {
        EXPECT_FALSE(qndis::ParseHexBytes(bad)) << '"' << bad << '"';
    }
}

TEST(StrictHexText, MacAddressIsSixBytesInEitherForm) {
    const std::array<unsigned char, 6> expected{0x00, 0xA0, 0xC9, 0x14, 0xC8, 0x29};
    EXPECT_EQ(qndis::ParseMacAddress("00-A0-c9-14-C8-29"), expected);
    EXPECT_EQ(qndis::ParseMacAddress("00a0c914c829"), expected);
    EXPECT_FALSE(qndis::ParseMacAddress("00:a0:c9:14:c8"));
    EXPECT_FALSE(qndis::ParseMacAddress("00a0c914c82901"));
}

} // namespace
