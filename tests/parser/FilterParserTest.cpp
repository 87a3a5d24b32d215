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

struct PrimaryCase {
    const char* text;
    eFilterId id;
    const char* description;
};

TEST(FilterParserPrimaries, EveryKindParsesToItsFilterAndDescription) {
    const PrimaryCase cases[] = {
        {"src mac 00:a0:c9:14:c8:29", FilterSrcMAC, "source MAC is equal to 00-A0-C9-14-C8-29"},
        {"src mac 00-A0-C9-14-C8-29", FilterSrcMAC, "source MAC is equal to 00-A0-C9-14-C8-29"},
        {"src mac 00a0c914c829", FilterSrcMAC, "source MAC is equal to 00-A0-C9-14-C8-29"},
        {"dst mac ff:ff:ff:ff:ff:ff", FilterDstMAC,
         "destination MAC is equal to FF-FF-FF-FF-FF-FF"},
        {"dst mac 1:2:3:4:5:6", FilterDstMAC, "destination MAC is equal to 01-02-03-04-05-06"},
        {"proto 0x0800", FilterProtocol, "protocol is equal to 0000000800"},
        {"proto 2048", FilterProtocol, "protocol is equal to 0000000800"},
        {"proto ip", FilterProtocol, "protocol is equal to 0000000800"},
        {"proto 08:00", FilterProtocol, "protocol is equal to 0000000800"},
        {"proto ARP", FilterProtocol, "protocol is equal to 0000000806"},
        {"proto 0x080007809B", FilterProtocol, "protocol is equal to 080007809B"},
        {"proto 0xE0", FilterProtocol, "protocol is equal to 00000000E0"},
        {"ipproto 6", FilterIPSubprotocol, "subprotocol is equal to 6"},
        {"ipproto udp", FilterIPSubprotocol, "subprotocol is equal to 17"},
        {"ipproto 0xff", FilterIPSubprotocol, "subprotocol is equal to 255"},
        {"src ip 10.0.0.1", FilterIPAddr, "source IP address is equal to 10.0.0.1"},
        {"dst ip < 10.0.0.0", FilterIPAddr, "destination IP address is less than 10.0.0.0"},
        {"dst ip 255.255.255.255", FilterIPAddr,
         "destination IP address is equal to 255.255.255.255"},
        {"src port > 1023", FilterIPPort, "source TCP/UDP port is greater than 1023"},
        {"dst port 80", FilterIPPort, "destination TCP/UDP port is equal to 80"},
        {"dst port 65535", FilterIPPort, "destination TCP/UDP port is equal to 65535"},
        {"icmp type 8", FilterICMPType, "ICMP type is equal to 8"},
        {"icmp type echo-reply", FilterICMPType, "ICMP type is equal to 0"},
        {"contains \"GET \"", FilterContent, "frame contains {0x47, 0x45, 0x54, 0x20}"},
        {"contains 08:00 at 12", FilterContent, "frame contains {0x8, 0x0}at offset 12 (0xc)"},
        {"contains 0x0800 at 0x0c", FilterContent, "frame contains {0x8, 0x0}at offset 12 (0xc)"},
        {"contains \"a\\\"\\x00\\n\"", FilterContent, "frame contains {0x61, 0x22, 0x0, 0xa}"},
        {"contains \"\"", FilterContent, "frame contains {}"},
        {"SRC Port 80", FilterIPPort, "source TCP/UDP port is equal to 80"},
        {"(((dst port 80)))", FilterIPPort, "destination TCP/UDP port is equal to 80"},
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

TEST(FilterParserPrimaries, AddressesAndPortsLandInTheRightFields) {
    const auto source = MustParse("src ip 192.168.0.1");
    const auto& address = dynamic_cast<const CIPAddrFilter&>(*source);
    EXPECT_EQ(address.GetOffset(), 12U);
    EXPECT_EQ(address.GetIPAddr(), "192.168.0.1");
    // Stored as the host-order number, least significant byte first.
    const std::vector<unsigned char> packed = Packed(address);
    ASSERT_GE(packed.size(), 12U);
    EXPECT_EQ(std::vector<unsigned char>(packed.end() - 12, packed.end() - 8),
              (std::vector<unsigned char>{0x01, 0x00, 0xA8, 0xC0}));
    EXPECT_EQ(dynamic_cast<const CIPAddrFilter&>(*MustParse("dst ip 1.2.3.4")).GetOffset(), 16U);

    const auto port = MustParse("src port 443");
    EXPECT_EQ(dynamic_cast<const CIPPortFilter&>(*port).GetIPPort(), 443);
    EXPECT_EQ(static_cast<int>(dynamic_cast<const CIPPortFilter&>(*port).GetType()), 1);
    EXPECT_EQ(
        static_cast<int>(dynamic_cast<const CIPPortFilter&>(*MustParse("dst port 1")).GetType()),
        3);

    const auto anywhere = MustParse("contains \"x\"");
    EXPECT_EQ(dynamic_cast<const CContentFilter&>(*anywhere).GetOffset(), 0xFFFFFFFFU);
}

struct RelationCase {
    const char* op;
    int operation;
    bool negated;
    const char* word;
};

TEST(FilterParserComparisons, EachRelationMapsToOperationAndNegation) {
    const RelationCase cases[] = {
        {"", 0, false, "is equal to "},      {"=", 0, false, "is equal to "},
        {"==", 0, false, "is equal to "},    {"!=", 0, true, "is not equal to "},
        {"<", 1, false, "is less than "},    {">=", 1, true, "is greater or equal to "},
        {">", 2, false, "is greater than "}, {"<=", 2, true, "is less or equal to "},
    };
    for (const RelationCase& c : cases) {
        SCOPED_TRACE(c.op);
        const auto port = MustParse(std::string("dst port ") + c.op + " 1024");
        const auto& portFilter = dynamic_cast<const CIPPortFilter&>(*port);
        EXPECT_EQ(static_cast<int>(portFilter.GetOperation()), c.operation);
        EXPECT_EQ(portFilter.GetNegateResult(), c.negated);
        EXPECT_EQ(port->GetDescription(),
                  std::string("destination TCP/UDP port ") + c.word + "1024");

        // Operators need no blanks around them.
        const auto address =
            MustParse(std::string("src ip") + (*c.op != '\0' ? c.op : " ") + "10.1.2.3");
        const auto& addressFilter = dynamic_cast<const CIPAddrFilter&>(*address);
        EXPECT_EQ(static_cast<int>(addressFilter.GetOperation()), c.operation);
        EXPECT_EQ(addressFilter.GetNegateResult(), c.negated);
        EXPECT_EQ(address->GetDescription(),
                  std::string("source IP address ") + c.word + "10.1.2.3");
    }
}

TEST(FilterParserComparisons, EqualityKindsTakeNotEqual) {
    EXPECT_EQ(MustParse("src mac != 00:00:00:00:00:01")->GetDescription(),
              "source MAC is not equal to 00-00-00-00-00-01");
    EXPECT_EQ(MustParse("proto != ip")->GetDescription(), "protocol is not equal to 0000000800");
    EXPECT_EQ(MustParse("ipproto == tcp")->GetDescription(), "subprotocol is equal to 6");
    EXPECT_EQ(MustParse("icmp type != 0")->GetDescription(), "ICMP type is not equal to 0");
}

TEST(FilterParserNegation, NotSwitchesThePrimarysNegation) {
    const struct {
        const char* text;
        bool negated;
        const char* description;
    } cases[] = {
        {"not dst port 80", true, "destination TCP/UDP port is not equal to 80"},
        {"! dst port 80", true, "destination TCP/UDP port is not equal to 80"},
        {"not not dst port 80", false, "destination TCP/UDP port is equal to 80"},
        {"not dst port != 80", false, "destination TCP/UDP port is equal to 80"},
        {"not src ip < 10.0.0.0", true, "source IP address is greater or equal to 10.0.0.0"},
        {"not (dst port 80)", true, "destination TCP/UDP port is not equal to 80"},
        {"not contains \"x\"", true, "frame contains {0x78}"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        const auto filter = MustParse(c.text);
        EXPECT_EQ(filter->GetNegateResult(), c.negated);
        EXPECT_EQ(filter->GetDescription(), c.description);
    }
}

TEST(FilterParserNegation, NegatedGroupsAreTurnedAroundSoTheirTextIsTrue) {
    const auto filter = MustParse("not (src port 1 and (dst port 2 or proto ip))");
    const auto& outer = dynamic_cast<const CCompoundFilter&>(*filter);
    EXPECT_FALSE(outer.GetNegateResult());
    EXPECT_NE(static_cast<int>(outer.GetOperator()), 0);
    EXPECT_EQ(filter->GetDescription(),
              "(source TCP/UDP port is not equal to 1 or (destination TCP/UDP "
              "port is not equal to "
              "2 and protocol is not equal to 0000000800))");
}

TEST(FilterParserPrecedence, NotBindsTighterThanAndWhichBindsTighterThanOr) {
    const struct {
        const char* text;
        const char* description;
    } cases[] = {
        {"dst port 1 or dst port 2 and dst port 3",
         "(destination TCP/UDP port is equal to 1 or (destination TCP/UDP port "
         "is equal to 2 and "
         "destination TCP/UDP port is equal to 3))"},
        {"dst port 1 and dst port 2 or dst port 3",
         "((destination TCP/UDP port is equal to 1 and destination TCP/UDP port "
         "is equal to 2) or "
         "destination TCP/UDP port is equal to 3)"},
        {"(dst port 1 or dst port 2) and dst port 3",
         "((destination TCP/UDP port is equal to 1 or destination TCP/UDP port "
         "is equal to 2) and "
         "destination TCP/UDP port is equal to 3)"},
        {"not dst port 1 and dst port 2",
         "(destination TCP/UDP port is not equal to 1 and destination TCP/UDP "
         "port is equal to 2)"},
        {"dst port 1 && dst port 2 || dst port 3",
         "((destination TCP/UDP port is equal to 1 and destination TCP/UDP port "
         "is equal to 2) or "
         "destination TCP/UDP port is equal to 3)"},
        {"dst port 1 AND dst port 2 and dst port 3",
         "(destination TCP/UDP port is equal to 1 and destination TCP/UDP port "
         "is equal to 2 and "
         "destination TCP/UDP port is equal to 3)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(MustParse(c.text)->GetDescription(), c.description);
    }
}

TEST(FilterParserPrecedence, ChainsOfOneOperatorBecomeOneCompound) {
    const auto filter = MustParse("dst port 1 or dst port 2 or dst port 3 or dst port 4");
    const auto& compound = dynamic_cast<const CCompoundFilter&>(*filter);
    EXPECT_EQ(compound.GetCount(), 4U);
    for (unsigned i = 0; i < compound.GetCount(); ++i) {
        EXPECT_EQ(compound.GetAt(i)->GetFilterId(), FilterIPPort);
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
        {"src", 4, "expected 'mac', 'ip' or 'port' after 'src'"},
        {"dst host 1.2.3.4", 5, "expected 'mac', 'ip' or 'port' after 'dst'"},
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
        {"icmp code 3", 6, "expected 'type' after 'icmp'"},
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

TEST(FilterParserErrors, NestingIsBoundedButLongNotChainsAreFine) {
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

    std::string manyNots;
    for (int i = 0; i < 20001; ++i) {
        manyNots += "not ";
    }
    const auto filter = parser.Parse(manyNots + "dst port 1");
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
