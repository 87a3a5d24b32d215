#include "qndislib/addr/MACAddr.h"

#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

template <int N> std::vector<unsigned char> Bytes(const CRevAddr<N>& addr) {
    const unsigned char* p = addr;
    return {p, p + N};
}

using V = std::vector<unsigned char>;

TEST(RevAddr, NumbersAreStoredInWireOrder) {
    EXPECT_EQ(Bytes(CRevAddr<2>(static_cast<unsigned short>(0x0800))), (V{0x08, 0x00}));
    EXPECT_EQ(Bytes(CRevAddr<2>(0x12345678)), (V{0x56, 0x78}));
    EXPECT_EQ(Bytes(CRevAddr<4>(static_cast<unsigned short>(0x1234))), (V{0, 0, 0x12, 0x34}));
    EXPECT_EQ(Bytes(CRevAddr<4>(0x01020304)), (V{1, 2, 3, 4}));
    EXPECT_EQ(Bytes(CRevAddr<6>(static_cast<unsigned short>(0xABCD))), (V{0, 0, 0, 0, 0xAB, 0xCD}));
    EXPECT_EQ(Bytes(CRevAddr<6>(0x80000000)), (V{0, 0, 0x80, 0, 0, 0}));
    EXPECT_EQ(Bytes(CRevAddr<6>(0x00A0C914C829)), (V{0x00, 0xA0, 0xC9, 0x14, 0xC8, 0x29}));
    EXPECT_EQ(Bytes(CRevAddr<12>(-1)), (V{0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    EXPECT_EQ(Bytes(CRevAddr<12>(static_cast<unsigned short>(0x0102))),
              (V{0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2}));
}

TEST(RevAddr, AssignmentClearsBytesTheNumberDoesNotReach) {
    CRevAddr<6> addr("FFFFFFFFFFFF");
    addr = static_cast<unsigned short>(0x0102);
    EXPECT_EQ(Bytes(addr), (V{0, 0, 0, 0, 1, 2}));
    addr = "AABBCCDDEEFF";
    addr = 0x01020304;
    EXPECT_EQ(Bytes(addr), (V{0, 0, 1, 2, 3, 4}));
}

TEST(RevAddr, ConversionToLongReadsTheLastBytes) {
    EXPECT_EQ(static_cast<std::int32_t>(CRevAddr<2>(static_cast<unsigned short>(0x0800))), 2048);
    EXPECT_EQ(static_cast<std::int32_t>(CRevAddr<2>("FFFF")), 65535);
    EXPECT_EQ(static_cast<std::int32_t>(CRevAddr<4>("80000001")), -2147483647);
    EXPECT_EQ(static_cast<std::int32_t>(CRevAddr<6>("FFFF01020304")), 0x01020304);
    EXPECT_EQ(static_cast<std::int32_t>(CRevAddr<12>("FFFFFFFFFFFFFFFF80000000")), INT32_MIN);
}

TEST(RevAddr, TextForms) {
    const CRevAddr<6> addr("00A0C914C829");
    EXPECT_EQ(static_cast<std::string>(addr), "00-A0-C9-14-C8-29");
    EXPECT_EQ(addr.GetString(""), "00A0C914C829");
    EXPECT_EQ(addr.GetString(":"), "00:A0:C9:14:C8:29");
    EXPECT_EQ(addr.GetString(" - "), "00 - A0 - C9 - 14 - C8 - 29");
    EXPECT_EQ(static_cast<std::string>(CRevAddr<2>(static_cast<unsigned short>(0x0800))), "08-00");
    EXPECT_EQ(static_cast<std::string>(CRevAddr<4>("c0a80001")), "C0-A8-00-01");
    EXPECT_EQ(static_cast<std::string>(CRevAddr<12>()).size(), 35U);
    EXPECT_EQ(CRevAddr<12>().GetString("::").size(), 24U + 22U);
}

TEST(RevAddr, ComparisonIsUnsignedFromByteZero) {
    struct Case {
        const char* a;
        const char* b;
        int order;
    };
    const Case cases[] = {
        {"000000000001", "000000000002", -1},     {"010000000000", "00FFFFFFFFFF", 1},
        {"7F0000000000", "800000000000", -1},     {"00A0C914C829", "00a0c914c829", 0},
        {"FF0000000000", "FE FF FF FF FF FF", 1},
    };
    for (const Case& c : cases) {
        const CRevAddr<6> a(c.a);
        const CRevAddr<6> b(c.b);
        SCOPED_TRACE(std::string(c.a) + " vs " + c.b);
        EXPECT_EQ(a == b, c.order == 0);
        EXPECT_EQ(a != b, c.order != 0);
        EXPECT_EQ(a < b, c.order < 0);
        EXPECT_EQ(a <= b, c.order <= 0);
        EXPECT_EQ(a > b, c.order > 0);
        EXPECT_EQ(a >= b, c.order >= 0);
    }
}

struct RevealReverse : CRevAddr<2> {
    using CRevAddr<2>::Reverse;
};

TEST(RevAddr, ReverseWritesCountBytesBackwards) {
    const std::array<unsigned char, 3> source{1, 2, 3};
    std::array<unsigned char, 4> target{9, 9, 9, 9};
    RevealReverse::Reverse(source.data(), target.data(), 3);
    EXPECT_EQ(target, (std::array<unsigned char, 4>{3, 2, 1, 9}));
    RevealReverse::Reverse(source.data(), target.data(), 0);
    EXPECT_EQ(target, (std::array<unsigned char, 4>{3, 2, 1, 9}));
}

TEST(MACAddr, TextSpellingsAgreeAndPackLittleEndian) {
    const CMACAddr dashed("00-A0-C9-14-C8-29");
    EXPECT_EQ(dashed, CMACAddr("00:a0:c9:14:c8:29"));
    EXPECT_EQ(dashed, CMACAddr("00A0C914C829"));
    EXPECT_EQ(static_cast<std::int64_t>(dashed), 0x29C814C9A000);
    EXPECT_EQ(CMACAddr(std::int64_t{0x29C814C9A000}), dashed);
    EXPECT_EQ(CMACAddr(0x29C814C9A000ULL), dashed);
    EXPECT_EQ(CMACAddr(0x29C814C9A000LL), dashed);
}

TEST(MACAddr, PackingIgnoresTheTopSixteenBits) {
    const CMACAddr addr(std::int64_t{-1});
    EXPECT_TRUE(addr.IsBroadcast());
    EXPECT_EQ(static_cast<std::int64_t>(addr), 0xFFFFFFFFFFFF);
}

TEST(MACAddr, ThirtyTwoBitNumbersUseWireOrder) {
    const CMACAddr addr(0x0A0B0C0D);
    EXPECT_EQ(static_cast<std::string>(addr), "00-00-0A-0B-0C-0D");
    EXPECT_EQ(static_cast<std::int32_t>(addr), 0x0A0B0C0D);
    EXPECT_EQ(static_cast<std::string>(CMACAddr(0xFFFFFFFF)), "00-00-FF-FF-FF-FF");
    EXPECT_EQ(static_cast<std::string>(CMACAddr(static_cast<unsigned short>(0x0800))),
              "00-00-00-00-08-00");
}

TEST(MACAddr, Classification) {
    struct Case {
        const char* text;
        bool multicast;
        bool broadcast;
        bool null;
    };
    const Case cases[] = {
        {"FF-FF-FF-FF-FF-FF", true, true, false},  {"00-00-00-00-00-00", false, false, true},
        {"01-00-5E-00-00-01", true, false, false}, {"02-00-00-00-00-00", false, false, false},
        {"FF-FF-FF-FF-FF-FE", true, false, false}, {"00-00-00-00-00-01", false, false, false},
    };
    for (const Case& c : cases) {
        const CMACAddr addr(c.text);
        SCOPED_TRACE(c.text);
        EXPECT_EQ(addr.IsMulticast(), c.multicast);
        EXPECT_EQ(addr.IsBroadcast(), c.broadcast);
        EXPECT_EQ(addr.IsNull(), c.null);
    }
}

TEST(MACAddr, OuiLeavesBitsEightToFifteenClear) {
    CMACAddr addr("AC-DE-48-00-00-80");
    EXPECT_EQ(addr.GetOUI(), 0xACDE0048U);
    CMACAddr all("FF-FF-FF-FF-FF-FF");
    EXPECT_EQ(all.GetOUI(), 0xFFFF00FFU);
}

} // namespace
