#include "qndislib/adapter/MediaType.h"

#include "qndislib/adapter/PhysicalMediaType.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>

namespace {

struct NameRow {
    std::uint32_t value;
    std::string name;
    std::string shortName;
};

class MediaTypeNames : public testing::TestWithParam<NameRow> {};

TEST_P(MediaTypeNames, ValueSelectsBothNames) {
    const CMediaType type(GetParam().value);
    EXPECT_EQ(type.GetName(), GetParam().name);
    EXPECT_EQ(type.GetShortName(), GetParam().shortName);
    EXPECT_EQ(type.GetType(), static_cast<std::int32_t>(GetParam().value));
}

INSTANTIATE_TEST_SUITE_P(
    Table, MediaTypeNames,
    testing::Values(
        NameRow{0, "Ethernet (802.3)", "Ethernet"}, NameRow{1, "Token Ring (802.5)", "TokenRing"},
        NameRow{2, "FDDI", "FDDI"}, NameRow{3, "WAN", "WAN"}, NameRow{4, "LocalTalk", "LocalTalk"},
        NameRow{5, "DIX", "DIX"}, NameRow{6, "ARCNET Raw", "ARCNET_Raw"},
        NameRow{7, "ARCNET (878.2)", "ARCNET_878_2"}, NameRow{8, "ATM", "ATM"},
        NameRow{9, "Wireless WAN", "Wireless_WAN"}, NameRow{10, "Infrared (IrDA)", "IRDA"},
        NameRow{11, "Unknown", "Unknown"}, NameRow{12, "Connection-oriented WAN", "CoWan"},
        NameRow{13, "Firewire", "Firewire"}, NameRow{14, "Unknown", "Unknown"},
        NameRow{0x7FFFFFFF, "Unknown", "Unknown"}, NameRow{0xFFFFFFFE, "Unknown", "Unknown"}));

class PhysicalMediaTypeNames : public testing::TestWithParam<NameRow> {};

TEST_P(PhysicalMediaTypeNames, ValueSelectsBothNames) {
    const CPhysicalMediaType type(GetParam().value);
    EXPECT_EQ(type.GetName(), GetParam().name);
    EXPECT_EQ(type.GetShortName(), GetParam().shortName);
}

INSTANTIATE_TEST_SUITE_P(
    Table, PhysicalMediaTypeNames,
    testing::Values(NameRow{0, "Unspecified", "Unspecified"},
                    NameRow{1, "Wireless LAN", "Wireless"},
                    NameRow{2, "Cable modem", "Cable_modem"},
                    NameRow{3, "Phone line", "Phone_line"}, NameRow{4, "Power line", "Power_line"},
                    NameRow{5, "DSL", "DSL"}, NameRow{6, "Fibre channel", "Fibre"},
                    NameRow{7, "Firewire", "Firewire"}, NameRow{8, "Wireless WAN", "WirelessWAN"},
                    NameRow{9, "Unknown", "Unknown"}, NameRow{13, "Unknown", "Unknown"}));

TEST(MediaType, DefaultIsMinusOneAndUnnamed) {
    const CMediaType media;
    EXPECT_EQ(media.GetType(), -1);
    EXPECT_STREQ(media.GetName(), "Unknown");
    EXPECT_STREQ(media.GetShortName(), "Unknown");
    const CPhysicalMediaType physical;
    EXPECT_EQ(physical.GetType(), -1);
    EXPECT_STREQ(physical.GetName(), "Unknown");
    EXPECT_STREQ(physical.GetShortName(), "Unknown");
}

TEST(MediaType, NamesAreSharedConstantsNotCopies) {
    EXPECT_EQ(CMediaType(3).GetName(), CMediaType(3).GetName());
    EXPECT_EQ(CPhysicalMediaType(-1).GetName(), CPhysicalMediaType(42).GetName());
}

TEST(MediaType, AssignmentAndComparison) {
    CMediaType a(5);
    const CMediaType b(5);
    EXPECT_TRUE(a == b);
    a = 13;
    EXPECT_FALSE(a == b);
    EXPECT_STREQ(a.GetShortName(), "Firewire");
    a = b;
    EXPECT_TRUE(a == b);
    EXPECT_STREQ(a.GetName(), "DIX");

    CPhysicalMediaType p(1);
    const CPhysicalMediaType q(p);
    EXPECT_TRUE(p == q);
    p = 8;
    EXPECT_FALSE(p == q);
    EXPECT_STREQ(p.GetName(), "Wireless WAN");
}

} // namespace
