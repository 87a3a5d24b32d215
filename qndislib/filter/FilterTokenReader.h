#pragma once

#include "qndislib/filter/FilterLexer.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qndis::detail {

// Walks the tokens of one filter and takes keywords, comparisons and values
// from them, throwing a ParseError that names what was expected where the
// text does not give it.
class FilterTokenReader {
public:
    using NameReader = std::optional<std::uint64_t> (*)(std::string_view);

    explicit FilterTokenReader(std::vector<Token> tokens) : m_tokens(std::move(tokens)) {}

    // The token at hand; an Invalid one is reported here, so that the lexer's
    // error comes after every error the grammar finds before it.
    const Token& Current() const;
    const Token& Take() { return m_tokens[m_index++]; }
    void Skip() { ++m_index; }

    bool IsKeyword(std::string_view keyword) const;
    bool TakeKeyword(std::string_view keyword);
    void ExpectKeyword(std::string_view keyword, std::string_view where);

    // The optional comparison before a value, and the column it stands at
    // (0 when there is none).
    std::pair<Relation, int> TakeRelation();
    // Tests that take no comparison but equality: those of either direction
    // ("port != 53" would pass every frame with two different ports), and
    // fields of the IP data that an IPv4 frame may be too short to hold,
    // which a negated test would pass; only "not" may negate those, around
    // the conditions the word implies. `refusal` says so.
    void TakeOnlyEqual(const std::string& refusal);
    // A comparison of a kind that only tests for equality: true for "!=".
    bool TakeEquality(std::string_view what);
    // A comparison of a test in `direction`; one of either direction takes
    // nothing but equality.
    Relation TakeRelation(Direction direction, std::string_view word);

    const Token& TakeValue(std::string_view what);
    // A number up to `max`, or a name that `named` knows.
    std::uint64_t TakeNumber(std::string_view what, std::uint64_t max, NameReader named = nullptr);
    std::uint32_t ReadIPv4(const Token& token) const;

private:
    std::vector<Token> m_tokens;
    std::size_t m_index = 0;
};

} // namespace qndis::detail
