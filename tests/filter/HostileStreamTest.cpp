#include "TestSupport.h"
#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/ContentFilter.h"
#include "qndislib/filter/IPAddrFilter.h"
#include "qndislib/filter/IPPortFilter.h"
#include "qndislib/filter/ProtocolFilter.h"
#include "qndislib/filter/SrcMACFilter.h"
#include "qndislib/filter/UnpackFilter.h"

#include <gtest/gtest.h>

namespace {

Bytes EveryKind() {
    unsigned char pattern[] = {1, 2, 3};
    CCompoundFilter inner(CCompoundFilter::OperatorOr, "in", true);
    inner.Add(CContentFilter(pattern, 3, 4, "c", false));
    inner.Add(CIPPortFilter(80, CIPPortFilter::PortDestination, OperationLess, "", false));
    CCompoundFilter outer(CCompoundFilter::OperatorAnd, "out", false);
    outer.Add(CSrcMACFilter("1", "m", false));
    outer.Add(CProtocolFilter(CProtocolId("0800"), "", false));
    outer.Add(CIPAddrFilter("1.2.3.4", 16, OperationEqual, "", false));
    outer.Add(inner);
    return Packed(outer);
}

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

TEST(HostileStream, TruncatedAtEveryByte) {
    const Bytes whole = EveryKind();
    ASSERT_NE(Unpacked(whole), nullptr);
    for (std::size_t length = 0; length < whole.size(); ++length) {
        const Bytes cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(length));
        EXPECT_EQ(Unpacked(cut), nullptr) << "cut at " << length;
    }
}

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

TEST(HostileStream, MemberCountOfMinusOneIsAnEmptyList) {
    const auto read = Unpacked(CompoundHeader(-1));
    ASSERT_NE(read, nullptr);
    EXPECT_EQ(static_cast<CCompoundFilter*>(read.get())->GetCount(), 0u);
    EXPECT_EQ(read->GetDescription(), "()");
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
