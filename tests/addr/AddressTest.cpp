#include "qndislib/addr/HexText.h"
#include "qndislib/addr/MACAddr.h"
#include "qndislib/addr/ProtocolId.h"
#include "qndislib/addr/QWORD.h"
#include "qndislib/addr/StrictHexText.h"

#include <array>
#include <cstdint>
#include <fstream>
#include <gtest/gtest.h>
#include <limits>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace {

// The rows of tests/data/addr-forms.tsv of one kind, each without its kind.
std::vector<std::vector<std::string>> FormRows(const std::string& kind) {
    std::ifstream file(ADDR_FORMS);
    std::vector<std::vector<std::string>> rows;
    for (std::string line; std::getline(file, line);) {
        std::istringstream fields(line);
        std::string first;
        std::getline(fields, first, '\t');
        if (first == kind) {
            rows.emplace_back();
            for (std::string field; std::getline(fields, field, '\t');) {
                rows.back().push_back(field);
            }
        }
    }
    EXPECT_FALSE(rows.empty()) << "no rows of kind " << kind << " in " << ADDR_FORMS;
    return rows;
}

std::vector<unsigned char> HexRow(const std::string& digits) {
    std::vector<unsigned char> bytes;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2) {
        bytes.push_back(static_cast<unsigned char>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

using V = std::vector<unsigned char>;

template <typename Address> V Bytes(const Address& address, int size = 6) {
    const unsigned char* p = address;
    return {p, p + size};
}

constexpr std::uint64_t Max = std::numeric_limits<std::uint64_t>::max();

// Every relation of `a` to `b` agrees with `order` (-1, 0 or 1).
template <typename T> void ExpectOrder(const T& a, const T& b, int order) {
    EXPECT_EQ(a == b, order == 0);
    EXPECT_EQ(a != b, order != 0);
    EXPECT_EQ(a < b, order < 0);
    EXPECT_EQ(a <= b, order <= 0);
    EXPECT_EQ(a > b, order > 0);
    EXPECT_EQ(a >= b, order >= 0);
}

std::uint64_t Bits(const QWORD& q) {
    return (std::uint64_t{q.GetHi()} << 32) | q.GetLo();
}

// The load rows hold the neighbours of every digit range.
TEST(HexText, DigitValues) {
    EXPECT_EQ(gethexdigit('0'), 0);
    EXPECT_EQ(gethexdigit('f'), 15);
    EXPECT_TRUE(ishexdigit('0'));
    EXPECT_FALSE(ishexdigit('g'));
}

// Guard bytes on both sides catch writes outside the target; a non-positive
// count leaves the target alone, any other clears stale bytes first.
TEST(HexText, LoadFillsExactlyCountBytesRightAligned) {
    for (const auto& row : FormRows("load")) {
        const V expected = HexRow(row[1]);
        V buffer(expected.size() + 2, 0xEE);
        LoadHexString(row[0].c_str(), buffer.data() + 1, static_cast<int>(expected.size()));
        EXPECT_EQ(V(buffer.begin() + 1, buffer.end() - 1), expected) << '"' << row[0] << '"';
        EXPECT_EQ(buffer.front(), 0xEE);
        EXPECT_EQ(buffer.back(), 0xEE);
    }
    V target{0x55, 0x66};
    LoadHexString("\xC1\xFF"
                  "12",
                  target.data(), 1);
    EXPECT_EQ(target, (V{0x12, 0x66}));
    LoadHexString("1234", target.data(), 0);
    LoadHexString("1234", target.data(), -3);
    EXPECT_EQ(target, (V{0x12, 0x66}));
}

TEST(StrictHexText, AcceptsExactlyTheTwoForms) {
    for (const auto& row : FormRows("strict")) {
        const auto bytes = qndis::ParseHexBytes(row[0]);
        EXPECT_EQ(bytes.has_value(), row[1] != "!") << '"' << row[0] << '"';
        if (bytes) {
            EXPECT_EQ(*bytes, HexRow(row[1]));
        }
    }
    const std::array<unsigned char, 6> mac{0x00, 0xA0, 0xC9, 0x14, 0xC8, 0x29};
    EXPECT_EQ(qndis::ParseMacAddress("00-A0-c9-14-C8-29"), mac);
    EXPECT_EQ(qndis::ParseMacAddress("00a0c914c829"), mac);
    EXPECT_FALSE(qndis::ParseMacAddress("00:a0:c9:14:c8"));
    EXPECT_FALSE(qndis::ParseMacAddress("00a0c914c82901"));
}

TEST(RevAddr, NumbersAreStoredInWireOrderAndReadBack) {
    using U16 = unsigned short;
    EXPECT_EQ(Bytes(CRevAddr<2>(0x12345678), 2), (V{0x56, 0x78}));
    EXPECT_EQ(Bytes(CRevAddr<4>(U16{0x1234}), 4), (V{0, 0, 0x12, 0x34}));
    EXPECT_EQ(Bytes(CRevAddr<6>(0x80000000)), (V{0, 0, 0x80, 0, 0, 0}));
    EXPECT_EQ(Bytes(CRevAddr<6>(0x00A0C914C829)), (V{0x00, 0xA0, 0xC9, 0x14, 0xC8, 0x29}));
    EXPECT_EQ(Bytes(CRevAddr<12>(-1), 12), (V{0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF}));
    CRevAddr<6> addr("FFFFFFFFFFFF");
    addr = U16{0x0102};
    EXPECT_EQ(Bytes(addr), (V{0, 0, 0, 0, 1, 2}));
    addr = "AABBCCDDEEFF";
    addr = 0x01020304;
    EXPECT_EQ(Bytes(addr), (V{0, 0, 1, 2, 3, 4}));
    EXPECT_EQ(static_cast<std::int32_t>(CRevAddr<2>("FFFF")), 65535);
    EXPECT_EQ(static_cast<std::int32_t>(CRevAddr<6>("FFFF01020304")), 0x01020304);
    EXPECT_EQ(static_cast<std::int32_t>(CRevAddr<12>("FFFFFFFFFFFFFFFF80000000")), INT32_MIN);
}

TEST(RevAddr, TextForms) {
    const CRevAddr<6> addr("00A0C914C829");
    EXPECT_EQ(static_cast<std::string>(addr), "00-A0-C9-14-C8-29");
    EXPECT_EQ(addr.GetString(""), "00A0C914C829");
    EXPECT_EQ(addr.GetString(" - "), "00 - A0 - C9 - 14 - C8 - 29");
}

TEST(RevAddr, ComparisonIsUnsignedFromByteZero) {
    for (const auto& row : FormRows("order")) {
        SCOPED_TRACE(row[0] + " vs " + row[1]);
        ExpectOrder(CRevAddr<6>(row[0].c_str()), CRevAddr<6>(row[1].c_str()), std::stoi(row[2]));
    }
}

struct RevealReverse : CRevAddr<2> {
    using CRevAddr<2>::Reverse;
};

TEST(RevAddr, ReverseWritesCountBytesBackwards) {
    const std::array<unsigned char, 3> source{1, 2, 3};
    std::array<unsigned char, 4> target{9, 9, 9, 9};
    RevealReverse::Reverse(source.data(), target.data(), 0);
    EXPECT_EQ(target, (std::array<unsigned char, 4>{9, 9, 9, 9}));
    RevealReverse::Reverse(source.data(), target.data(), 3);
    EXPECT_EQ(target, (std::array<unsigned char, 4>{3, 2, 1, 9}));
}

TEST(MACAddr, NumbersTextAndClassification) {
    const CMACAddr dashed("00-A0-C9-14-C8-29");
    EXPECT_EQ(static_cast<std::int64_t>(dashed), 0x29C814C9A000);
    EXPECT_EQ(CMACAddr(0x29C814C9A000ULL), dashed);
    EXPECT_EQ(static_cast<std::int64_t>(CMACAddr(std::int64_t{-1})), 0xFFFFFFFFFFFF);
    EXPECT_EQ(CMACAddr("AC-DE-48-00-00-80").GetOUI(), 0xACDE0048U);
    EXPECT_EQ(CMACAddr("FF-FF-FF-FF-FF-FF").GetOUI(), 0xFFFF00FFU);
    for (const auto& row : FormRows("mac")) {
        const CMACAddr addr(row[0].c_str());
        SCOPED_TRACE(row[0]);
        EXPECT_EQ(addr.IsMulticast(), row[1] == "1");
        EXPECT_EQ(addr.IsBroadcast(), row[2] == "1");
        EXPECT_EQ(addr.IsNull(), row[3] == "1");
    }
}

TEST(ProtocolId, RightAlignedBytesAndBothTexts) {
    for (const auto& row : FormRows("protocol")) {
        const V source = HexRow(row[0]);
        const CProtocolId id(static_cast<int>(source.size()), source.data());
        EXPECT_EQ(Bytes(id), HexRow(row[1]));
        EXPECT_EQ(id.As2Byte(), row[2]);
        EXPECT_EQ(id.As5Byte(), row[3]);
    }
    EXPECT_EQ(Bytes(CProtocolId(-1, HexRow("0800").data())), (V{0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Bytes(CProtocolId("00-00-0c:20:00")), (V{0, 0, 0, 0x0C, 0x20, 0x00}));
    EXPECT_NE(CProtocolId("0800"), CProtocolId("0806"));
}

TEST(ProtocolId, SetClearsPreviousBytesAndResetZeroes) {
    CProtocolId id(5, HexRow("00000C2000").data());
    id.Set(1, HexRow("42").data());
    EXPECT_EQ(Bytes(id), (V{0, 0, 0, 0, 0, 0x42}));
    id.Reset();
    EXPECT_EQ(id, CProtocolId());
}

TEST(QWORD, CarryBorrowAndOrderCrossTheHalves) {
    QWORD q(std::uint32_t{0xFFFFFFFF});
    q += std::uint32_t{1};
    EXPECT_EQ(Bits(q), 0x100000000U);
    EXPECT_EQ(Bits(--q), 0xFFFFFFFFU);
    q -= std::uint32_t{0xFFFFFFFF};
    EXPECT_TRUE(q.IsZero());
    EXPECT_EQ(Bits(--q), Max);
    EXPECT_TRUE((++q).IsZero());
    EXPECT_EQ(Bits(QWORD(1, 0) - QWORD(0, 1)), 0xFFFFFFFFU);
    EXPECT_EQ(Bits(QWORD(0, 0xFFFFFFFF) + QWORD(0, 0xFFFFFFFF)), 0x1FFFFFFFEU);
    EXPECT_EQ(Bits(QWORD(0xFFFFFFFF, 0xFFFFFFFF) + QWORD(0, 2)), 1U);
    EXPECT_EQ(Bits(QWORD(10) - 11), Max);
    EXPECT_FALSE(QWORD(0, 1).IsZero());
    EXPECT_FALSE(QWORD(1, 0).IsZero());
    EXPECT_EQ(static_cast<std::int64_t>(QWORD(0x80000000, 0)), INT64_MIN);
    ExpectOrder(QWORD(0, 0xFFFFFFFF), QWORD(1, 0), -1);
    ExpectOrder(QWORD(2, 1), QWORD(1, 0xFFFFFFFF), 1);
    ExpectOrder(QWORD(2, 0), QWORD(2, 1), -1);
    ExpectOrder(QWORD(2, 1), QWORD(2, 1), 0);
}

TEST(QWORD, BytesAndDoubles) {
    EXPECT_EQ(Bits(QWORD(HexRow("0807060504030201").data())), 0x0102030405060708U);
    EXPECT_EQ(static_cast<double>(QWORD(0xFFFFFFFF, 0xFFFFFFFF)), 18446744073709551616.0);
    EXPECT_EQ(Bits(dbl2QWORD(4294967298.9)), 4294967298U);
    EXPECT_EQ(Bits(dbl2QWORD(-5.0)), 0U);
    EXPECT_EQ(Bits(dbl2QWORD(1e30)), Max);
    EXPECT_EQ(Bits(dbl2QWORD(std::numeric_limits<double>::quiet_NaN())), 0U);
}

TEST(QWORD, TextIsReadOrGivesZero) {
    for (const auto& row : FormRows("qword")) {
        EXPECT_EQ(Bits(QWORD(row[0])), std::stoull(row[1])) << '"' << row[0] << '"';
    }
    EXPECT_EQ(Bits(QWORD(std::string{'0', 'x', '1', '2', '\0', '3', '4'})), 0x12U);
    EXPECT_EQ(Bits(QWORD(std::string("5\0", 2))), 0U);
}

TEST(QWORD, TextForms) {
    for (const auto& row : FormRows("number")) {
        const QWORD value(static_cast<std::uint64_t>(std::stoull(row[0], nullptr, 16)));
        EXPECT_EQ(value.AsHexData(), row[0]);
        EXPECT_EQ(value.AsNumber(false), row[1]);
        EXPECT_EQ(value.AsBigInt(), row[1]);
        EXPECT_EQ(value.AsNumber(true), row[2]);
        EXPECT_EQ(value.AsData(false), row[3]);
        EXPECT_EQ(value.AsData(true), row[4]);
    }
    EXPECT_EQ(QWORD(0xFFFF00A0, 0xC914C829).AsMAC(""), "00A0C914C829");
    EXPECT_EQ(QWORD(0x0001, 0x02030405).AsMAC(" - "), "00 - 01 - 02 - 03 - 04 - 05");
}

} // namespace
