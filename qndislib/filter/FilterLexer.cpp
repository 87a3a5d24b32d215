#include "qndislib/filter/FilterLexer.h"

#include "qndislib/addr/HexText.h"
#include "qndislib/filter/FilterParser.h"

#include <array>

namespace qndis::detail {

namespace {

bool IsWordChar(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' ||
           c == ':' || c == '.' || c == '-' || c == '/';
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

struct Sign {
    std::string_view text;
    TokenKind kind;
    Relation relation;
};

// Longest first, so that "!=" is not read as "!" followed by "=".
constexpr std::array<Sign, 12> Signs{{
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

} // namespace

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

std::vector<Token> FilterLexer::Run() {
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
        tokens.push_back(Token{TokenKind::Invalid, error.message, error.column, Relation::Equal});
    }
    return tokens;
}

void FilterLexer::SkipBlanks() {
    while (m_pos < m_text.size() && IsBlank(m_text[m_pos])) {
        ++m_pos;
    }
}

Token FilterLexer::Next() {
    if (m_text[m_pos] == '"') {
        return String();
    }
    if (IsWordChar(m_text[m_pos])) {
        return Word();
    }
    return Punctuation();
}

Token FilterLexer::Punctuation() {
    const std::string_view rest = m_text.substr(m_pos);
    for (const Sign& sign : Signs) {
        if (rest.starts_with(sign.text)) {
            Token token{sign.kind, std::string(sign.text), Column(), sign.relation};
            m_pos += sign.text.size();
            return token;
        }
    }
    throw ParseError{Column(), "unexpected character '" + std::string(1, m_text[m_pos]) + "'"};
}

Token FilterLexer::Word() {
    const std::size_t start = m_pos;
    while (m_pos < m_text.size() && IsWordChar(m_text[m_pos])) {
        ++m_pos;
    }
    return Token{TokenKind::Word, std::string(m_text.substr(start, m_pos - start)),
                 static_cast<int>(start) + 1, Relation::Equal};
}

Token FilterLexer::String() {
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

char FilterLexer::Escape() {
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
    case 'x':
        return HexEscape(column);
    default:
        throw ParseError{column, "unknown escape '\\" + std::string(1, c) +
                                     "' (use \\\\, \\\", \\n, \\r, \\t, \\0 or \\xHH)"};
    }
}

char FilterLexer::HexEscape(int column) {
    const int high = m_pos < m_text.size() ? HexDigitValue(m_text[m_pos]) : -1;
    const int low = m_pos + 1 < m_text.size() ? HexDigitValue(m_text[m_pos + 1]) : -1;
    if (high < 0 || low < 0) {
        throw ParseError{column, "'\\x' must be followed by two hexadecimal digits"};
    }
    m_pos += 2;
    return static_cast<char>(high * 16 + low);
}

} // namespace qndis::detail
