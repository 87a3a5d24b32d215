#include "TestSupport.h"
#include "qndislib/filter/ContentFilter.h"

#include <gtest/gtest.h>
#include <string>

namespace {

std::unique_ptr<CQuorelFrame> TextFrame(const std::string& text) {
    return Frame(Bytes(text.begin(), text.end()));
}

CContentFilter Looking(const std::string& pattern, unsigned int offset) {
    Bytes bytes(pattern.begin(), pattern.end());
    return CContentFilter(bytes.data(), static_cast<unsigned int>(bytes.size()), offset, "", false);
}

} // namespace

TEST(Content, SearchEdges) {
    const unsigned int any = CContentFilter::Anywhere;
    const std::string frame60(60, 'z');
    struct Case {
        const char* what;
        std::string pattern;
        unsigned int offset;
        std::string frame;
        bool expected;
    };
    for (const Case& c : {
             Case{"at the very end", "GET ", any, "................GET ", true},
             Case{"at the very start", "GET ", any, "GET ................", true},
             Case{"only the first three at the end", "GET ", any, "................GET", false},
             Case{"pattern longer than frame, anywhere", "0123456789", any, "012345678", false},
             Case{"pattern longer than frame, fixed", "0123456789", 0, "012345678", false},
             Case{"empty pattern anywhere", "", any, "abc", true},
             Case{"empty pattern fixed beyond the frame", "", 500, "abc", true},
             Case{"empty pattern in an empty frame", "", any, "", true},
             Case{"fixed at the last position", "zz", 58, frame60, true},
             Case{"fixed reaching past the end", "zzzz", 58, frame60, false},
             Case{"fixed offset that wraps 32 bits", "zz", 0xFFFFFFFE, frame60, false},
             Case{"fixed, other bytes", "ab", 2, "xxacxx", false},
         }) {
        EXPECT_EQ(Looking(c.pattern, c.offset).CheckFrame(TextFrame(c.frame).get()), c.expected)
            << c.what;
    }
}

TEST(Content, EthernetTypeAtOffset12) {
    unsigned char ipType[] = {0x08, 0x00};
    const CContentFilter ip(ipType, 2, 12, "", false);
    EXPECT_TRUE(
        ip.CheckFrame(Frame(EthernetII(Bytes(6, 1), Bytes(6, 2), 0x0800, Bytes(46))).get()));
    EXPECT_FALSE(
        ip.CheckFrame(Frame(EthernetII(Bytes(6, 1), Bytes(6, 2), 0x0806, Bytes(46))).get()));
    EXPECT_FALSE(ip.CheckFrame(nullptr));
}

TEST(Content, WithoutPatternNeverSatisfied) {
    CContentFilter none(static_cast<ktools::CBinaryData*>(nullptr), CContentFilter::Anywhere, "",
                        false);
    EXPECT_EQ(none.GetData(), nullptr);
    EXPECT_FALSE(none.IsSatisfied(TextFrame("abc").get()));
    const Bytes expected = {8, 1, 1, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    EXPECT_EQ(Packed(none), expected);
    // A copy of a filter without pattern gets an empty one of its own.
    const CContentFilter copy(none);
    ktools::CBinaryData* data = copy.GetData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->GetLength(), 0u);
    data->Release();
}

// Counts references through the pattern that copies, clones, assignment
// and GetData share; run under ASan, any early destruction or leak shows.
TEST(Content, PatternIsSharedAndDestroyedWithTheLastHolder) {
    static int destroyed = 0;
    struct Counted : ktools::CBinaryData {
        using CBinaryData::CBinaryData;
        ~Counted() override { ++destroyed; }
    };
    const unsigned char bytes[] = {'a', 'b'};
    auto* pattern = new Counted(bytes, 2);
    pattern->AddRef();
    auto* first = new CContentFilter(pattern, CContentFilter::Anywhere, "", false);
    pattern->Release();
    EXPECT_EQ(pattern->GetRefCount(), 1);

    auto* clone = static_cast<CContentFilter*>(first->Clone());
    CContentFilter assigned;
    assigned = *first;
    assigned = assigned;
    ktools::CBinaryData* held = first->GetData();
    EXPECT_EQ(held, pattern);
    EXPECT_EQ(pattern->GetRefCount(), 4);

    delete first;
    EXPECT_TRUE(clone->CheckFrame(TextFrame("xxab").get()));
    EXPECT_TRUE(assigned.CheckFrame(TextFrame("abxx").get()));
    delete clone;
    assigned = CContentFilter();
    EXPECT_EQ(destroyed, 0);
    EXPECT_EQ(held->GetRefCount(), 1);
    held->Release();
    EXPECT_EQ(destroyed, 1);
}

TEST(Content, UnpackGivesAnOwnPattern) {
    const CContentFilter original = Looking("GET ", CContentFilter::Anywhere);
    ktools::CMemoryBuffer buffer;
    original.Pack(buffer);
    unsigned char id = 0;
    buffer.Read(&id, 1);
    CContentFilter copy(original);
    ASSERT_TRUE(copy.Unpack(buffer));
    ktools::CBinaryData* a = original.GetData();
    ktools::CBinaryData* b = copy.GetData();
    EXPECT_NE(a, b);
    EXPECT_EQ(a->AsString(), b->AsString());
    EXPECT_EQ(copy.GetOffset(), CContentFilter::Anywhere);
    EXPECT_EQ(copy.GetDescription(), original.GetDescription());
    a->Release();
    b->Release();
}
