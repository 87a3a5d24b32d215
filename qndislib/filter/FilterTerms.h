#pragma once

#include "qndislib/addr/ProtocolId.h"
#include "qndislib/filter/Filter.h"

#include <cstdint>
#include <memory>
#include <vector>

// The trees that the words of the filter language stand for. Each word
// brings the conditions it implies (a port means an IPv4 TCP or UDP frame)
// as ordinary members built from the library's filter kinds, so that the
// description of a tree states every condition it tests and the tree packs
// and unpacks like any other.
namespace qndis::detail {

using FilterPointer = std::unique_ptr<CFilter>;

enum class Relation { Equal, NotEqual, Less, LessEqual, Greater, GreaterEqual };

enum class Direction { Source, Destination, Either };

// AND and OR of the operands, flattened into one compound, without repeated
// members and without members that another member already decides
// (a and (a or b) is a). A single operand is returned as it is.
FilterPointer AllOf(std::vector<FilterPointer> operands);
FilterPointer AnyOf(std::vector<FilterPointer> operands);

// Turns `filter` into its opposite in place: a single test by its negation
// switch, a compound by De Morgan's rule, because a compound's description
// cannot show its own negation.
void Negate(CFilter& filter);

// The link protocol identifier as the analysis reports it; the 802.1Q type
// means a tagged frame, whose analysis reports the protocol inside the tag.
FilterPointer LinkProtocol(const CProtocolId& protocol);
FilterPointer TaggedFrame();

FilterPointer IPv4Protocol(std::uint8_t protocol);
FilterPointer ICMPType(std::uint8_t type);
FilterPointer IPv4Address(Direction direction, Relation relation, std::uint32_t address);
// Addresses from `first` to `last`, both included.
FilterPointer IPv4Range(Direction direction, std::uint32_t first, std::uint32_t last);
FilterPointer TransportPort(Direction direction, Relation relation, std::uint16_t port);

} // namespace qndis::detail
