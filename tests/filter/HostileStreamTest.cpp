#include "TestSupport.h"
#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/FilterParser.h"
#include "qndislib/filter/SrcMACFilter.h"
#include "qndislib/filter/UnpackFilter.h"

#include <gtest/gtest.h>
#include <string>

namespace {

// A compound header with an empty name, then operator and count.
Bytes CompoundHeader(std::int32_t count) {
    Bytes header = {7, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    for (int shift = 0; shift < 32; shift += 8) {
        header.push_back(static_cast<unsigned char>(static_cast<std::uint32_t>(count) >> shift));
    }
    return header;
}

Bytes Nested(int depth) {
    Bytes stream;
    for (int i = 0; i < depth; ++i) {
        const Bytes header = CompoundHeader(1);
        stream.insert(stream.end(), header.begin(), header.end());
    }
    const Bytes leaf = {9, 1, 1, 0, 0, 0, 0, 0, 8};
    stream.insert(stream.end(), leaf.begin(), leaf.end());
    return stream;
}

} // namespace

TEST(HostileStream, UnknownIds) {
    for (const Bytes& bytes :
         {Bytes{}, Bytes{0x00}, Bytes{0x0A}, Bytes{0xFF, 1, 1, 0, 0, 0, 0, 0}}) {
        ktools::CMemoryBuffer buffer = Reader(bytes);
        EXPECT_EQ(UnpackFilter(buffer), nullptr);
        EXPECT_EQ(buffer.GetReadPosition(), bytes.empty() ? 0 : 1);
    }
}

TEST(HostileStream, LengthsBeyondTheBytesLeft) {
    for (const Bytes& bytes : {
             // Name length 0xFFFFFFFF and 0x7FFFFFFF.
             Bytes{9, 1, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0},
             Bytes{9, 1, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0},
             // Pattern length 0xFFFFFFF0.
             Bytes{8, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xF0, 0xFF, 0xFF, 0xFF, 1},
             // A million members announced, one present.
             [] {
                 Bytes stream = CompoundHeader(1000000);
                 stream.insert(stream.end(), {9, 1, 1, 0, 0, 0, 0, 0, 8});
                 return stream;
             }(),
         }) {
        EXPECT_EQ(Unpacked(bytes), nullptr);
    }
}

TEST(HostileStream, NestingDepthIsBounded) {
    const auto deepest = Unpacked(Nested(CCompoundFilter::MaxUnpackDepth));
    ASSERT_NE(deepest, nullptr);
    EXPECT_EQ(Packed(*deepest), Nested(CCompoundFilter::MaxUnpackDepth));
    EXPECT_EQ(Unpacked(Nested(CCompoundFilter::MaxUnpackDepth + 1)), nullptr);
    EXPECT_EQ(Unpacked(Nested(100000)), nullptr);
    // The bound is per stream, not per process: a refused stream leaves none
    // of its depth behind.
    EXPECT_NE(Unpacked(Nested(CCompoundFilter::MaxUnpackDepth)), nullptr);
}

TEST(HostileStream, FailedCompoundUnpackKeepsMembersReadSoFar) {
    Bytes stream = CompoundHeader(2);
    stream.insert(stream.end(), {9, 1, 1, 0, 0, 0, 0, 0, 8, 0x0A, 0, 0, 0, 0, 0, 0, 0});
    ktools::CMemoryBuffer buffer = Reader(stream);
    unsigned char id = 0;
    buffer.Read(&id, 1);
    CCompoundFilter filter;
    filter.Add(CCompoundFilter());
    EXPECT_FALSE(filter.Unpack(buffer));
    ASSERT_EQ(filter.GetCount(), 1u);
    EXPECT_EQ(filter.GetAt(0)->GetFilterId(), FilterICMPType);
}

TEST(HostileStream, PackIntoAFullFixedBufferRaisesToTheCaller) {
    unsigned char storage[10];
    ktools::CMemoryBuffer buffer(storage, sizeof storage, 0);
    try {
        CSrcMACFilter("00A0C914C829", "", false).Pack(buffer);
        FAIL() << "the buffer error must reach the caller of Pack";
    } catch (ktools::CMemoryBuffer::CException* error) {
        delete error;
    }
}

TEST(HostileText, NestingAndLengthAreBoundedButLongNotChainsAreFine) {
    const auto nested = [](int depth) {
        return std::string(static_cast<std::size_t>(depth), '(') + "dst port 1" +
               std::string(static_cast<std::size_t>(depth), ')');
    };
    CFilterParser parser;
    EXPECT_NE(parser.Parse(nested(CFilterParser::MaxDepth)), nullptr);
    EXPECT_EQ(parser.Parse(nested(CFilterParser::MaxDepth + 1)), nullptr);
    EXPECT_EQ(parser.GetErrorColumn(), CFilterParser::MaxDepth + 1);
    EXPECT_NE(parser.GetError().find("nested deeper"), std::string::npos);
    EXPECT_EQ(parser.Parse(nested(100000)), nullptr);

    // Two tokens, then three for each further test: the longest accepted.
    std::string manyTests = "proto 0";
    for (int i = 1; i <= (CFilterParser::MaxTokens - 2) / 3; ++i) {
        manyTests += " or proto " + std::to_string(i);
    }
    EXPECT_NE(parser.Parse(manyTests), nullptr);
    const std::string tooMany = manyTests + " or proto 0";
    EXPECT_EQ(parser.Parse(tooMany), nullptr);
    EXPECT_EQ(parser.GetErrorColumn(), static_cast<int>(tooMany.size()));
    EXPECT_NE(parser.GetError().find("longer than"), std::string::npos);

    std::string manyNots;
    for (int i = 0; i < 20001; ++i) {
        manyNots += "not ";
    }
    const auto filter = parser.Parse(manyNots + "proto 1");
    ASSERT_NE(filter, nullptr);
    EXPECT_TRUE(filter->GetNegateResult());
}

TEST(HostileText, TheDeepestAcceptedTreeReadsBack) {
    std::string text = "dst port 1";
    for (int i = 0; i < CFilterParser::MaxDepth; ++i) {
        text = (i % 2 == 0 ? "(src port 9 or " : "(src port 9 and ") + text + ")";
    }
    const auto filter = CFilterParser().Parse(text);
    ASSERT_NE(filter, nullptr);
    const auto back = Unpacked(Packed(*filter));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Packed(*back), Packed(*filter));
}
