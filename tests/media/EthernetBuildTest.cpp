#include "qndislib/media/EthernetInfo.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <memory>
#include <new>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

struct OperatorDelete {
    void operator()(unsigned char* bytes) const { ::operator delete(bytes); }
};
using Built = std::unique_ptr<unsigned char, OperatorDelete>;

const CMACAddr Source("00A0C914C829");
const CMACAddr Destination("FFFFFFFFFFFF");

Bytes Build(std::int32_t type, const Bytes& payload, CProtocolId protocol, CEthernetInfo& eth) {
    std::int32_t length = -1;
    Built frame(eth.CreateFrame(length, type, payload.data(),
                                static_cast<std::int32_t>(payload.size()), Source, Destination,
                                protocol));
    if (!frame) {
        EXPECT_EQ(length, 0);
        return {};
    }
    return Bytes(frame.get(), frame.get() + length);
}

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

const Bytes Addresses = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0xA0, 0xC9, 0x14, 0xC8, 0x29};

struct GoldenCase {
    const char* name;
    std::int32_t type;
    Bytes payload;
    const char* protocol;
    Bytes afterAddresses; // bytes 12 up to the payload
};

const GoldenCase Golden[] = {
    {"Raw8023", 1, {0xFF, 0xFF, 0x00, 0x1E}, "", {0x00, 0x04}},
    {"EthernetII", 2, {0x45, 0x00}, "0800", {0x08, 0x00}},
    {"SnapEmpty",
     3,
     {},
     "0000000800",
     {0x00, 0x08, 0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x08, 0x00}},
    {"Llc1", 4, Bytes(10, 0x5A), "42", {0x00, 0x0D, 0x42, 0x42, 0x03}},
    {"Llc2", 5, Bytes(10, 0x5A), "E0", {0x00, 0x0E, 0xE0, 0xE0, 0x00, 0x00}},
    {"Tagged", 6, {0x01, 0x02, 0x03}, "86DD", {0x81, 0x00, 0x00, 0x01, 0x86, 0xDD}},
    {"TaggedSnap",
     7,
     {0x77},
     "0000000800",
     {0x00, 0x10, 0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00, 0x81, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,
      0x08, 0x00}},
};

class EthernetGolden : public testing::TestWithParam<GoldenCase> {};

TEST_P(EthernetGolden, WritesTheEncapsulation) {
    const GoldenCase& c = GetParam();
    CEthernetInfo eth;
    EXPECT_EQ(Build(c.type, c.payload, CProtocolId(c.protocol), eth),
              Concat({Addresses, c.afterAddresses, c.payload}));
}

INSTANTIATE_TEST_SUITE_P(Encapsulations, EthernetGolden, testing::ValuesIn(Golden),
                         [](const auto& info) { return info.param.name; });

struct RoundTripCase {
    std::int32_t type;
    const char* protocol; // what analysis must give back
    int header;
};

const RoundTripCase RoundTrips[] = {
    {1, "", 14},   {2, "0800", 14}, {3, "00000C2000", 22}, {4, "E0", 17},
    {5, "F0", 18}, {6, "86DD", 18}, {7, "0080C7FFFF", 29},
};

TEST(EthernetBuild, AnalysisGivesBackWhatWasBuilt) {
    for (const auto& c : RoundTrips) {
        for (std::size_t size : {0, 2, 46, 1400}) {
            Bytes payload(size);
            for (std::size_t i = 0; i < size; ++i) {
                payload[i] = static_cast<unsigned char>(i * 7 + 1);
            }
            // A raw 802.3 frame is only told apart by data that begins FF FF.
            if (c.type == 1 && size >= 2) {
                payload[0] = payload[1] = 0xFF;
            } else if (c.type == 1) {
                continue;
            }
            CEthernetInfo eth;
            const Bytes frame = Build(c.type, payload, CProtocolId(c.protocol), eth);
            ASSERT_EQ(frame.size(), c.header + size);
            EXPECT_EQ(eth.GetFrameType(), 0) << "building must not analyse";

            eth.AnalyzeFrame(frame.data(), frame.size());
            EXPECT_EQ(eth.GetFrameType(), c.type) << size;
            EXPECT_EQ(eth.GetHeaderLen(), c.header);
            EXPECT_EQ(eth.GetProtocolId(), CProtocolId(c.protocol)) << c.type;
            EXPECT_EQ(eth.GetSourceAddress(), Source);
            EXPECT_EQ(eth.GetDestinationAddress(), Destination);
            EXPECT_EQ(Bytes(frame.begin() + c.header, frame.end()), payload);
            if (c.type >= 6) {
                EXPECT_TRUE(eth.IsVLANFrame());
                EXPECT_EQ(eth.GetVLANIdentifier(), 1);
            }
        }
    }
}

TEST(EthernetBuild, LengthFieldKeepsLow16Bits) {
    CEthernetInfo eth;
    const Bytes frame = Build(4, Bytes(70000 - 3), CProtocolId("42"), eth);
    ASSERT_EQ(frame.size(), 70000U + 14);
    EXPECT_EQ(frame[12], (70000 >> 8) & 0xFF);
    EXPECT_EQ(frame[13], 70000 & 0xFF);
}

TEST(EthernetBuild, RefusesBadArguments) {
    CEthernetInfo eth;
    const unsigned char payload[4] = {1, 2, 3, 4};
    struct {
        std::int32_t type;
        const unsigned char* payload;
        std::int32_t length;
    } cases[] = {{0, payload, 4},  {8, payload, 4}, {-1, payload, 4},
                 {2, payload, -1}, {2, nullptr, 4}, {2, payload, 0x7FFFFFFF}};
    for (const auto& c : cases) {
        std::int32_t length = 99;
        EXPECT_EQ(eth.CreateFrame(length, c.type, c.payload, c.length, Source, Destination,
                                  CProtocolId("0800")),
                  nullptr)
            << c.type << " " << c.length;
        EXPECT_EQ(length, 0);
    }
    // A header-only frame needs no payload at all.
    std::int32_t length = 0;
    Built frame(eth.CreateFrame(length, 2, nullptr, 0, Source, Destination, CProtocolId("0800")));
    EXPECT_NE(frame, nullptr);
    EXPECT_EQ(length, 14);
}

} // namespace
