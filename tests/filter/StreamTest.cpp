#include "TestSupport.h"
#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/ContentFilter.h"
#include "qndislib/filter/DstMACFilter.h"
#include "qndislib/filter/ICMPTypeFilter.h"
#include "qndislib/filter/IPAddrFilter.h"
#include "qndislib/filter/IPPortFilter.h"
#include "qndislib/filter/IPSubprotocolFilter.h"
#include "qndislib/filter/ProtocolFilter.h"
#include "qndislib/filter/SrcMACFilter.h"
#include "qndislib/filter/UnpackFilter.h"

#include <functional>
#include <gtest/gtest.h>

namespace {

// The header with an empty name: id, enabled, N = 1, the zero byte, negation.
Bytes Header(unsigned char id, unsigned char enabled = 1, unsigned char negate = 0) {
    return {id, enabled, 0x01, 0x00, 0x00, 0x00, 0x00, negate};
}

Bytes Join(Bytes first, const Bytes& second) {
    first.insert(first.end(), second.begin(), second.end());
    return first;
}

struct Golden {
    const char* kind;
    std::function<std::unique_ptr<CFilter>()> make;
    Bytes bytes;
};

const unsigned char Pattern[] = {0x08, 0x00};

std::vector<Golden> Goldens() {
    return {
        {"source MAC",
         [] { return std::make_unique<CSrcMACFilter>("00:a0:c9:14:c8:29", "", false); },
         Join(Header(1), {0x00, 0xA0, 0xC9, 0x14, 0xC8, 0x29})},
        {"destination MAC, named, negated",
         [] { return std::make_unique<CDstMACFilter>("FFFFFFFFFFFF", "b", true); },
         {0x02, 0x01, 0x02, 0x00, 0x00, 0x00, 'b', 0x00, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"protocol",
         [] { return std::make_unique<CProtocolFilter>(CProtocolId("0800"), "", false); },
         Join(Header(3), {0x00, 0x00, 0x00, 0x00, 0x08, 0x00})},
        {"subprotocol, disabled",
         [] {
             auto filter = std::make_unique<CIPSubprotocolFilter>(6, "", false);
             filter->SetEnabled(false);
             return filter;
         },
         Join(Header(4, 0), {0x06})},
        {"IP address",
         [] {
             return std::make_unique<CIPAddrFilter>("192.168.0.1", 12, OperationLess, "", false);
         },
         Join(Header(5), {0x01, 0x00, 0xA8, 0xC0, 0x0C, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00})},
        {"port",
         [] {
             return std::make_unique<CIPPortFilter>(80, CIPPortFilter::PortDestination,
                                                    OperationEqual, "", false);
         },
         Join(Header(6), {0x50, 0x00, 0x03, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00})},
        {"compound OR holding a subprotocol filter",
         [] {
             auto filter = std::make_unique<CCompoundFilter>(CCompoundFilter::OperatorOr);
             filter->Add(CIPSubprotocolFilter(17, "", false));
             return filter;
         },
         Join(Join(Header(7), {0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00}),
              Join(Header(4), {0x11}))},
        {"content at offset 12",
         [] {
             return std::make_unique<CContentFilter>(const_cast<unsigned char*>(Pattern), 2, 12, "",
                                                     false);
         },
         Join(Header(8), {0x0C, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x08, 0x00})},
        {"ICMP type", [] { return std::make_unique<CICMPTypeFilter>(8, "", false); },
         Join(Header(9), {0x08})},
    };
}

} // namespace

TEST(FilterStream, HeaderWithName) {
    const CICMPTypeFilter filter(0, "web", false);
    const Bytes expected = {0x09, 0x01, 0x04, 0x00, 0x00, 0x00, 0x77, 0x65, 0x62, 0x00, 0x00, 0x00};
    EXPECT_EQ(Packed(filter), expected);
}

TEST(FilterStream, EveryKindPacksAndUnpacksItsGoldenBytes) {
    for (const Golden& golden : Goldens()) {
        SCOPED_TRACE(golden.kind);
        const std::unique_ptr<CFilter> filter = golden.make();
        EXPECT_EQ(Packed(*filter), golden.bytes);

        const std::unique_ptr<CFilter> read = Unpacked(golden.bytes);
        ASSERT_NE(read, nullptr);
        EXPECT_EQ(read->GetFilterId(), filter->GetFilterId());
        EXPECT_EQ(read->GetName(), filter->GetName());
        EXPECT_EQ(read->GetEnabled(), filter->GetEnabled());
        EXPECT_EQ(read->GetNegateResult(), filter->GetNegateResult());
        EXPECT_EQ(read->GetDescription(), filter->GetDescription());
        EXPECT_EQ(Packed(*read), golden.bytes);
    }
}

TEST(FilterStream, RecordsFollowEachOther) {
    Bytes stream;
    for (const Golden& golden : Goldens()) {
        stream = Join(stream, golden.bytes);
    }
    ktools::CMemoryBuffer buffer = Reader(stream);
    for (const Golden& golden : Goldens()) {
        const std::unique_ptr<CFilter> read(UnpackFilter(buffer));
        ASSERT_NE(read, nullptr) << golden.kind;
        EXPECT_EQ(read->GetFilterId(), golden.make()->GetFilterId());
    }
    EXPECT_EQ(buffer.GetRemaining(), 0);
    EXPECT_EQ(UnpackFilter(buffer), nullptr);
}

TEST(FilterStream, HeaderReadingRules) {
    struct Case {
        const char* what;
        Bytes bytes;
        const char* name;
        bool enabled;
        bool negated;
    };
    for (const Case& c : {
             Case{"any non-zero switch byte is true", Join({9, 0x02, 1, 0, 0, 0, 0, 0x02}, {0}), "",
                  true, true},
             Case{"the name ends at its first zero",
                  {9, 0, 6, 0, 0, 0, 'a', 'b', 0, 'c', 'd', 0, 0, 0},
                  "ab",
                  false,
                  false},
             Case{"a name without zero is taken whole",
                  {9, 1, 2, 0, 0, 0, 'x', 'y', 1, 0},
                  "xy",
                  true,
                  true},
             Case{"a name field of 0 bytes is an empty name",
                  {9, 1, 0, 0, 0, 0, 0, 0},
                  "",
                  true,
                  false},
         }) {
        const std::unique_ptr<CFilter> read = Unpacked(c.bytes);
        ASSERT_NE(read, nullptr) << c.what;
        EXPECT_EQ(read->GetName(), c.name) << c.what;
        EXPECT_EQ(read->GetEnabled(), c.enabled) << c.what;
        EXPECT_EQ(read->GetNegateResult(), c.negated) << c.what;
    }
}

TEST(FilterStream, PackIntoFullFixedBufferRaisesToCaller) {
    unsigned char storage[10];
    ktools::CMemoryBuffer buffer(storage, sizeof storage, 0);
    const CSrcMACFilter filter("00A0C914C829", "", false);
    try {
        filter.Pack(buffer);
        FAIL() << "the buffer error must reach the caller of Pack";
    } catch (ktools::CMemoryBuffer::CException* error) {
        delete error;
    }
}
