#include "qndislib/filter/StringTable.h"

#include "qndislib/filter/ResourceStrings.h"

#include <gtest/gtest.h>
#include <string>

namespace {

struct StringRow {
    unsigned int id;
    bool found;
    const char* text;
};

// The table's blocks are 64 (ids 1008-1023, absent), 65, 66 (1040-1055:
// four used entries, the rest empty) and 67 (absent); entries with spaces
// at either end keep them.
constexpr StringRow kRows[] = {
    {IDS_SPEED, true, ", Speed: "},
    {IDS_AND, true, " and "},
    {IDS_DESTINATION_PORT, true, "destination TCP/UDP port "},
    {IDS_ICMP_TYPE, true, "ICMP type "},
    {IDS_ICMP_TYPE + 1, true, ""},
    {1055, true, ""},
    {IDS_SPEED - 1, false, ""},
    {1056, false, ""},
    {0, false, ""},
};

} // namespace

TEST(StringTable, StartUpHandsTheLibrarysTableToTheDescriptions) {
    ASSERT_NE(GetLibraryStringModule(), nullptr);
    EXPECT_EQ(CResourceStrings::Instance().GetModule(), GetLibraryStringModule());
    EXPECT_STREQ(CResourceStrings::Instance().Get(IDS_SOURCE_IP), "source IP address ");
}

TEST(StringTable, ReadsTheLibrarysTableByBlock) {
    const HSTRINGMODULE module = GetLibraryStringModule();
    for (const StringRow& row : kRows) {
        std::string text = "stale";
        EXPECT_EQ(LoadResString(row.id, text, module), row.found) << row.id;
        EXPECT_EQ(GetResString(row.id, module), row.text) << row.id;
        if (row.found) {
            EXPECT_EQ(text, row.text) << row.id;
        }
    }
    std::string text;
    EXPECT_FALSE(LoadResString(IDS_SPEED, text, nullptr));
    EXPECT_EQ(GetResString(IDS_SPEED, nullptr), "");
}
