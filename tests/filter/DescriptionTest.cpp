#include "TestSupport.h"
#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/ContentFilter.h"
#include "qndislib/filter/DstMACFilter.h"
#include "qndislib/filter/ICMPTypeFilter.h"
#include "qndislib/filter/IPAddrFilter.h"
#include "qndislib/filter/IPPortFilter.h"
#include "qndislib/filter/IPSubprotocolFilter.h"
#include "qndislib/filter/ProtocolFilter.h"
#include "qndislib/filter/ResourceStrings.h"
#include "qndislib/filter/SrcMACFilter.h"

#include <gtest/gtest.h>
#include <string>

namespace {

unsigned char Pattern[] = {0x08, 0x00};

struct Described {
    std::string text;
    std::string expected;
};

} // namespace

TEST(Description, SingleValueKinds) {
    CCompoundFilter andFilter;
    andFilter.Add(CProtocolFilter(CProtocolId("0800"), "", false));
    andFilter.Add(CIPPortFilter(80, CIPPortFilter::PortDestination, OperationEqual, "", false));
    CCompoundFilter orFilter(CCompoundFilter::OperatorOr);
    orFilter.Add(CICMPTypeFilter(0, "", false));
    orFilter.Add(CICMPTypeFilter(8, "", true));
    orFilter.Add(andFilter);

    for (const Described& d : {
             Described{CSrcMACFilter("00-A0-C9-14-C8-29", "", false).GetDescription(),
                       "source MAC is equal to 00-A0-C9-14-C8-29"},
             Described{CDstMACFilter("ffffffffffff", "", true).GetDescription(),
                       "destination MAC is not equal to FF-FF-FF-FF-FF-FF"},
             Described{CDstMACFilter("1", "", false).GetDescription(),
                       "destination MAC is equal to 00-00-00-00-00-01"},
             Described{CProtocolFilter(CProtocolId("0800"), "", false).GetDescription(),
                       "protocol is equal to 0000000800"},
             Described{CIPSubprotocolFilter(6, "", true).GetDescription(),
                       "subprotocol is not equal to 6"},
             Described{CICMPTypeFilter(255, "", false).GetDescription(),
                       "ICMP type is equal to 255"},
             Described{CContentFilter(Pattern, 2, 12, "", false).GetDescription(),
                       "frame contains {0x8, 0x0}at offset 12 (0xc)"},
             Described{CContentFilter(Pattern, 2, 12, "", true).GetDescription(),
                       "frame contains {0x8, 0x0}at offset 12 (0xc)"},
             Described{
                 CContentFilter(Pattern, 2, CContentFilter::Anywhere, "", false).GetDescription(),
                 "frame contains {0x8, 0x0}"},
             Described{CContentFilter(nullptr, 0, 0x7FFFFFFF, "", false).GetDescription(),
                       "frame contains {}at offset 2147483647 (0x7fffffff)"},
             Described{CContentFilter(static_cast<ktools::CBinaryData*>(nullptr), 0, "", false)
                           .GetDescription(),
                       ""},
             Described{CCompoundFilter().GetDescription(), "()"},
             Described{andFilter.GetDescription(),
                       "(protocol is equal to 0000000800 and destination TCP/UDP port is equal "
                       "to 80)"},
             Described{orFilter.GetDescription(),
                       "(ICMP type is equal to 0 or ICMP type is not equal to 8 or (protocol is "
                       "equal to 0000000800 and destination TCP/UDP port is equal to 80))"},
         }) {
        EXPECT_EQ(d.text, d.expected);
    }
}

// The word states the relation that CheckFrame applies once negation is
// taken into account.
TEST(Description, RelationWordsOfEveryOperation) {
    struct Case {
        eOperation operation;
        bool negated;
        const char* relation;
    };
    for (const Case& c : {Case{OperationEqual, false, "is equal to "},
                          Case{OperationEqual, true, "is not equal to "},
                          Case{OperationLess, false, "is less than "},
                          Case{OperationLess, true, "is greater or equal to "},
                          Case{OperationGreater, false, "is greater than "},
                          Case{OperationGreater, true, "is less or equal to "},
                          Case{static_cast<eOperation>(3), false, ""}}) {
        EXPECT_EQ(CIPAddrFilter("192.168.0.1", 12, c.operation, "", c.negated).GetDescription(),
                  std::string("source IP address ") + c.relation + "192.168.0.1");
        EXPECT_EQ(CIPPortFilter(65535, CIPPortFilter::PortSourceAlt, c.operation, "", c.negated)
                      .GetDescription(),
                  std::string("source TCP/UDP port ") + c.relation + "65535");
    }
}

TEST(Description, SubjectsOfAddressOffsetsAndPortTypes) {
    EXPECT_EQ(CIPAddrFilter("10.0.0.0", 16, OperationEqual, "", false).GetDescription(),
              "destination IP address is equal to 10.0.0.0");
    EXPECT_EQ(CIPAddrFilter("10.0.0.0", 0, OperationEqual, "", false).GetDescription(),
              "destination IP address is equal to 10.0.0.0");
    EXPECT_EQ(CIPAddrFilter("not an address", 12, OperationEqual, "", false).GetIPAddr(),
              "255.255.255.255");
    const struct {
        CIPPortFilter::ePortType type;
        const char* subject;
    } types[] = {{CIPPortFilter::PortUnset, "destination"},
                 {CIPPortFilter::PortSource, "source"},
                 {CIPPortFilter::PortSourceAlt, "source"},
                 {CIPPortFilter::PortDestination, "destination"},
                 {static_cast<CIPPortFilter::ePortType>(9), "destination"}};
    for (const auto& t : types) {
        EXPECT_EQ(CIPPortFilter(80, t.type, OperationEqual, "", false).GetDescription(),
                  std::string(t.subject) + " TCP/UDP port is equal to 80");
    }
}

TEST(StringTable, EveryTextAndTheGapsAroundIt) {
    const char* const texts[] = {", Speed: ",
                                 "is equal to ",
                                 "is less than ",
                                 "is greater than ",
                                 "is not equal to ",
                                 "is less or equal to ",
                                 "is greater or equal to ",
                                 "source MAC ",
                                 "destination MAC ",
                                 "protocol ",
                                 " and ",
                                 " or ",
                                 "subprotocol ",
                                 "source IP address ",
                                 "destination IP address ",
                                 "source TCP/UDP port ",
                                 "destination TCP/UDP port ",
                                 "frame contains ",
                                 "at offset ",
                                 "ICMP type "};
    const HSTRINGMODULE module = GetLibraryStringModule();
    for (unsigned int id = 1024; id <= 1043; ++id) {
        EXPECT_EQ(GetResString(id, module), texts[id - 1024]);
    }
    std::string text = "stale";
    EXPECT_FALSE(LoadResString(5, text, module));
    EXPECT_FALSE(LoadResString(1023, text, module));
    EXPECT_FALSE(LoadResString(1056, text, module));
    EXPECT_FALSE(LoadResString(1024, text, nullptr));
    EXPECT_TRUE(LoadResString(1044, text, module));
    EXPECT_EQ(text, "");
    EXPECT_EQ(GetResString(1044, module), "");
    EXPECT_EQ(GetResString(5, module), "");
    // 1024 + 65536 * 16 lands in the same block number once the block is
    // cut to 16 bits.
    EXPECT_EQ(GetResString(1024 + (1u << 20), module), ", Speed: ");
}

TEST(StringTable, RingOfTenSlots) {
    CResourceStrings& strings = CResourceStrings::Instance();
    const char* first = strings.Get(1024);
    EXPECT_STREQ(first, ", Speed: ");
    for (int i = 0; i < 9; ++i) {
        strings.Get(1033);
    }
    EXPECT_STREQ(first, ", Speed: ");
    strings.Get(1043);
    EXPECT_STREQ(first, "ICMP type ");
    EXPECT_STREQ(strings.Get(1044), "");
    EXPECT_STREQ(strings.Get(7), "");
}

TEST(StringTable, WithoutModuleWordsAreEmptyButDescriptionsAreBuilt) {
    CResourceStrings& strings = CResourceStrings::Instance();
    const HSTRINGMODULE module = strings.GetModule();
    strings.SetModule(nullptr);
    EXPECT_EQ(CIPSubprotocolFilter(6, "", false).GetDescription(), "6");
    EXPECT_STREQ(strings.Get(1024), "");
    strings.SetModule(module);
}
