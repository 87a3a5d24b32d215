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

// Copies, clones and assignment share or copy the pattern; under ASan an
// early release or a leak of it shows. Unpacking into a copy must not
// write into the pattern the original still holds.
TEST(Content, CopiesKeepThePatternThroughTheOriginalsEnd) {
    auto* first = new CContentFilter(Looking("ab", CContentFilter::Anywhere));
    const std::unique_ptr<CFilter> clone(first->Clone());
    CContentFilter assigned;
    assigned = *first;
    assigned = assigned;
    CContentFilter unpacked(*first);
    delete first;
    EXPECT_TRUE(clone->CheckFrame(TextFrame("xxab").get()));
    EXPECT_TRUE(assigned.CheckFrame(TextFrame("abxx").get()));

    const Bytes record = Packed(Looking("GET ", 3));
    ktools::CMemoryBuffer buffer = Reader(record);
    unsigned char id = 0;
    buffer.Read(&id, 1);
    ASSERT_TRUE(unpacked.Unpack(buffer));
    EXPECT_EQ(unpacked.GetDescription(),
              "frame contains {0x47, 0x45, 0x54, 0x20}at offset 3 (0x3)");
    EXPECT_EQ(assigned.GetDescription(), "frame contains {0x61, 0x62}");
}
