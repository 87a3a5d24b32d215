#pragma once

#include "qndislib/filter/FilterTerms.h"

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace qndis::detail {

// Invalid stands for text the lexer could not read; the grammar reports it
// when it gets there, so the first error in the text is the one reported.
enum class TokenKind { Word, String, LParen, RParen, Not, And, Or, Compare, End, Invalid };

struct Token {
    TokenKind kind = TokenKind::End;
    std::string text; // the word as written, or a string's decoded bytes
    int column = 0;
    Relation relation = Relation::Equal;
};

// Errors travel as an exception inside the parser only; CFilterParser::Parse
// turns them into its null result.
struct ParseError {
    int column;
    std::string message;
};

// The token as an error message names it.
std::string Describe(const Token& token);

// Splits filter text into words, strings and signs. The list always ends
// with an End or an Invalid token.
class FilterLexer {
public:
    explicit FilterLexer(std::string_view text) : m_text(text) {}

    std::vector<Token> Run();

private:
    int Column() const { return static_cast<int>(m_pos) + 1; }
    void SkipBlanks();
    Token Next();
    Token Punctuation();
    Token Word();
    Token String();
    char Escape();
    char HexEscape(int column);

    std::string_view m_text;
    std::size_t m_pos = 0;
};

} // namespace qndis::detail
