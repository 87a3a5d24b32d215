#include "qndislib/filter/FilterParser.h"

#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/ContentFilter.h"
#include "qndislib/filter/IPAddrFilter.h"
#include "qndislib/filter/IPPortFilter.h"
#include "qndislib/filter/ResourceStrings.h"
#include "qndislib/filter/UnpackFilter.h"
#include "qndislib/ktools/MemoryBuffer.h"

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace {

// Library start-up hands the string table to the descriptions; these tests
// link the filter objects without it.
class StringTableEnvironment : public ::testing::Environment {
public:
    void SetUp() override { CResourceStrings::Instance().SetModule(GetLibraryStringModule()); }
};

const auto* const stringTable = ::testing::AddGlobalTestEnvironment(new StringTableEnvironment);

std::unique_ptr<CFilter> MustParse(const std::string& text) {
    CFilterParser parser;
    auto filter = parser.Parse(text);
    EXPECT_NE(filter, nullptr) << text << ": column " << parser.GetErrorColumn() << ": "
                               << parser.GetError();
    EXPECT_EQ(parser.GetErrorColumn(), 0);
    EXPECT_TRUE(parser.GetError().empty());
    return filter;
}

std::vector<unsigned char> Packed(const CFilter& filter) {
    ktools::CMemoryBuffer buffer;
    filter.Pack(buffer);
    return {buffer.GetData(), buffer.GetData() + buffer.GetSize()};
}

// The conditions that words imply, as their descriptions state them.
const std::string IPv4 = "protocol is equal to 0000000800";
const std::string TcpOrUdp = "(subprotocol is equal to 6 or subprotocol is equal to 17)";
const std::string Tagged = "(frame contains {0x81, 0x0}at offset 12 (0xc) or frame contains "
                           "{0xaa, 0xaa, 0x3, 0x0, 0x0, 0x0, 0x81, 0x0}at offset 14 (0xe))";

std::string PortWord(const std::string& test) {
    return "(" + IPv4 + " and " + TcpOrUdp + " and " + test + ")";
}

std::string IPv4Word(const std::string& test) {
    return "(" + IPv4 + " and " + test + ")";
}

struct PrimaryCase {
    const char* text;
    eFilterId id;
    std::string description;
};

TEST(FilterParserPrimaries, EveryWordParsesToItsTestsAndTheConditionsItImplies) {
    const PrimaryCase cases[] = {
        {"src mac 00:a0:c9:14:c8:29", FilterSrcMAC, "source MAC is equal to 00-A0-C9-14-C8-29"},
        {"src mac 00-A0-C9-14-C8-29", FilterSrcMAC, "source MAC is equal to 00-A0-C9-14-C8-29"},
        {"ether src 00a0c914c829", FilterSrcMAC, "source MAC is equal to 00-A0-C9-14-C8-29"},
        {"dst mac ff:ff:ff:ff:ff:ff", FilterDstMAC,
         "destination MAC is equal to FF-FF-FF-FF-FF-FF"},
        {"ether dst 1:2:3:4:5:6", FilterDstMAC, "destination MAC is equal to 01-02-03-04-05-06"},
        {"ether host 1:2:3:4:5:6", FilterCompound,
         "(source MAC is equal to 01-02-03-04-05-06 or destination MAC is equal to "
         "01-02-03-04-05-06)"},
        {"proto 0x0800", FilterProtocol, IPv4},
        {"proto 2048", FilterProtocol, IPv4},
        {"proto ip", FilterProtocol, IPv4},
        {"ip", FilterProtocol, IPv4},
        {"proto 08:00", FilterProtocol, IPv4},
        {"proto ARP", FilterProtocol, "protocol is equal to 0000000806"},
        {"arp", FilterProtocol, "protocol is equal to 0000000806"},
        {"ip6", FilterProtocol, "protocol is equal to 00000086DD"},
        {"proto 0x080007809B", FilterProtocol, "protocol is equal to 080007809B"},
        {"proto 0xE0", FilterProtocol, "protocol is equal to 00000000E0"},
        // The analysis reports the protocol inside a tag, never the tag.
        {"proto vlan", FilterCompound, Tagged},
        {"proto 0x8100", FilterCompound, Tagged},
        {"proto 81:00", FilterCompound, Tagged},
        {"vlan", FilterCompound, Tagged},
        {"ipproto 6", FilterCompound, IPv4Word("subprotocol is equal to 6")},
        {"ipproto udp", FilterCompound, IPv4Word("subprotocol is equal to 17")},
        {"tcp", FilterCompound, IPv4Word("subprotocol is equal to 6")},
        {"icmp", FilterCompound, IPv4Word("subprotocol is equal to 1")},
        {"ipproto 0xff", FilterCompound, IPv4Word("subprotocol is equal to 255")},
        {"src ip 10.0.0.1", FilterCompound, IPv4Word("source IP address is equal to 10.0.0.1")},
        {"src host 10.0.0.1", FilterCompound, IPv4Word("source IP address is equal to 10.0.0.1")},
        {"dst ip < 10.0.0.0", FilterCompound,
         IPv4Word("destination IP address is less than 10.0.0.0")},
        {"host 10.0.0.1", FilterCompound,
         IPv4Word("(source IP address is equal to 10.0.0.1 or destination IP address is equal "
                  "to 10.0.0.1)")},
        {"src net 10.0.0.0/8", FilterCompound,
         IPv4Word("source IP address is greater than 9.255.255.255 and source IP address is "
                  "less than 11.0.0.0")},
        {"dst net 10.1.2.3", FilterCompound,
         IPv4Word("destination IP address is equal to 10.1.2.3")},
        {"dst net 0.0.0.0/0", FilterCompound,
         IPv4Word("(destination IP address is greater than 0.0.0.0 or destination IP address "
                  "is equal to 0.0.0.0)")},
        {"net 192.168.0.0/16", FilterCompound,
         IPv4Word("((source IP address is greater than 192.167.255.255 and source IP address "
                  "is less than 192.169.0.0) or (destination IP address is greater than "
                  "192.167.255.255 and destination IP address is less than 192.169.0.0))")},
        {"src port > 1023", FilterCompound, PortWord("source TCP/UDP port is greater than 1023")},
        {"dst port 80", FilterCompound, PortWord("destination TCP/UDP port is equal to 80")},
        {"port 53", FilterCompound,
         PortWord("(source TCP/UDP port is equal to 53 or destination TCP/UDP port is equal to "
                  "53)")},
        {"icmp type 8", FilterCompound,
         "(" + IPv4 + " and subprotocol is equal to 1 and ICMP type is equal to 8)"},
        {"icmp type echo-reply", FilterCompound,
         "(" + IPv4 + " and subprotocol is equal to 1 and ICMP type is equal to 0)"},
        {"contains \"GET \"", FilterContent, "frame contains {0x47, 0x45, 0x54, 0x20}"},
        {"contains 08:00 at 12", FilterContent, "frame contains {0x8, 0x0}at offset 12 (0xc)"},
        {"contains 0x0800 at 0x0c", FilterContent, "frame contains {0x8, 0x0}at offset 12 (0xc)"},
        {"contains \"a\\\"\\x00\\n\"", FilterContent, "frame contains {0x61, 0x22, 0x0, 0xa}"},
        {"contains \"\"", FilterContent, "frame contains {}"},
        {"SRC Port 80", FilterCompound, PortWord("source TCP/UDP port is equal to 80")},
        {"(((proto 1)))", FilterProtocol, "protocol is equal to 0000000001"},
    };
    for (const PrimaryCase& c : cases) {
        SCOPED_TRACE(c.text);
        const auto filter = MustParse(c.text);
        ASSERT_NE(filter, nullptr);
        EXPECT_EQ(filter->GetFilterId(), c.id);
        EXPECT_EQ(filter->GetDescription(), c.description);
        EXPECT_TRUE(filter->GetEnabled());
        EXPECT_TRUE(filter->GetName().empty());
    }
}

// The word's own test, behind the conditions it implies.
template <typename Kind> const Kind& OwnTest(const CFilter& filter) {
    const auto& compound = dynamic_cast<const CCompoundFilter&>(filter);
    return dynamic_cast<const Kind&>(*compound.GetAt(compound.GetCount() - 1));
}

TEST(FilterParserPrimaries, AddressesAndPortsLandInTheRightFields) {
    const auto source = MustParse("src ip 192.168.0.1");
    const auto& address = OwnTest<CIPAddrFilter>(*source);
    EXPECT_EQ(address.GetOffset(), 12U);
    EXPECT_EQ(address.GetIPAddr(), "192.168.0.1");
    // Stored as the host-order number, least significant byte first.
    const std::vector<unsigned char> packed = Packed(address);
    ASSERT_GE(packed.size(), 12U);
    EXPECT_EQ(std::vector<unsigned char>(packed.end() - 12, packed.end() - 8),
              (std::vector<unsigned char>{0x01, 0x00, 0xA8, 0xC0}));
    EXPECT_EQ(OwnTest<CIPAddrFilter>(*MustParse("dst ip 1.2.3.4")).GetOffset(), 16U);

    const auto source443 = MustParse("src port 443");
    const auto& port = OwnTest<CIPPortFilter>(*source443);
    EXPECT_EQ(port.GetIPPort(), 443);
    EXPECT_EQ(static_cast<int>(port.GetType()), 1);
    EXPECT_EQ(static_cast<int>(OwnTest<CIPPortFilter>(*MustParse("dst port 1")).GetType()), 3);

    const auto anywhere = MustParse("contains \"x\"");
    EXPECT_EQ(dynamic_cast<const CContentFilter&>(*anywhere).GetOffset(), 0xFFFFFFFFU);
}

bool AnyNegated(const CFilter& filter) {
    const auto* compound = dynamic_cast<const CCompoundFilter*>(&filter);
    if (compound == nullptr) {
        return filter.GetNegateResult();
    }
    for (unsigned i = 0; i < compound->GetCount(); ++i) {
        if (AnyNegated(*compound->GetAt(i))) {
            return true;
        }
    }
    return false;
}

// A negated test passes data too short to hold its field, so comparisons
// are built from the three operations alone, at the edges of the range too.
TEST(FilterParserComparisons, EachRelationIsBuiltWithoutTheNegationSwitch) {
    const struct {
        const char* text;
        const char* test;
    } cases[] = {
        {"dst port 1024", "destination TCP/UDP port is equal to 1024"},
        {"dst port = 1024", "destination TCP/UDP port is equal to 1024"},
        {"dst port==1024", "destination TCP/UDP port is equal to 1024"},
        {"dst port != 1024",
         "(destination TCP/UDP port is less than 1024 or destination TCP/UDP port is greater "
         "than 1024)"},
        {"dst port < 1024", "destination TCP/UDP port is less than 1024"},
        {"dst port >= 1024", "destination TCP/UDP port is greater than 1023"},
        {"dst port > 1024", "destination TCP/UDP port is greater than 1024"},
        {"dst port <= 1024", "destination TCP/UDP port is less than 1025"},
        {"dst port != 0", "destination TCP/UDP port is greater than 0"},
        {"dst port != 65535", "destination TCP/UDP port is less than 65535"},
        {"dst port >= 0",
         "(destination TCP/UDP port is greater than 0 or destination TCP/UDP port is equal to "
         "0)"},
        {"dst port <= 65535",
         "(destination TCP/UDP port is greater than 0 or destination TCP/UDP port is equal to "
         "0)"},
        {"dst port > 65535", "destination TCP/UDP port is greater than 65535"},
        {"src ip>=10.1.2.3", "source IP address is greater than 10.1.2.2"},
        {"src ip<=10.1.2.3", "source IP address is less than 10.1.2.4"},
        {"src ip != 0.0.0.0", "source IP address is greater than 0.0.0.0"},
        {"src ip <= 255.255.255.255",
         "(source IP address is greater than 0.0.0.0 or source IP address is equal to 0.0.0.0)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto filter = MustParse(c.text);
        EXPECT_FALSE(AnyNegated(*filter));
        const std::string description = filter->GetDescription();
        EXPECT_EQ(description.substr(description.rfind(" and ") + 5), std::string(c.test) + ")");
    }
}

TEST(FilterParserComparisons, EqualityKindsTakeNotEqual) {
    EXPECT_EQ(MustParse("src mac != 00:00:00:00:00:01")->GetDescription(),
              "source MAC is not equal to 00-00-00-00-00-01");
    EXPECT_EQ(MustParse("proto != ip")->GetDescription(), "protocol is not equal to 0000000800");
    EXPECT_EQ(MustParse("proto != vlan")->GetDescription(),
              "(frame contains {0x81, 0x0}at offset 12 (0xc) and frame contains {0xaa, 0xaa, "
              "0x3, 0x0, 0x0, 0x0, 0x81, 0x0}at offset 14 (0xe))");
    EXPECT_EQ(MustParse("ipproto == tcp")->GetDescription(), IPv4Word("subprotocol is equal to 6"));
}

TEST(FilterParserNegation, NotSwitchesTheNegationOfEveryTest) {
    const struct {
        const char* text;
        std::string description;
    } cases[] = {
        {"not src mac 1:2:3:4:5:6", "source MAC is not equal to 01-02-03-04-05-06"},
        {"! proto arp", "protocol is not equal to 0000000806"},
        {"not not proto arp", "protocol is equal to 0000000806"},
        {"not proto != arp", "protocol is equal to 0000000806"},
        {"not (proto arp)", "protocol is not equal to 0000000806"},
        {"not contains \"x\"", "frame contains {0x78}"},
        // The implied conditions are negated with the test: not an IPv4
        // frame, or not TCP nor UDP, or another port.
        {"not dst port 80",
         "(protocol is not equal to 0000000800 or (subprotocol is not equal to 6 and "
         "subprotocol is not equal to 17) or destination TCP/UDP port is not equal to 80)"},
        {"not src ip < 10.0.0.0",
         "(protocol is not equal to 0000000800 or source IP address is greater or equal to "
         "10.0.0.0)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(MustParse(c.text)->GetDescription(), c.description);
    }
}

TEST(FilterParserNegation, NegatedGroupsAreTurnedAroundSoTheirTextIsTrue) {
    const auto filter = MustParse("not (src mac 1:2:3:4:5:6 and (proto arp or proto ip))");
    const auto& outer = dynamic_cast<const CCompoundFilter&>(*filter);
    EXPECT_FALSE(outer.GetNegateResult());
    EXPECT_NE(static_cast<int>(outer.GetOperator()), 0);
    EXPECT_EQ(filter->GetDescription(),
              "(source MAC is not equal to 01-02-03-04-05-06 or (protocol is not equal to "
              "0000000806 and protocol is not equal to 0000000800))");
}

// Words meeting in one tree state each condition once.
TEST(FilterParserImpliedConditions, AreJoinedWithoutRepeatsOrConditionsDecidedElsewhere) {
    const struct {
        const char* text;
        std::string description;
    } cases[] = {
        {"tcp and dst port 80",
         "(" + IPv4 +
             " and subprotocol is equal to 6 and destination TCP/UDP port is equal to "
             "80)"},
        {"ip and udp", IPv4Word("subprotocol is equal to 17")},
        {"src port 1 and dst port 2",
         PortWord("source TCP/UDP port is equal to 1 and destination TCP/UDP port is equal to "
                  "2")},
        {"ip and not ipproto 6", IPv4Word("subprotocol is not equal to 6")},
        {"icmp and not icmp type 8",
         "(" + IPv4 + " and subprotocol is equal to 1 and ICMP type is not equal to 8)"},
        {"proto 1 or (proto 2 or proto 3) or proto 1",
         "(protocol is equal to 0000000001 or protocol is equal to 0000000002 or protocol is "
         "equal to 0000000003)"},
        {"proto 1 and (proto 1 or proto 2)", "protocol is equal to 0000000001"},
        {"proto 1 or (proto 1 and proto 2)", "protocol is equal to 0000000001"},
        {"proto 1 or (proto != 1 and proto 2)",
         "(protocol is equal to 0000000001 or protocol is equal to 0000000002)"},
        // A contradiction stays visible rather than vanishing.
        {"arp and not arp",
         "(protocol is equal to 0000000806 and protocol is not equal to 0000000806)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(MustParse(c.text)->GetDescription(), c.description);
    }
}

TEST(FilterParserPrecedence, NotBindsTighterThanAndWhichBindsTighterThanOr) {
    const struct {
        const char* text;
        const char* description;
    } cases[] = {
        {"proto 1 or proto 2 and proto 3",
         "(protocol is equal to 0000000001 or (protocol is equal to 0000000002 and protocol is "
         "equal to 0000000003))"},
        {"proto 1 and proto 2 or proto 3",
         "((protocol is equal to 0000000001 and protocol is equal to 0000000002) or protocol is "
         "equal to 0000000003)"},
        {"(proto 1 or proto 2) and proto 3",
         "((protocol is equal to 0000000001 or protocol is equal to 0000000002) and protocol is "
         "equal to 0000000003)"},
        {"not proto 1 and proto 2",
         "(protocol is not equal to 0000000001 and protocol is equal to 0000000002)"},
        {"proto 1 && proto 2 || proto 3",
         "((protocol is equal to 0000000001 and protocol is equal to 0000000002) or protocol is "
         "equal to 0000000003)"},
        {"proto 1 AND proto 2 and proto 3",
         "(protocol is equal to 0000000001 and protocol is equal to 0000000002 and protocol is "
         "equal to 0000000003)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(MustParse(c.text)->GetDescription(), c.description);
    }
}

TEST(FilterParserPrecedence, ChainsOfOneOperatorBecomeOneCompound) {
    const auto filter = MustParse("proto 1 or proto 2 or proto 3 or proto 4");
    const auto& compound = dynamic_cast<const CCompoundFilter&>(*filter);
    EXPECT_EQ(compound.GetCount(), 4U);
    for (unsigned i = 0; i < compound.GetCount(); ++i) {
        EXPECT_EQ(compound.GetAt(i)->GetFilterId(), FilterProtocol);
    }
}

struct ErrorCase {
    const char* text;
    int column;
    const char* message; // a part of the message
};

TEST(FilterParserErrors, PointAtTheColumnThatCouldNotBeRead) {
    const ErrorCase cases[] = {
        {"", 1, "expected a filter, found the end of the filter"},
        {"   ", 4, "expected a filter"},
        {"frobnicate", 1, "unknown filter 'frobnicate'"},
        {"src", 4, "expected 'mac', 'ip', 'host', 'net' or 'port' after 'src'"},
        {"dst frob 1.2.3.4", 5, "expected 'mac', 'ip', 'host', 'net' or 'port' after 'dst'"},
        {"ether 1:2:3:4:5:6", 7, "expected 'host' or 'src' or 'dst' after 'ether'"},
        {"ether host != 1:2:3:4:5:6", 12, "'ether host' tests both directions"},
        {"host < 10.0.0.1", 6, "'host' tests both directions and takes no comparison but '='"},
        {"port != 53", 6, "write src port or dst port, or 'not port ...'"},
        {"net 10.0.0.1/8", 5, "'10.0.0.1/8' has bits set behind its 8-bit prefix"},
        {"net 10.0.0.0/33", 14, "'33' is not a prefix length"},
        {"net 10.0.0.0/0x8", 14, "'0x8' is not a prefix length"},
        {"net > 10.0.0.0/8", 5, "'net' takes no comparison"},
        {"src net 10.0.0/8", 9, "'10.0.0' is not an IPv4 address"},
        {"ipproto != 6", 9, "write 'ip and not ipproto N'"},
        {"icmp type != 0", 11, "write 'icmp and not icmp type N'"},
        {"src ip 10.0.0", 8, "'10.0.0' is not an IPv4 address"},
        {"src ip 10.0.0.256", 8, "not an IPv4 address"},
        {"src ip 010.0.0.1", 8, "not an IPv4 address"},
        {"src ip 1.2.3.4.5", 8, "not an IPv4 address"},
        {"src mac 00:a0:c9:14:c8", 9, "is not a hardware address"},
        {"src mac 00:a0:c9:14:c8:2999", 9, "is not a hardware address"},
        {"src mac < 00:a0:c9:14:c8:29", 9, "can only be compared with '=' or '!='"},
        {"proto > 5", 7, "can only be compared with '=' or '!='"},
        {"proto ipx5", 7, "is not a link protocol id"},
        {"proto 0x1000000000000", 7, "is not a link protocol id"},
        {"ipproto 256", 9, "'256' is not an IP protocol number or icmp, igmp, tcp, udp (0 to 255)"},
        {"ipproto", 8, "expected an IP protocol number"},
        {"dst port 65536", 10, "'65536' is not a port number (0 to 65535)"},
        {"dst port -1", 10, "is not a port number"},
        {"dst port 8o", 10, "is not a port number"},
        {"icmp code 3", 6, "expected 'and', 'or' or the end of the filter, found 'code'"},
        {"icmp type 300", 11, "is not an ICMP type"},
        {"contains abc", 10, "is neither a \"string\" nor hexadecimal bytes"},
        {"contains", 9, "expected a \"string\" or hexadecimal bytes after 'contains'"},
        {"contains \"abc", 10, "has no closing '\"'"},
        {"contains \"a\\q\"", 12, "unknown escape '\\q'"},
        {"contains \"\\x4\"", 11, "'\\x' must be followed by two hexadecimal digits"},
        {"contains 08 at", 15, "expected an offset"},
        {"contains 08 at 4294967295", 16, "is not an offset"},
        {"(dst port 80", 13, "expected ')' to close the '(' at column 1"},
        {"dst port 80)", 12, "this ')' has no matching '('"},
        {"dst port 80 dst port 81", 13, "expected 'and', 'or' or the end of the filter"},
        {"dst port 80 and", 16, "expected a filter, found the end of the filter"},
        {"dst port 80 or or dst port 1", 16, "expected a filter, found 'or'"},
        {"not", 4, "expected a filter"},
        {"()", 2, "expected a filter, found ')'"},
        {"dst port # 80", 10, "unexpected character '#'"},
        {"dst port 80 & dst port 1", 13, "unexpected character '&'"},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.text);
        CFilterParser parser;
        EXPECT_EQ(parser.Parse(c.text), nullptr);
        EXPECT_EQ(parser.GetErrorColumn(), c.column);
        EXPECT_NE(parser.GetError().find(c.message), std::string::npos) << parser.GetError();
    }
}

TEST(FilterParserErrors, ASuccessfulParseClearsTheLastError) {
    CFilterParser parser;
    EXPECT_EQ(parser.Parse("src"), nullptr);
    EXPECT_NE(parser.GetErrorColumn(), 0);
    EXPECT_NE(parser.Parse("dst port 1"), nullptr);
    EXPECT_EQ(parser.GetErrorColumn(), 0);
    EXPECT_TRUE(parser.GetError().empty());
}

TEST(FilterParserErrors, NestingAndLengthAreBoundedButLongNotChainsAreFine) {
    const auto nested = [](int depth) {
        return std::string(static_cast<std::size_t>(depth), '(') + "dst port 1" +
               std::string(static_cast<std::size_t>(depth), ')');
    };
    CFilterParser parser;
    EXPECT_NE(parser.Parse(nested(CFilterParser::MaxDepth)), nullptr);
    EXPECT_EQ(parser.Parse(nested(CFilterParser::MaxDepth + 1)), nullptr);
    EXPECT_EQ(parser.GetErrorColumn(), CFilterParser::MaxDepth + 1);
    EXPECT_NE(parser.GetError().find("nested deeper"), std::string::npos);
    EXPECT_EQ(parser.Parse(nested(100000)), nullptr);

    // Two tokens, then three for each further test: the longest accepted.
    std::string manyTests = "proto 0";
    for (int i = 1; i <= (CFilterParser::MaxTokens - 2) / 3; ++i) {
        manyTests += " or proto " + std::to_string(i);
    }
    EXPECT_NE(parser.Parse(manyTests), nullptr);
    const std::string tooMany = manyTests + " or proto 0";
    EXPECT_EQ(parser.Parse(tooMany), nullptr);
    EXPECT_EQ(parser.GetErrorColumn(), static_cast<int>(tooMany.size()));
    EXPECT_NE(parser.GetError().find("longer than"), std::string::npos);

    std::string manyNots;
    for (int i = 0; i < 20001; ++i) {
        manyNots += "not ";
    }
    const auto filter = parser.Parse(manyNots + "proto 1");
    ASSERT_NE(filter, nullptr);
    EXPECT_TRUE(filter->GetNegateResult());
}

TEST(FilterParserRoundTrip, EveryParsedTreeStoresAndReadsBackUnchanged) {
    const char* texts[] = {
        "src mac 00:a0:c9:14:c8:29",
        "not dst mac ff:ff:ff:ff:ff:ff",
        "proto 0x080007809B",
        "ipproto tcp",
        "src ip >= 192.168.0.1",
        "dst ip < 10.0.0.0",
        "src port > 1023",
        "dst port != 80",
        "icmp type 8",
        "contains \"GET \"",
        "contains 08:00 at 12",
        "vlan and not ether host 1:2:3:4:5:6",
        "net 192.168.0.0/16 and not port 53",
        "proto ip and (ipproto tcp or ipproto udp) and not (dst port 22 or src "
        "port 22)",
        "not (contains \"a\" and (contains 01:02 at 3 or src mac 1:2:3:4:5:6)) "
        "or icmp type 3",
        "((((((((dst port 1 or src port 2) and dst port 3) or src port 4) and "
        "dst port 5) or "
        "src port 6) and dst port 7) or src port 8) and dst port 9)",
    };
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        const auto filter = MustParse(text);
        ASSERT_NE(filter, nullptr);
        const std::vector<unsigned char> bytes = Packed(*filter);

        ktools::CMemoryBuffer stream(bytes.data(), static_cast<std::int32_t>(bytes.size()));
        const std::unique_ptr<CFilter> back(UnpackFilter(stream));
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(stream.GetRemaining(), 0);
        EXPECT_EQ(back->GetFilterId(), filter->GetFilterId());
        EXPECT_EQ(back->GetDescription(), filter->GetDescription());
        EXPECT_EQ(Packed(*back), bytes);
    }
}

TEST(FilterParserRoundTrip, TheDeepestAcceptedTreeReadsBack) {
    CFilterParser parser;
    std::string text = "dst port 1";
    for (int i = 0; i < CFilterParser::MaxDepth; ++i) {
        text = (i % 2 == 0 ? "(src port 9 or " : "(src port 9 and ") + text + ")";
    }
    const auto filter = parser.Parse(text);
    ASSERT_NE(filter, nullptr);
    const std::vector<unsigned char> bytes = Packed(*filter);
    ktools::CMemoryBuffer stream(bytes.data(), static_cast<std::int32_t>(bytes.size()));
    const std::unique_ptr<CFilter> back(UnpackFilter(stream));
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(Packed(*back), bytes);
}

} // namespace
