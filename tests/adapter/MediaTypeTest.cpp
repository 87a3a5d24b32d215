#include "qndislib/adapter/MediaType.h"

#include "qndislib/adapter/PhysicalMediaType.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>

namespace {

// The ends of each name table and the values just beyond them, where an
// off-by-one lookup reads a neighbour or past the table.
TEST(MediaType, NamesAtTheEndsOfTheTablesAndBeyond) {
    struct Row {
        std::int32_t value;
        const char* name;
        const char* shortName;
    };
    for (const Row& row : {Row{0, "Ethernet (802.3)", "Ethernet"}, Row{11, "Unknown", "Unknown"},
                           Row{13, "Firewire", "Firewire"}, Row{14, "Unknown", "Unknown"},
                           Row{-1, "Unknown", "Unknown"}, Row{-2, "Unknown", "Unknown"}}) {
        SCOPED_TRACE(row.value);
        const CMediaType type(row.value);
        EXPECT_STREQ(type.GetName(), row.name);
        EXPECT_STREQ(type.GetShortName(), row.shortName);
        EXPECT_EQ(type.GetType(), row.value);
    }
    for (const Row& row :
         {Row{0, "Unspecified", "Unspecified"}, Row{8, "Wireless WAN", "WirelessWAN"},
          Row{9, "Unknown", "Unknown"}, Row{-1, "Unknown", "Unknown"}}) {
        SCOPED_TRACE(row.value);
        const CPhysicalMediaType type(row.value);
        EXPECT_STREQ(type.GetName(), row.name);
        EXPECT_STREQ(type.GetShortName(), row.shortName);
    }
    EXPECT_EQ(CMediaType().GetType(), -1);
    EXPECT_EQ(CPhysicalMediaType().GetType(), -1);
}

TEST(MediaType, AssignmentAndComparison) {
    CMediaType a(5);
    const CMediaType b(5);
    EXPECT_TRUE(a == b);
    a = 13;
    EXPECT_FALSE(a == b);
    a = b;
    EXPECT_TRUE(a == b);
    EXPECT_STREQ(a.GetName(), "DIX");
    CPhysicalMediaType p(1);
    const CPhysicalMediaType q(p);
    EXPECT_TRUE(p == q);
    p = 8;
    EXPECT_FALSE(p == q);
}

} // namespace
