#include "qndislib/filter/FilterParser.h"

#include "qndislib/addr/HexText.h"
#include "qndislib/addr/ProtocolId.h"
#include "qndislib/addr/StrictHexText.h"
#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/ContentFilter.h"
#include "qndislib/filter/DstMACFilter.h"
#include "qndislib/filter/FilterTerms.h"
#include "qndislib/filter/SrcMACFilter.h"

#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace {

using namespace qndis::detail;

// Invalid stands for text the lexer could not read; the grammar reports it
// when it gets there, so the first error in the text is the one reported.
enum class TokenKind { Word, String, LParen, RParen, Not, And, Or, Compare, End, Invalid };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text; // the word as written, or a string's decoded bytes
    int column = 0;
    Relation relation = Relation::Equal;
};

// Errors travel as an exception inside this file only; Parse turns them into
// its null result.
struct ParseError {
    int column;
    std::string message;
};

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == ':' || c == '.' || c == '-' || c == '/';
}

class Lexer {
public:
    explicit Lexer(std::string_view text) : m_text(text) {}

    std::vector<Token> Run() {
        std::vector<Token> tokens;
        try {
            while (true) {
                SkipBlanks();
                if (m_pos >= m_text.size()) {
                    tokens.push_back(Token{TokenKind::End, {}, Column(), Relation::Equal});
                    return tokens;
                }
                if (tokens.size() >= static_cast<std::size_t>(CFilterParser::MaxTokens)) {
                    throw ParseError{Column(), "the filter is longer than " +
                                                   std::to_string(CFilterParser::MaxTokens) +
                                                   " words and signs"};
                }
                tokens.push_back(Next());
            }
        } catch (const ParseError& error) {
            tokens.push_back(
                Token{TokenKind::Invalid, error.message, error.column, Relation::Equal});
        }
        return tokens;
    }

private:
    int Column() const { return static_cast<int>(m_pos) + 1; }

    void SkipBlanks() {
        while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' ||
                                         m_text[m_pos] == '\n' || m_text[m_pos] == '\r')) {
            ++m_pos;
        }
    }

    bool Peek(std::string_view what) const { return m_text.substr(m_pos).starts_with(what); }

    Token Symbol(TokenKind kind, std::size_t length, Relation relation = Relation::Equal) {
        Token token{kind, std::string(m_text.substr(m_pos, length)), Column(), relation};
        m_pos += length;
        return token;
    }

    Token Next() {
        struct Punctuation {
            std::string_view text;
            TokenKind kind;
            Relation relation;
        };
        // Longest first, so that "!=" is not read as "!" followed by "=".
        static constexpr std::array<Punctuation, 12> Table{{
            {"&&", TokenKind::And, Relation::Equal},
            {"||", TokenKind::Or, Relation::Equal},
            {"==", TokenKind::Compare, Relation::Equal},
            {"!=", TokenKind::Compare, Relation::NotEqual},
            {"<=", TokenKind::Compare, Relation::LessEqual},
            {">=", TokenKind::Compare, Relation::GreaterEqual},
            {"=", TokenKind::Compare, Relation::Equal},
            {"<", TokenKind::Compare, Relation::Less},
            {">", TokenKind::Compare, Relation::Greater},
            {"!", TokenKind::Not, Relation::Equal},
            {"(", TokenKind::LParen, Relation::Equal},
            {")", TokenKind::RParen, Relation::Equal},
        }};
        for (const Punctuation& p : Table) {
            if (Peek(p.text)) {
                return Symbol(p.kind, p.text.size(), p.relation);
            }
        }
        if (m_text[m_pos] == '"') {
            return String();
        }
        if (!IsWordChar(m_text[m_pos])) {
            throw ParseError{Column(),
                             "unexpected character '" + std::string(1, m_text[m_pos]) + "'"};
        }
        const std::size_t start = m_pos;
        while (m_pos < m_text.size() && IsWordChar(m_text[m_pos])) {
            ++m_pos;
        }
        return Token{TokenKind::Word, std::string(m_text.substr(start, m_pos - start)),
                     static_cast<int>(start) + 1, Relation::Equal};
    }

    Token String() {
        Token token{TokenKind::String, {}, Column(), Relation::Equal};
        ++m_pos;
        while (m_pos < m_text.size() && m_text[m_pos] != '"') {
            if (m_text[m_pos] == '\\') {
                token.text += Escape();
            } else {
                token.text += m_text[m_pos++];
            }
        }
        if (m_pos >= m_text.size()) {
            throw ParseError{token.column, "the string that starts here has no closing '\"'"};
        }
        ++m_pos;
        return token;
    }

    char Escape() {
        const int column = Column();
        ++m_pos;
        if (m_pos >= m_text.size()) {
            throw ParseError{column, "a '\\' must be followed by a character to escape"};
        }
        const char c = m_text[m_pos++];
        switch (c) {
        case '\\':
        case '"':
            return c;
        case 'n':
            return '\n';
        case 'r':
            return '\r';
        case 't':
            return '\t';
        case '0':
            return '\0';
        case 'x': {
            const int high =
                m_pos < m_text.size() ? qndis::detail::HexDigitValue(m_text[m_pos]) : -1;
            const int low =
                m_pos + 1 < m_text.size() ? qndis::detail::HexDigitValue(m_text[m_pos + 1]) : -1;
            if (high < 0 || low < 0) {
                throw ParseError{column, "'\\x' must be followed by two hexadecimal digits"};
            }
            m_pos += 2;
            return static_cast<char>(high * 16 + low);
        }
        default:
            throw ParseError{column, "unknown escape '\\" + std::string(1, c) +
                                         "' (use \\\\, \\\", \\n, \\r, \\t, \\0 or \\xHH)"};
        }
    }

    std::string_view m_text;
    std::size_t m_pos = 0;
};

// Decimal, or hexadecimal after "0x"; nothing else, and nothing above `max`.
std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t max) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        const int digit = qndis::detail::HexDigitValue(c);
        if (digit < 0 || digit >= base) {
            return std::nullopt;
        }
        if (value > (max - static_cast<std::uint64_t>(digit)) / static_cast<std::uint64_t>(base)) {
            return std::nullopt;
        }
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    return value;
}

// Strict dotted decimal: four parts of 0 to 255 without leading zeros, so
// that no part is silently read as octal.
std::optional<std::uint32_t> ParseIPv4(std::string_view text) {
    std::uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t end = part < 3 ? text.find('.') : text.size();
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        const std::string_view digits = text.substr(0, end);
        if (digits.empty() || digits.size() > 3 || (digits.size() > 1 && digits[0] == '0')) {
            return std::nullopt;
        }
        unsigned value = 0;
        for (char c : digits) {
            if (c < '0' || c > '9') {
                return std::nullopt;
            }
            value = value * 10 + static_cast<unsigned>(c - '0');
        }
        if (value > 255) {
            return std::nullopt;
        }
        address = (address << 8) | value;
        text.remove_prefix(part < 3 ? end + 1 : end);
    }
    return address;
}

struct Named {
    std::string_view name;
    std::uint64_t value;
};

// Also the bare words of the language: "arp" is "proto arp".
constexpr std::array<Named, 6> LinkProtocols{{
    {"ip", 0x0800},
    {"arp", 0x0806},
    {"rarp", 0x8035},
    {"ipv6", 0x86DD},
    {"ip6", 0x86DD},
    {"vlan", 0x8100},
}};

// Also the bare words of the language: "tcp" is "ipproto tcp".
constexpr std::array<Named, 4> IPProtocols{{
    {"icmp", 1},
    {"igmp", 2},
    {"tcp", 6},
    {"udp", 17},
}};

constexpr std::array<Named, 5> ICMPTypes{{
    {"echo-reply", 0},
    {"unreachable", 3},
    {"redirect", 5},
    {"echo", 8},
    {"time-exceeded", 11},
}};

template <std::size_t N>
std::optional<std::uint64_t> Lookup(const std::array<Named, N>& table, std::string_view word) {
    const std::string lower = Lower(word);
    for (const Named& entry : table) {
        if (entry.name == lower) {
            return entry.value;
        }
    }
    return std::nullopt;
}

CProtocolId ProtocolIdOf(std::uint64_t number) {
    std::array<unsigned char, 6> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[bytes.size() - 1 - i] = static_cast<unsigned char>(number >> (8 * i));
    }
    return CProtocolId(static_cast<int>(bytes.size()), bytes.data());
}

// Every tree the parser builds must read back from the filter stream; a
// word's implied conditions add a few levels below the deepest group.
constexpr int DeepestTerm = 4;
static_assert(CFilterParser::MaxDepth + DeepestTerm < CCompoundFilter::MaxUnpackDepth,
              "every tree the parser builds must read back from the filter stream");

constexpr std::uint64_t Anywhere = CContentFilter::Anywhere;
constexpr int AddressBits = 32;

std::string Describe(const Token& token) {
    switch (token.kind) {
    case TokenKind::End:
        return "the end of the filter";
    case TokenKind::String:
        return "a string";
    default:
        return "'" + token.text + "'";
    }
}

class Grammar {
public:
    explicit Grammar(std::vector<Token> tokens) : m_tokens(std::move(tokens)) {}

    FilterPointer Run() {
        auto filter = Expression(0);
        if (Current().kind == TokenKind::RParen) {
            throw ParseError{Current().column, "this ')' has no matching '('"};
        }
        if (Current().kind != TokenKind::End) {
            throw ParseError{Current().column,
                             "expected 'and', 'or' or the end of the filter, found " +
                                 Describe(Current())};
        }
        return filter;
    }

private:
    const Token& Current() const {
        const Token& token = m_tokens[m_index];
        if (token.kind == TokenKind::Invalid) {
            throw ParseError{token.column, token.text};
        }
        return token;
    }
    const Token& Take() { return m_tokens[m_index++]; }

    bool IsKeyword(std::string_view keyword) const {
        const Token& token = Current();
        return token.kind == TokenKind::Word && Lower(token.text) == keyword;
    }

    bool TakeKeyword(std::string_view keyword) {
        if (!IsKeyword(keyword)) {
            return false;
        }
        ++m_index;
        return true;
    }

    bool AtOr() const { return Current().kind == TokenKind::Or || IsKeyword("or"); }
    bool AtAnd() const { return Current().kind == TokenKind::And || IsKeyword("and"); }
    bool AtNot() const { return Current().kind == TokenKind::Not || IsKeyword("not"); }

    FilterPointer Expression(int depth) {
        std::vector<FilterPointer> operands;
        operands.push_back(Term(depth));
        while (AtOr()) {
            ++m_index;
            operands.push_back(Term(depth));
        }
        return AnyOf(std::move(operands));
    }

    FilterPointer Term(int depth) {
        std::vector<FilterPointer> operands;
        operands.push_back(Factor(depth));
        while (AtAnd()) {
            ++m_index;
            operands.push_back(Factor(depth));
        }
        return AllOf(std::move(operands));
    }

    // "not" is counted rather than recursed into, so a long run of them
    // cannot exhaust the stack.
    FilterPointer Factor(int depth) {
        bool negated = false;
        while (AtNot()) {
            ++m_index;
            negated = !negated;
        }
        auto filter = Current().kind == TokenKind::LParen ? Group(depth) : Primary();
        if (negated) {
            Negate(*filter);
        }
        return filter;
    }

    FilterPointer Group(int depth) {
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
        ++m_index;
        return filter;
    }

    FilterPointer Primary() {
        const Token& token = Current();
        if (token.kind != TokenKind::Word) {
            throw ParseError{token.column, "expected a filter, found " + Describe(token)};
        }
        const std::string keyword = Lower(token.text);
        if (keyword == "and" || keyword == "or") {
            throw ParseError{token.column, "expected a filter, found " + Describe(token)};
        }
        ++m_index;
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
        if (const auto link = Lookup(LinkProtocols, keyword)) {
            return LinkProtocol(ProtocolIdOf(*link));
        }
        if (const auto ip = Lookup(IPProtocols, keyword)) {
            return IPv4Protocol(static_cast<std::uint8_t>(*ip));
        }
        throw ParseError{token.column,
                         "unknown filter " + Describe(token) +
                             "; a filter starts with src, dst, ether, host, net, port, proto, "
                             "ipproto, ip, arp, tcp, udp, icmp, vlan, contains, not or '('"};
    }

    void ExpectKeyword(std::string_view keyword, std::string_view where) {
        if (!TakeKeyword(keyword)) {
            throw ParseError{Current().column, "expected '" + std::string(keyword) + "' " +
                                                   std::string(where) + ", found " +
                                                   Describe(Current())};
        }
    }

    FilterPointer Directional(Direction direction) {
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

    FilterPointer Ether() {
        if (TakeKeyword("src")) {
            return HardwareAddress(Direction::Source);
        }
        if (TakeKeyword("dst")) {
            return HardwareAddress(Direction::Destination);
        }
        ExpectKeyword("host", "or 'src' or 'dst' after 'ether'");
        return HardwareAddress(Direction::Either);
    }

    // The optional comparison before a value.
    std::pair<Relation, int> TakeRelation() {
        if (Current().kind == TokenKind::Compare) {
            const Token& op = Take();
            return {op.relation, op.column};
        }
        return {Relation::Equal, 0};
    }

    // Tests that take no comparison but equality: those of either direction
    // ("port != 53" would pass every frame with two different ports), and
    // fields of the IP data that an IPv4 frame may be too short to hold,
    // which a negated test would pass; only "not" may negate those, around
    // the conditions the word implies.
    void TakeOnlyEqual(const std::string& refusal) {
        const auto [relation, column] = TakeRelation();
        if (relation != Relation::Equal) {
            throw ParseError{column, refusal};
        }
    }

    static std::string EitherRefusal(std::string_view word) {
        const std::string w(word);
        return "'" + w + "' tests both directions and takes no comparison but '='; write src " + w +
               " or dst " + w + ", or 'not " + w + " ...'";
    }

    // Kinds that only test for equality take "=" or "!=".
    bool TakeEquality(std::string_view what) {
        const auto [relation, column] = TakeRelation();
        if (relation != Relation::Equal && relation != Relation::NotEqual) {
            throw ParseError{column, std::string(what) +
                                         " can only be compared with '=' or '!=', not ordered"};
        }
        return relation == Relation::NotEqual;
    }

    const Token& TakeValue(std::string_view what) {
        const Token& token = Current();
        if (token.kind != TokenKind::Word) {
            throw ParseError{token.column,
                             "expected " + std::string(what) + ", found " + Describe(token)};
        }
        ++m_index;
        return token;
    }

    std::uint64_t TakeNumber(std::string_view what, std::uint64_t max,
                             std::optional<std::uint64_t> (*named)(std::string_view) = nullptr) {
        const Token& token = TakeValue(what);
        if (named != nullptr) {
            if (const auto value = named(token.text)) {
                return *value;
            }
        }
        const auto value = ParseNumber(token.text, max);
        if (!value) {
            throw ParseError{token.column, "'" + token.text + "' is not " + std::string(what) +
                                               " (0 to " + std::to_string(max) + ")"};
        }
        return *value;
    }

    FilterPointer HardwareAddress(Direction direction) {
        bool negate = false;
        if (direction == Direction::Either) {
            TakeOnlyEqual(EitherRefusal("ether host"));
        } else {
            negate = TakeEquality("hardware addresses");
        }
        const Token& token = TakeValue("a hardware address such as 00:a0:c9:14:c8:29");
        const auto mac = qndis::ParseMacAddress(token.text);
        if (!mac) {
            throw ParseError{token.column, "'" + token.text +
                                               "' is not a hardware address (six hexadecimal "
                                               "bytes such as 00:a0:c9:14:c8:29)"};
        }
        std::string text;
        for (unsigned char byte : *mac) {
            static constexpr char Digits[] = "0123456789ABCDEF";
            text += Digits[byte >> 4];
            text += Digits[byte & 0x0F];
        }
        const auto make = [&](bool source) -> FilterPointer {
            if (source) {
                return std::make_unique<CSrcMACFilter>(text, std::string(), negate);
            }
            return std::make_unique<CDstMACFilter>(text, std::string(), negate);
        };
        if (direction == Direction::Either) {
            std::vector<FilterPointer> either;
            either.push_back(make(true));
            either.push_back(make(false));
            return AnyOf(std::move(either));
        }
        return make(direction == Direction::Source);
    }

    FilterPointer LinkProtocolTest() {
        const bool negate = TakeEquality("link protocols");
        const Token& token = TakeValue("a link protocol id such as 0x0800 or ip");
        CProtocolId protocol;
        if (const auto named = Lookup(LinkProtocols, token.text)) {
            protocol = ProtocolIdOf(*named);
        } else if (const auto number = ParseNumber(token.text, 0xFFFFFFFFFFFFULL)) {
            protocol = ProtocolIdOf(*number);
        } else if (const auto hex = qndis::ParseHexBytes(token.text); hex && hex->size() <= 6) {
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

    FilterPointer IPProtocolTest() {
        TakeOnlyEqual("an IP protocol can only be compared with '='; write 'ip and not ipproto N' "
                      "to exclude one");
        const auto value = TakeNumber("an IP protocol number or icmp, igmp, tcp, udp", 255,
                                      [](std::string_view w) { return Lookup(IPProtocols, w); });
        return IPv4Protocol(static_cast<std::uint8_t>(value));
    }

    FilterPointer ICMPTypeTest() {
        TakeOnlyEqual("an ICMP type can only be compared with '='; write 'icmp and not icmp type "
                      "N' to exclude one");
        const auto value = TakeNumber("an ICMP type or echo, echo-reply, unreachable, redirect, "
                                      "time-exceeded",
                                      255, [](std::string_view w) { return Lookup(ICMPTypes, w); });
        return ICMPType(static_cast<std::uint8_t>(value));
    }

    std::uint32_t TakeIPv4(const Token& token) {
        const auto address = ParseIPv4(token.text);
        if (!address) {
            throw ParseError{token.column, "'" + token.text +
                                               "' is not an IPv4 address (four numbers 0 to 255 "
                                               "such as 10.0.0.1)"};
        }
        return *address;
    }

    // A test of either direction takes no comparison but equality.
    Relation TakeRelation(Direction direction, std::string_view word) {
        if (direction == Direction::Either) {
            TakeOnlyEqual(EitherRefusal(word));
            return Relation::Equal;
        }
        return TakeRelation().first;
    }

    FilterPointer Address(Direction direction) {
        const Relation relation = TakeRelation(direction, "host");
        const std::uint32_t address = TakeIPv4(TakeValue("an IPv4 address such as 10.0.0.1"));
        return IPv4Address(direction, relation, address);
    }

    // A.B.C.D/LEN, or a single address.
    FilterPointer Network(Direction direction) {
        TakeOnlyEqual("'net' takes no comparison but '='; write 'not net ...' to exclude a "
                      "network");
        const Token& token = TakeValue("a network such as 10.0.0.0/8");
        const std::string_view text = token.text;
        const std::size_t slash = text.find('/');
        const std::uint32_t address = TakeIPv4(
            Token{token.kind, std::string(text.substr(0, slash)), token.column, token.relation});
        int bits = AddressBits;
        if (slash != std::string_view::npos) {
            const auto length = ParseNumber(text.substr(slash + 1), AddressBits);
            if (!length || text.substr(slash + 1).starts_with("0x")) {
                throw ParseError{token.column + static_cast<int>(slash) + 1,
                                 "'" + std::string(text.substr(slash + 1)) +
                                     "' is not a prefix length (0 to 32)"};
            }
            bits = static_cast<int>(*length);
        }
        const std::uint32_t hostBits =
            bits == 0 ? UINT32_MAX : (std::uint32_t{1} << (AddressBits - bits)) - 1;
        if ((address & hostBits) != 0) {
            throw ParseError{token.column, "'" + token.text + "' has bits set behind its " +
                                               std::to_string(bits) + "-bit prefix"};
        }
        return IPv4Range(direction, address, address | hostBits);
    }

    FilterPointer Port(Direction direction) {
        const Relation relation = TakeRelation(direction, "port");
        const auto port = TakeNumber("a port number", 65535);
        return TransportPort(direction, relation, static_cast<std::uint16_t>(port));
    }

    FilterPointer Content() {
        const Token& token = Current();
        std::vector<unsigned char> pattern;
        if (token.kind == TokenKind::String) {
            pattern.assign(token.text.begin(), token.text.end());
        } else if (token.kind == TokenKind::Word) {
            const auto bytes = qndis::ParseHexBytes(token.text);
            if (!bytes) {
                throw ParseError{token.column, "'" + token.text +
                                                   "' is neither a \"string\" nor hexadecimal "
                                                   "bytes such as 08:00"};
            }
            pattern = *bytes;
        } else {
            throw ParseError{token.column, "expected a \"string\" or hexadecimal bytes after "
                                           "'contains', found " +
                                               Describe(token)};
        }
        ++m_index;
        std::uint64_t offset = Anywhere;
        if (TakeKeyword("at")) {
            offset = TakeNumber("an offset", Anywhere - 1);
        }
        return std::make_unique<CContentFilter>(
            pattern.data(), static_cast<unsigned int>(pattern.size()),
            static_cast<unsigned int>(offset), std::string(), false);
    }

    std::vector<Token> m_tokens;
    std::size_t m_index = 0;
};

} // namespace

std::unique_ptr<CFilter> CFilterParser::Parse(std::string_view text) {
    m_error.clear();
    m_errorColumn = 0;
    try {
        return Grammar(Lexer(text).Run()).Run();
    } catch (const ParseError& error) {
        m_error = error.message;
        m_errorColumn = error.column;
    }
    return nullptr;
}
