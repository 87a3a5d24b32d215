#include "qndislib/filter/FilterGrammar.h"

#include "qndislib/addr/HexText.h"
#include "qndislib/addr/StrictHexText.h"
#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/ContentFilter.h"
#include "qndislib/filter/DstMACFilter.h"
#include "qndislib/filter/FilterParser.h"
#include "qndislib/filter/FilterValues.h"
#include "qndislib/filter/SrcMACFilter.h"

#include <cstdint>
#include <vector>

namespace qndis::detail {

namespace {

// Every tree the parser builds must read back from the filter stream; a
// word's implied conditions add a few levels below the deepest group.
constexpr int DeepestTerm = 4;
static_assert(CFilterParser::MaxDepth + DeepestTerm < CCompoundFilter::MaxUnpackDepth,
              "every tree the parser builds must read back from the filter stream");

constexpr std::uint64_t Anywhere = CContentFilter::Anywhere;
constexpr int AddressBits = 32;
constexpr std::uint64_t MaxProtocolId = 0xFFFFFFFFFFFFULL;
constexpr std::size_t ProtocolIdBytes = 6;

FilterPointer HardwareAddressTest(bool source, const std::string& address, bool negate) {
    if (source) {
        return std::make_unique<CSrcMACFilter>(address, std::string(), negate);
    }
    return std::make_unique<CDstMACFilter>(address, std::string(), negate);
}

} // namespace

FilterGrammar::FilterGrammar(std::string_view text) : FilterTokenReader(FilterLexer(text).Run()) {}

FilterPointer FilterGrammar::Run() {
    auto filter = Expression(0);
    if (Current().kind == TokenKind::RParen) {
        throw ParseError{Current().column, "this ')' has no matching '('"};
    }
    if (Current().kind != TokenKind::End) {
        throw ParseError{Current().column, "expected 'and', 'or' or the end of the filter, found " +
                                               Describe(Current())};
    }
    return filter;
}

FilterPointer FilterGrammar::Expression(int depth) {
    std::vector<FilterPointer> operands;
    operands.push_back(Term(depth));
    while (AtOr()) {
        Skip();
        operands.push_back(Term(depth));
    }
    return AnyOf(std::move(operands));
}

FilterPointer FilterGrammar::Term(int depth) {
    std::vector<FilterPointer> operands;
    operands.push_back(Factor(depth));
    while (AtAnd()) {
        Skip();
        operands.push_back(Factor(depth));
    }
    return AllOf(std::move(operands));
}

// "not" is counted rather than recursed into, so a long run of them cannot
// exhaust the stack.
FilterPointer FilterGrammar::Factor(int depth) {
    bool negated = false;
    while (AtNot()) {
        Skip();
        negated = !negated;
    }
    auto filter = Current().kind == TokenKind::LParen ? Group(depth) : Primary();
    if (negated) {
        Negate(*filter);
    }
    return filter;
}

FilterPointer FilterGrammar::Group(int depth) {
    const Token& open = Take();
    if (depth >= CFilterParser::MaxDepth) {
        throw ParseError{open.column, "parentheses are nested deeper than " +
                                          std::to_string(CFilterParser::MaxDepth) + " levels"};
    }
    auto filter = Expression(depth + 1);
    if (Current().kind != TokenKind::RParen) {
        throw ParseError{Current().column, "expected ')' to close the '(' at column " +
                                               std::to_string(open.column) + ", found " +
                                               Describe(Current())};
    }
    Skip();
    return filter;
}

FilterPointer FilterGrammar::Primary() {
    const Token& token = Current();
    const std::string keyword = Lower(token.text);
    if (token.kind != TokenKind::Word || keyword == "and" || keyword == "or") {
        throw ParseError{token.column, "expected a filter, found " + Describe(token)};
    }
    Skip();
    if (keyword == "src" || keyword == "dst") {
        return Directional(keyword == "src" ? Direction::Source : Direction::Destination);
    }
    if (keyword == "ether") {
        return Ether();
    }
    if (keyword == "host") {
        return Address(Direction::Either);
    }
    if (keyword == "net") {
        return Network(Direction::Either);
    }
    if (keyword == "port") {
        return Port(Direction::Either);
    }
    if (keyword == "proto") {
        return LinkProtocolTest();
    }
    if (keyword == "ipproto") {
        return IPProtocolTest();
    }
    if (keyword == "icmp" && TakeKeyword("type")) {
        return ICMPTypeTest();
    }
    if (keyword == "contains") {
        return Content();
    }
    if (const auto link = LinkProtocolNamed(keyword)) {
        return LinkProtocol(ProtocolIdOf(*link));
    }
    if (const auto ip = IPProtocolNamed(keyword)) {
        return IPv4Protocol(static_cast<std::uint8_t>(*ip));
    }
    throw ParseError{token.column,
                     "unknown filter " + Describe(token) +
                         "; a filter starts with src, dst, ether, host, net, port, proto, "
                         "ipproto, ip, arp, tcp, udp, icmp, vlan, contains, not or '('"};
}

FilterPointer FilterGrammar::Directional(Direction direction) {
    if (TakeKeyword("mac")) {
        return HardwareAddress(direction);
    }
    if (TakeKeyword("ip") || TakeKeyword("host")) {
        return Address(direction);
    }
    if (TakeKeyword("net")) {
        return Network(direction);
    }
    if (TakeKeyword("port")) {
        return Port(direction);
    }
    const std::string word = direction == Direction::Source ? "src" : "dst";
    throw ParseError{Current().column, "expected 'mac', 'ip', 'host', 'net' or 'port' after '" +
                                           word + "', found " + Describe(Current())};
}

FilterPointer FilterGrammar::Ether() {
    if (TakeKeyword("src")) {
        return HardwareAddress(Direction::Source);
    }
    if (TakeKeyword("dst")) {
        return HardwareAddress(Direction::Destination);
    }
    ExpectKeyword("host", "or 'src' or 'dst' after 'ether'");
    return HardwareAddress(Direction::Either);
}

FilterPointer FilterGrammar::HardwareAddress(Direction direction) {
    bool negate = false;
    if (direction == Direction::Either) {
        TakeRelation(direction, "ether host");
    } else {
        negate = TakeEquality("hardware addresses");
    }
    const Token& token = TakeValue("a hardware address such as 00:a0:c9:14:c8:29");
    const auto mac = ParseMacAddress(token.text);
    if (!mac) {
        throw ParseError{token.column, "'" + token.text +
                                           "' is not a hardware address (six hexadecimal bytes "
                                           "such as 00:a0:c9:14:c8:29)"};
    }
    std::string text;
    for (unsigned char byte : *mac) {
        AppendHexByte(text, byte);
    }
    if (direction == Direction::Either) {
        std::vector<FilterPointer> either;
        either.push_back(HardwareAddressTest(true, text, false));
        either.push_back(HardwareAddressTest(false, text, false));
        return AnyOf(std::move(either));
    }
    return HardwareAddressTest(direction == Direction::Source, text, negate);
}

FilterPointer FilterGrammar::LinkProtocolTest() {
    const bool negate = TakeEquality("link protocols");
    const Token& token = TakeValue("a link protocol id such as 0x0800 or ip");
    CProtocolId protocol;
    if (const auto named = LinkProtocolNamed(token.text)) {
        protocol = ProtocolIdOf(*named);
    } else if (const auto number = ParseNumber(token.text, MaxProtocolId)) {
        protocol = ProtocolIdOf(*number);
    } else if (const auto hex = ParseHexBytes(token.text); hex && hex->size() <= ProtocolIdBytes) {
        protocol = CProtocolId(static_cast<int>(hex->size()), hex->data());
    } else {
        throw ParseError{token.column,
                         "'" + token.text +
                             "' is not a link protocol id (a number up to six bytes such as "
                             "0x0800, hexadecimal bytes such as 08:00, or ip, arp, rarp, "
                             "ipv6, vlan)"};
    }
    auto filter = LinkProtocol(protocol);
    if (negate) {
        Negate(*filter);
    }
    return filter;
}

FilterPointer FilterGrammar::IPProtocolTest() {
    TakeOnlyEqual("an IP protocol can only be compared with '='; write 'ip and not ipproto N' "
                  "to exclude one");
    const auto value =
        TakeNumber("an IP protocol number or icmp, igmp, tcp, udp", 255, IPProtocolNamed);
    return IPv4Protocol(static_cast<std::uint8_t>(value));
}

FilterPointer FilterGrammar::ICMPTypeTest() {
    TakeOnlyEqual("an ICMP type can only be compared with '='; write 'icmp and not icmp type "
                  "N' to exclude one");
    const auto value = TakeNumber("an ICMP type or echo, echo-reply, unreachable, redirect, "
                                  "time-exceeded",
                                  255, ICMPTypeNamed);
    return ICMPType(static_cast<std::uint8_t>(value));
}

FilterPointer FilterGrammar::Address(Direction direction) {
    const Relation relation = TakeRelation(direction, "host");
    const std::uint32_t address = ReadIPv4(TakeValue("an IPv4 address such as 10.0.0.1"));
    return IPv4Address(direction, relation, address);
}

// A.B.C.D/LEN, or a single address.
FilterPointer FilterGrammar::Network(Direction direction) {
    TakeOnlyEqual("'net' takes no comparison but '='; write 'not net ...' to exclude a network");
    const Token& token = TakeValue("a network such as 10.0.0.0/8");
    const std::size_t slash = token.text.find('/');
    const std::uint32_t address =
        ReadIPv4(Token{token.kind, token.text.substr(0, slash), token.column, token.relation});
    const int bits = slash == std::string::npos ? AddressBits : TakePrefixLength(token, slash);
    const std::uint32_t hostBits =
        bits == 0 ? UINT32_MAX : (std::uint32_t{1} << (AddressBits - bits)) - 1;
    if ((address & hostBits) != 0) {
        throw ParseError{token.column, "'" + token.text + "' has bits set behind its " +
                                           std::to_string(bits) + "-bit prefix"};
    }
    return IPv4Range(direction, address, address | hostBits);
}

int FilterGrammar::TakePrefixLength(const Token& token, std::size_t slash) {
    const std::string_view text = std::string_view(token.text).substr(slash + 1);
    const auto length = ParseNumber(text, AddressBits);
    if (!length || text.starts_with("0x")) {
        throw ParseError{token.column + static_cast<int>(slash) + 1,
                         "'" + std::string(text) + "' is not a prefix length (0 to 32)"};
    }
    return static_cast<int>(*length);
}

FilterPointer FilterGrammar::Port(Direction direction) {
    const Relation relation = TakeRelation(direction, "port");
    const auto port = TakeNumber("a port number", 65535);
    return TransportPort(direction, relation, static_cast<std::uint16_t>(port));
}

FilterPointer FilterGrammar::Content() {
    const Token& token = Current();
    std::vector<unsigned char> pattern;
    if (token.kind == TokenKind::String) {
        pattern.assign(token.text.begin(), token.text.end());
    } else if (token.kind == TokenKind::Word) {
        const auto bytes = ParseHexBytes(token.text);
        if (!bytes) {
            throw ParseError{token.column, "'" + token.text +
                                               "' is neither a \"string\" nor hexadecimal bytes "
                                               "such as 08:00"};
        }
        pattern = *bytes;
    } else {
        throw ParseError{token.column,
                         "expected a \"string\" or hexadecimal bytes after 'contains', found " +
                             Describe(token)};
    }
    Skip();
    std::uint64_t offset = Anywhere;
    if (TakeKeyword("at")) {
        offset = TakeNumber("an offset", Anywhere - 1);
    }
    return std::make_unique<CContentFilter>(
        pattern.data(), static_cast<unsigned int>(pattern.size()),
        static_cast<unsigned int>(offset), std::string(), false);
}

} // namespace qndis::detail
