#include "qndislib/adapter/MediaType.h"

#include "qndislib/adapter/PhysicalMediaType.h"
#include "tests/support/GoldenFile.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>

namespace {

TEST(MediaType, NamesAtTheEndsOfTheTablesAndBeyond) {
    for (const qndis::test::GoldenRow& row : qndis::test::ReadGolden("media-names.txt", 4)) {
        SCOPED_TRACE(row.where);
        const std::int32_t value = std::stoi(row.fields[1]);
        const auto check = [&](const auto& type) {
            EXPECT_EQ(type.GetName(), row.fields[2]);
            EXPECT_EQ(type.GetShortName(), row.fields[3]);
            EXPECT_EQ(type.GetType(), value);
        };
        row.fields[0] == "medium" ? check(CMediaType(value)) : check(CPhysicalMediaType(value));
    }
    EXPECT_EQ(CMediaType().GetType() + CPhysicalMediaType().GetType(), -2);
}

TEST(MediaType, AssignmentAndComparison) {
    CMediaType a(5);
    EXPECT_TRUE(a == CMediaType(5));
    a = 13;
    EXPECT_FALSE(a == CMediaType(5));
    CPhysicalMediaType p(1);
    EXPECT_TRUE(p == CPhysicalMediaType(1));
    p = 8;
    EXPECT_FALSE(p == CPhysicalMediaType(1));
}

} // namespace
