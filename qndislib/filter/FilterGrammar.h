#pragma once

#include "qndislib/filter/FilterTokenReader.h"

#include <string_view>

namespace qndis::detail {

// The productions of the filter language (see CFilterParser), each building
// the tree its words stand for.
class FilterGrammar : private FilterTokenReader {
public:
    explicit FilterGrammar(std::string_view text);

    // The tree of the whole text; throws ParseError at the first error.
    FilterPointer Run();

private:
    bool AtOr() const { return Current().kind == TokenKind::Or || IsKeyword("or"); }
    bool AtAnd() const { return Current().kind == TokenKind::And || IsKeyword("and"); }
    bool AtNot() const { return Current().kind == TokenKind::Not || IsKeyword("not"); }

    FilterPointer Expression(int depth);
    FilterPointer Term(int depth);
    FilterPointer Factor(int depth);
    FilterPointer Group(int depth);
    FilterPointer Primary();
    FilterPointer Directional(Direction direction);
    FilterPointer Ether();
    FilterPointer HardwareAddress(Direction direction);
    FilterPointer LinkProtocolTest();
    FilterPointer IPProtocolTest();
    FilterPointer ICMPTypeTest();
    FilterPointer Address(Direction direction);
    FilterPointer Network(Direction direction);
    int TakePrefixLength(const Token& token, std::size_t slash);
    FilterPointer Port(Direction direction);
    FilterPointer Content();
};

} // namespace qndis::detail
