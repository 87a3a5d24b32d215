#pragma once

#include "qndislib/addr/ProtocolId.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Values of the filter language read from the text of one word; each reader
// says "not a value" by an empty result and leaves the message to the grammar.
namespace qndis::detail {

std::string Lower(std::string_view text);

// Decimal, or hexadecimal after "0x"; nothing else, and nothing above `max`.
std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t max);

// Strict dotted decimal: four parts of 0 to 255 without leading zeros, so
// that no part is silently read as octal.
std::optional<std::uint32_t> ParseIPv4(std::string_view text);

// The names the language gives numbers, in any case. Link protocol names are
// also words of their own ("arp" is "proto arp"), and so are IP protocol
// names ("tcp" is "ipproto tcp").
std::optional<std::uint64_t> LinkProtocolNamed(std::string_view word);
std::optional<std::uint64_t> IPProtocolNamed(std::string_view word);
std::optional<std::uint64_t> ICMPTypeNamed(std::string_view word);

// The number as a six-byte protocol identifier, most significant byte first.
CProtocolId ProtocolIdOf(std::uint64_t number);

} // namespace qndis::detail
