#include "qndislib/filter/FilterParser.h"

#include "qndislib/addr/HexText.h"
#include "qndislib/addr/ProtocolId.h"
#include "qndislib/addr/StrictHexText.h"
#include "qndislib/filter/CompoundFilter.h"
#include "qndislib/filter/ContentFilter.h"
#include "qndislib/filter/DstMACFilter.h"
#include "qndislib/filter/ICMPTypeFilter.h"
#include "qndislib/filter/IPAddrFilter.h"
#include "qndislib/filter/IPPortFilter.h"
#include "qndislib/filter/IPSubprotocolFilter.h"
#include "qndislib/filter/ProtocolFilter.h"
#include "qndislib/filter/SrcMACFilter.h"

#include <arpa/inet.h>
#include <array>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

namespace {

// Invalid stands for text the lexer could not read; the grammar reports it
// when it gets there, so the first error in the text is the one reported.
enum class TokenKind { Word, String, LParen, RParen, Not, And, Or, Compare, End, Invalid };

enum class Relation { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };

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
           c == ':' || c == '.' || c == '-';
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

constexpr std::array<Named, 6> LinkProtocols{{
    {"ip", 0x0800},
    {"arp", 0x0806},
    {"rarp", 0x8035},
    {"ipv6", 0x86DD},
    {"ip6", 0x86DD},
    {"vlan", 0x8100},
}};

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

// The comparison as the library stores it: one of three operations, with the
// other three relations expressed through the negation switch.
struct Comparison {
    eOperation operation;
    bool negate;
};

Comparison ToComparison(Relation relation) {
    switch (relation) {
    case Relation::Equal:
        return {OperationEqual, false};
    case Relation::NotEqual:
        return {OperationEqual, true};
    case Relation::Less:
        return {OperationLess, false};
    case Relation::GreaterEqual:
        return {OperationLess, true};
    case Relation::Greater:
        return {OperationGreater, false};
    case Relation::LessEqual:
        return {OperationGreater, true};
    }
    return {OperationEqual, false};
}

static_assert(CFilterParser::MaxDepth < CCompoundFilter::MaxUnpackDepth,
              "every tree the parser builds must read back from the filter stream");

constexpr std::uint32_t SourceAddressOffset = 12;
constexpr std::uint32_t DestinationAddressOffset = 16;
constexpr std::uint32_t Anywhere = CContentFilter::Anywhere;

void Negate(CFilter& filter) {
    auto* compound = dynamic_cast<CCompoundFilter*>(&filter);
    if (compound == nullptr) {
        filter.SetNegateResult(!filter.GetNegateResult());
        return;
    }
    const bool isAnd = compound->GetOperator() == CCompoundFilter::OperatorAnd;
    compound->SetOperator(isAnd ? CCompoundFilter::OperatorOr : CCompoundFilter::OperatorAnd);
    for (unsigned i = 0; i < compound->GetCount(); ++i) {
        Negate(*compound->GetAt(i));
    }
}

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

    std::unique_ptr<CFilter> Run() {
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

    static std::unique_ptr<CFilter> Join(std::vector<std::unique_ptr<CFilter>> operands,
                                         CCompoundFilter::eOperator op) {
        if (operands.size() == 1) {
            return std::move(operands.front());
        }
        auto compound = std::make_unique<CCompoundFilter>(op);
        for (auto& operand : operands) {
            compound->Add(operand.release());
        }
        return compound;
    }

    std::unique_ptr<CFilter> Expression(int depth) {
        std::vector<std::unique_ptr<CFilter>> operands;
        operands.push_back(Term(depth));
        while (AtOr()) {
            ++m_index;
            operands.push_back(Term(depth));
        }
        return Join(std::move(operands), CCompoundFilter::OperatorOr);
    }

    std::unique_ptr<CFilter> Term(int depth) {
        std::vector<std::unique_ptr<CFilter>> operands;
        operands.push_back(Factor(depth));
        while (AtAnd()) {
            ++m_index;
            operands.push_back(Factor(depth));
        }
        return Join(std::move(operands), CCompoundFilter::OperatorAnd);
    }

    // "not" is counted rather than recursed into, so a long run of them
    // cannot exhaust the stack.
    std::unique_ptr<CFilter> Factor(int depth) {
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

    std::unique_ptr<CFilter> Group(int depth) {
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

    std::unique_ptr<CFilter> Primary() {
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
            return Directional(keyword == "src");
        }
        if (keyword == "proto") {
            return LinkProtocol();
        }
        if (keyword == "ipproto") {
            return IPProtocol();
        }
        if (keyword == "icmp") {
            ExpectKeyword("type", "after 'icmp'");
            return ICMPType();
        }
        if (keyword == "contains") {
            return Content();
        }
        throw ParseError{token.column, "unknown filter " + Describe(token) +
                                           "; a filter starts with src, dst, proto, ipproto, icmp, "
                                           "contains, not or '('"};
    }

    void ExpectKeyword(std::string_view keyword, std::string_view where) {
        if (!TakeKeyword(keyword)) {
            throw ParseError{Current().column, "expected '" + std::string(keyword) + "' " +
                                                   std::string(where) + ", found " +
                                                   Describe(Current())};
        }
    }

    std::unique_ptr<CFilter> Directional(bool source) {
        const std::string dir = source ? "src" : "dst";
        if (TakeKeyword("mac")) {
            return HardwareAddress(source);
        }
        if (TakeKeyword("ip")) {
            return IPAddress(source);
        }
        if (TakeKeyword("port")) {
            return Port(source);
        }
        throw ParseError{Current().column, "expected 'mac', 'ip' or 'port' after '" + dir +
                                               "', found " + Describe(Current())};
    }

    // The optional comparison before a value.
    std::pair<Relation, int> TakeRelation() {
        if (Current().kind == TokenKind::Compare) {
            const Token& op = Take();
            return {op.relation, op.column};
        }
        return {Relation::Equal, 0};
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

    std::unique_ptr<CFilter> HardwareAddress(bool source) {
        const bool negate = TakeEquality("hardware addresses");
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
        if (source) {
            return std::make_unique<CSrcMACFilter>(text, std::string(), negate);
        }
        return std::make_unique<CDstMACFilter>(text, std::string(), negate);
    }

    std::unique_ptr<CFilter> LinkProtocol() {
        const bool negate = TakeEquality("link protocols");
        const Token& token = TakeValue("a link protocol id such as 0x0800 or ip");
        std::array<unsigned char, 6> bytes{};
        int length = 6;
        if (const auto named = Lookup(LinkProtocols, token.text)) {
            for (int i = 0; i < 6; ++i) {
                bytes[static_cast<std::size_t>(5 - i)] =
                    static_cast<unsigned char>(*named >> (8 * i));
            }
        } else if (const auto number = ParseNumber(token.text, 0xFFFFFFFFFFFFULL)) {
            for (int i = 0; i < 6; ++i) {
                bytes[static_cast<std::size_t>(5 - i)] =
                    static_cast<unsigned char>(*number >> (8 * i));
            }
        } else if (const auto hex = qndis::ParseHexBytes(token.text); hex && hex->size() <= 6) {
            length = static_cast<int>(hex->size());
            std::copy(hex->begin(), hex->end(), bytes.begin());
        } else {
            throw ParseError{token.column,
                             "'" + token.text +
                                 "' is not a link protocol id (a number up to six bytes such as "
                                 "0x0800, hexadecimal bytes such as 08:00, or ip, arp, rarp, "
                                 "ipv6, "
                                 "vlan)"};
        }
        return std::make_unique<CProtocolFilter>(CProtocolId(length, bytes.data()), std::string(),
                                                 negate);
    }

    std::unique_ptr<CFilter> IPProtocol() {
        const bool negate = TakeEquality("IP protocol numbers");
        const auto value = TakeNumber("an IP protocol number or icmp, igmp, tcp, udp", 255,
                                      [](std::string_view w) { return Lookup(IPProtocols, w); });
        return std::make_unique<CIPSubprotocolFilter>(static_cast<unsigned char>(value),
                                                      std::string(), negate);
    }

    std::unique_ptr<CFilter> ICMPType() {
        const bool negate = TakeEquality("ICMP types");
        const auto value = TakeNumber("an ICMP type or echo, echo-reply, unreachable, redirect, "
                                      "time-exceeded",
                                      255, [](std::string_view w) { return Lookup(ICMPTypes, w); });
        return std::make_unique<CICMPTypeFilter>(static_cast<unsigned char>(value), std::string(),
                                                 negate);
    }

    std::unique_ptr<CFilter> IPAddress(bool source) {
        const auto [relation, column] = TakeRelation();
        const Token& token = TakeValue("an IPv4 address such as 10.0.0.1");
        const auto address = ParseIPv4(token.text);
        if (!address) {
            throw ParseError{token.column, "'" + token.text +
                                               "' is not an IPv4 address (four numbers 0 to 255 "
                                               "such as 10.0.0.1)"};
        }
        const Comparison comparison = ToComparison(relation);
        return std::make_unique<CIPAddrFilter>(
            static_cast<unsigned int>(htonl(*address)),
            source ? SourceAddressOffset : DestinationAddressOffset, comparison.operation,
            std::string(), comparison.negate);
    }

    std::unique_ptr<CFilter> Port(bool source) {
        const auto [relation, column] = TakeRelation();
        const auto port = TakeNumber("a port number", 65535);
        const Comparison comparison = ToComparison(relation);
        return std::make_unique<CIPPortFilter>(
            static_cast<unsigned short>(port),
            source ? CIPPortFilter::PortSource : CIPPortFilter::PortDestination,
            comparison.operation, std::string(), comparison.negate);
    }

    std::unique_ptr<CFilter> Content() {
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
        std::uint32_t offset = Anywhere;
        if (TakeKeyword("at")) {
            offset = static_cast<std::uint32_t>(TakeNumber("an offset", Anywhere - 1));
        }
        return std::make_unique<CContentFilter>(pattern.data(),
                                                static_cast<unsigned int>(pattern.size()), offset,
                                                std::string(), false);
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
