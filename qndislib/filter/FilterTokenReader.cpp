#include "qndislib/filter/FilterTokenReader.h"

#include "qndislib/filter/FilterValues.h"

namespace qndis::detail {

namespace {

std::string EitherRefusal(std::string_view word) {
    const std::string w(word);
    return "'" + w + "' tests both directions and takes no comparison but '='; write src " + w +
           " or dst " + w + ", or 'not " + w + " ...'";
}

} // namespace

const Token& FilterTokenReader::Current() const {
    const Token& token = m_tokens[m_index];
    if (token.kind == TokenKind::Invalid) {
        throw ParseError{token.column, token.text};
    }
    return token;
}

bool FilterTokenReader::IsKeyword(std::string_view keyword) const {
    const Token& token = Current();
    return token.kind == TokenKind::Word && Lower(token.text) == keyword;
}

bool FilterTokenReader::TakeKeyword(std::string_view keyword) {
    if (!IsKeyword(keyword)) {
        return false;
    }
    Skip();
    return true;
}

void FilterTokenReader::ExpectKeyword(std::string_view keyword, std::string_view where) {
    if (!TakeKeyword(keyword)) {
        throw ParseError{Current().column, "expected '" + std::string(keyword) + "' " +
                                               std::string(where) + ", found " +
                                               Describe(Current())};
    }
}

std::pair<Relation, int> FilterTokenReader::TakeRelation() {
    if (Current().kind == TokenKind::Compare) {
        const Token& op = Take();
        return {op.relation, op.column};
    }
    return {Relation::Equal, 0};
}

void FilterTokenReader::TakeOnlyEqual(const std::string& refusal) {
    const auto [relation, column] = TakeRelation();
    if (relation != Relation::Equal) {
        throw ParseError{column, refusal};
    }
}

bool FilterTokenReader::TakeEquality(std::string_view what) {
    const auto [relation, column] = TakeRelation();
    if (relation != Relation::Equal && relation != Relation::NotEqual) {
        throw ParseError{column,
                         std::string(what) + " can only be compared with '=' or '!=', not ordered"};
    }
    return relation == Relation::NotEqual;
}

Relation FilterTokenReader::TakeRelation(Direction direction, std::string_view word) {
    if (direction == Direction::Either) {
        TakeOnlyEqual(EitherRefusal(word));
        return Relation::Equal;
    }
    return TakeRelation().first;
}

const Token& FilterTokenReader::TakeValue(std::string_view what) {
    const Token& token = Current();
    if (token.kind != TokenKind::Word) {
        throw ParseError{token.column,
                         "expected " + std::string(what) + ", found " + Describe(token)};
    }
    Skip();
    return token;
}

std::uint64_t FilterTokenReader::TakeNumber(std::string_view what, std::uint64_t max,
                                            NameReader named) {
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

std::uint32_t FilterTokenReader::ReadIPv4(const Token& token) const {
    const auto address = ParseIPv4(token.text);
    if (!address) {
        throw ParseError{token.column, "'" + token.text +
                                           "' is not an IPv4 address (four numbers 0 to 255 "
                                           "such as 10.0.0.1)"};
    }
    return *address;
}

} // namespace qndis::detail
