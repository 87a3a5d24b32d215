// The media of captures that are not Ethernet: golden frames, built frames
// read back, and the link types of capture files.
#include "qndislib/media/LinkTypes.h"
#include "qndislib/media/MediaInfo.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <ostream>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::unique_ptr<CMediaInfo> Create(const char* shorthand) {
    return std::unique_ptr<CMediaInfo>(CreateMedium(shorthand));
}

struct GoldenCase {
    const char* name;
    const char* medium;
    Bytes frame; // analysed at exactly this size, so a read past it shows
    std::int32_t type;
    int header;
    int idOffset;
    int idLength;
    const char* id;
    const char* source;
    bool broadcast;
    bool multicast;
};

const char* const NoAddress = "00:00:00:00:00:00";

const GoldenCase Golden[] = {
    {"CookedIPv4ToUs", "LinuxCooked",
     Bytes{0, 0, 0, 1, 0, 6, 2, 0x11, 0x22, 0x33, 0x44, 0x55, 0, 0, 0x08, 0x00, 0x45}, 1, 16, 14, 2,
     "0800", "02:11:22:33:44:55", false, false},
    {"CookedArpBroadcast", "LinuxCooked",
     Bytes{0, 1, 0, 1, 0, 6, 2, 0, 0, 0, 0, 9, 0, 0, 0x08, 0x06}, 1, 16, 14, 2, "0806",
     "02:00:00:00:00:09", true, true},
    {"CookedLlcDsap", "LinuxCooked",
     Bytes{0, 2, 0, 1, 0, 6, 2, 0, 0, 0, 0, 9, 0, 0, 0x00, 0x04, 0x42, 0x42, 0x03}, 2, 19, 16, 1,
     "42", "02:00:00:00:00:09", false, true},
    {"CookedBelowEtherTypes", "LinuxCooked",
     Bytes{0, 3, 0, 1, 0, 6, 2, 0, 0, 0, 0, 9, 0, 0, 0x00, 0x01}, 3, 16, 14, 2, "0001",
     "02:00:00:00:00:09", false, false},
    {"CookedShortAddressIsNotPadded", "LinuxCooked",
     Bytes{0, 0, 3, 0, 0, 4, 10, 0, 0, 1, 0xEE, 0xEE, 0xEE, 0xEE, 0x08, 0x00}, 1, 16, 14, 2, "0800",
     "0a:00:00:01:00:00", false, false},
    {"CookedLongAddressCut", "LinuxCooked",
     Bytes{0, 0, 0, 1, 0, 0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 0x86, 0xDD}, 1, 16, 14, 2, "86DD",
     "01:02:03:04:05:06", false, false},
    {"CookedRuntReadsAsZero", "LinuxCooked", Bytes{0, 1, 0}, 3, 16, 14, 2, "0000", NoAddress, true,
     true},
    {"Cooked2IPv6Outgoing", "LinuxCooked2",
     Bytes{0x86, 0xDD, 0, 0, 0, 0, 0, 2, 0, 1, 4, 6, 2, 0xAA, 0, 0, 0, 1, 0, 0, 0x60}, 1, 20, 0, 2,
     "86DD", "02:aa:00:00:00:01", false, false},
    {"Cooked2Multicast", "LinuxCooked2",
     Bytes{0x08, 0x00, 0, 0, 0, 0, 0, 2, 0, 1, 2, 6, 2, 0xAA, 0, 0, 0, 1, 0, 0}, 1, 20, 0, 2,
     "0800", "02:aa:00:00:00:01", false, true},
    {"Cooked2Llc", "LinuxCooked2",
     Bytes{0x00, 0x04, 0, 0, 0, 0, 0, 2, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xE0, 0xE0, 3}, 2, 23,
     20, 1, "E0", NoAddress, false, false},
    {"RawIPv4", "RawIP", Bytes{0x45, 0, 0, 20}, 1, 0, 0, 2, "0800", NoAddress, false, false},
    {"RawIPv6", "RawIP", Bytes{0x60}, 2, 0, 0, 2, "86DD", NoAddress, false, false},
    {"RawOtherVersion", "RawIP", Bytes{0x55}, 3, 0, 0, 0, "", NoAddress, false, false},
    {"RawEmpty", "RawIP", Bytes{}, 3, 0, 0, 0, "", NoAddress, false, false},
    {"NullLittleEndianIPv4", "Null", Bytes{2, 0, 0, 0, 0x45}, 1, 4, 0, 2, "0800", NoAddress, false,
     false},
    {"NullWrittenBigEndian", "Null", Bytes{0, 0, 0, 2}, 1, 4, 0, 2, "0800", NoAddress, false,
     false},
    {"NullIPv6OfOneSystem", "Null", Bytes{30, 0, 0, 0}, 2, 4, 0, 2, "86DD", NoAddress, false,
     false},
    {"NullIPv6OfAnother", "Null", Bytes{0, 0, 0, 24}, 2, 4, 0, 2, "86DD", NoAddress, false, false},
    {"NullUnknownFamily", "Null", Bytes{7, 0, 0, 0}, 3, 4, 0, 0, "", NoAddress, false, false},
    {"LoopIPv6", "Loop", Bytes{0, 0, 0, 28, 0x60}, 2, 4, 0, 2, "86DD", NoAddress, false, false},
    {"LoopIsNeverSwapped", "Loop", Bytes{2, 0, 0, 0}, 3, 4, 0, 0, "", NoAddress, false, false},
    {"LoopRunt", "Loop", Bytes{0, 0}, 3, 4, 0, 0, "", NoAddress, false, false},
};

void PrintTo(const GoldenCase& c, std::ostream* out) {
    *out << c.name;
}

class GoldenFrames : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(GoldenFrames, AnalysisGivesTheHeaderFields) {
    const GoldenCase& c = GetParam();
    const auto medium = Create(c.medium);
    ASSERT_NE(medium, nullptr);
    // A copy of exactly the frame's size on the heap, so a read past it trips.
    const auto bytes = std::make_unique<unsigned char[]>(c.frame.size() + 1);
    std::copy(c.frame.begin(), c.frame.end(), bytes.get());
    const unsigned char* frame = c.frame.empty() ? nullptr : bytes.get();
    medium->AnalyzeFrame(frame, c.frame.size());
    EXPECT_EQ(medium->GetFrameType(), c.type);
    EXPECT_EQ(medium->GetHeaderLen(), c.header);
    EXPECT_EQ(medium->GeCProtocolIdOffset(), c.idOffset);
    EXPECT_EQ(medium->GeCProtocolIdLen(), c.idLength);
    EXPECT_EQ(medium->GetProtocolId(), CProtocolId(c.id)) << medium->GetProtocolId().As5Byte();
    EXPECT_EQ(medium->GetSourceAddress(), CMACAddr(c.source));
    EXPECT_EQ(medium->GetDestinationAddress(), CMACAddr(NoAddress));
    EXPECT_EQ(medium->IsBroadcast(), c.broadcast);
    EXPECT_EQ(medium->IsMulticast(), c.multicast);
    EXPECT_TRUE(medium->CheckFrameId(frame, c.frame.size(), c.type));
    EXPECT_FALSE(medium->CheckFrameId(frame, c.frame.size(), c.type % 3 + 1));

    const std::unique_ptr<CMediaInfo> copy(medium->Clone());
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->GetShorthand(), c.medium);
    EXPECT_EQ(copy->GetHeaderLen(), c.header);
    EXPECT_EQ(copy->GetProtocolId(), medium->GetProtocolId());
}

INSTANTIATE_TEST_SUITE_P(LinkMedia, GoldenFrames, ::testing::ValuesIn(Golden),
                         [](const auto& info) { return std::string(info.param.name); });

struct BuildCase {
    const char* medium;
    std::int32_t type;
    const char* protocol;
    unsigned char firstPayloadByte;
    const char* analysedId;
};

const BuildCase Builds[] = {
    {"LinuxCooked", 1, "0800", 0x45, "0800"},
    {"LinuxCooked", 2, "F0", 0, "F0"},
    {"LinuxCooked", 3, "0001", 0, "0001"},
    {"LinuxCooked2", 1, "86DD", 0x60, "86DD"},
    {"LinuxCooked2", 2, "42", 0, "42"},
    {"RawIP", 1, "", 0x45, "0800"},
    {"RawIP", 2, "", 0x60, "86DD"},
    {"Null", 1, "", 0x45, "0800"},
    {"Null", 2, "", 0x60, "86DD"},
    {"Null", 3, "", 0, ""},
    {"Loop", 1, "", 0x45, "0800"},
    {"Loop", 2, "", 0x60, "86DD"},
};

TEST(LinkMediaBuild, BuiltFramesReadBackWithTheirPayloadBehindTheHeader) {
    for (const BuildCase& c : Builds) {
        SCOPED_TRACE(std::string(c.medium) + " type " + std::to_string(c.type));
        const auto medium = Create(c.medium);
        ASSERT_NE(medium, nullptr);
        const Bytes payload{c.firstPayloadByte, 1, 2, 3};
        const CMACAddr source("02:00:00:00:00:07");
        std::int32_t length = -1;
        unsigned char* frame =
            medium->CreateFrame(length, c.type, payload.data(), 4, source,
                                CMACAddr("ff:ff:ff:ff:ff:ff"), CProtocolId(c.protocol));
        ASSERT_NE(frame, nullptr);
        medium->AnalyzeFrame(frame, static_cast<std::size_t>(length));
        EXPECT_EQ(medium->GetFrameType(), c.type);
        ASSERT_EQ(medium->GetHeaderLen() + 4, length);
        EXPECT_TRUE(std::equal(payload.begin(), payload.end(), frame + medium->GetHeaderLen()));
        EXPECT_EQ(medium->GetProtocolId(), CProtocolId(c.analysedId));
        if (medium->GetAddressSize() > 0) {
            EXPECT_EQ(medium->GetSourceAddress(), source);
        }
        ::operator delete(frame);
    }
}

TEST(LinkMediaBuild, RefusesUnknownTypesAndBadPayloads) {
    for (const char* shorthand : {"LinuxCooked", "LinuxCooked2", "RawIP", "Null", "Loop"}) {
        const auto medium = Create(shorthand);
        ASSERT_NE(medium, nullptr) << shorthand;
        std::int32_t length = -1;
        const unsigned char payload[1] = {0x45};
        for (const std::int32_t type : {0, 4}) {
            EXPECT_EQ(medium->CreateFrame(length, type, payload, 1, {}, {}, {}), nullptr);
            EXPECT_EQ(length, 0);
        }
        EXPECT_EQ(medium->CreateFrame(length, 1, nullptr, 1, {}, {}, {}), nullptr) << shorthand;
        EXPECT_EQ(medium->CreateFrame(length, 1, payload, -1, {}, {}, {}), nullptr) << shorthand;
    }
}

TEST(LinkTypes, FileLinkTypesNameRegisteredMedia) {
    const struct {
        std::uint32_t linkType;
        const char* medium; // null: no medium
    } rows[] = {{0, "Null"},    {1, "Ethernet"},       {12, "RawIP"},        {14, "RawIP"},
                {101, "RawIP"}, {108, "Loop"},         {113, "LinuxCooked"}, {228, "RawIP"},
                {229, "RawIP"}, {276, "LinuxCooked2"}, {2, nullptr},         {105, nullptr},
                {127, nullptr}, {0xFFFFFFFF, nullptr}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.linkType);
        const char* medium = MediumOfLinkType(row.linkType);
        if (row.medium == nullptr) {
            EXPECT_EQ(medium, nullptr);
            continue;
        }
        ASSERT_NE(medium, nullptr);
        EXPECT_STREQ(medium, row.medium);
        const auto created = Create(medium);
        ASSERT_NE(created, nullptr);
        EXPECT_STREQ(created->GetShorthand(), row.medium);
    }
    EXPECT_EQ(LinkTypeOfMedium("RawIP"), 101u);
    EXPECT_EQ(LinkTypeOfMedium("Null"), 0u);
    EXPECT_EQ(LinkTypeOfMedium("LinuxCooked2"), 276u);
    EXPECT_EQ(LinkTypeOfMedium("rawip"), std::nullopt);
}

} // namespace
