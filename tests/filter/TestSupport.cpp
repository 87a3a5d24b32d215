#include "TestSupport.h"

#include "qndislib/filter/FilterParser.h"
#include "qndislib/filter/ResourceStrings.h"
#include "qndislib/filter/UnpackFilter.h"
#include "qndislib/media/EthernetInfo.h"
#include "tests/support/GoldenFile.h"

#include <gtest/gtest.h>

namespace {

// What library start-up does; these tests link the filter objects alone.
const bool moduleSet = [] {
    CResourceStrings::Instance().SetModule(GetLibraryStringModule());
    return true;
}();

} // namespace

Bytes Packed(const CFilter& filter) {
    ktools::CMemoryBuffer buffer;
    filter.Pack(buffer);
    return Bytes(buffer.GetData(), buffer.GetData() + buffer.GetSize());
}

std::unique_ptr<CFilter> Unpacked(const Bytes& bytes) {
    ktools::CMemoryBuffer buffer = Reader(bytes);
    return std::unique_ptr<CFilter>(UnpackFilter(buffer));
}

std::unique_ptr<CQuorelFrame> Frame(const Bytes& bytes) {
    CEthernetInfo ethernet;
    ethernet.AnalyzeFrame(bytes.data(), bytes.size());
    return std::make_unique<CQuorelFrame>(bytes.data(), static_cast<unsigned short>(bytes.size()),
                                          &ethernet);
}

std::unique_ptr<CFilter> FilterOfRow(const std::string& text, const Bytes& record) {
    if (text == "-") {
        return Unpacked(record);
    }
    CFilterParser parser;
    auto filter = parser.Parse(text);
    EXPECT_NE(filter, nullptr) << text << ": column " << parser.GetErrorColumn() << ": "
                               << parser.GetError();
    EXPECT_EQ(parser.GetErrorColumn(), 0);
    EXPECT_EQ(parser.GetError(), "");
    return filter;
}

std::vector<std::unique_ptr<CFilter>> GoldenFilters() {
    std::vector<std::unique_ptr<CFilter>> filters;
    for (const auto& row : qndis::test::ReadGolden("filters.txt", 4)) {
        filters.push_back(FilterOfRow(row.fields[0], qndis::test::HexBytes(row.fields[2].substr(
                                                         0, row.fields[2].find(" > ")))));
        EXPECT_NE(filters.back(), nullptr) << row.where;
    }
    return filters;
}
