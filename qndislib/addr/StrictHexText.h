#pragma once

#include "qndislib/Export.h"

#include <array>
#include <optional>
#include <string_view>
#include <vector>

// Strict readers for hexadecimal text that people type (filter expressions,
// command lines): unlike the lenient LoadHexString they refuse anything that
// is not exactly one of the two forms.
namespace qndis {

// One run of an even, nonzero number of digits (optionally after "0x"), or
// groups of one or two digits separated by ':', '-' or '.'.
QNDIS_API std::optional<std::vector<unsigned char>> ParseHexBytes(std::string_view text);

// Six bytes in either form.
QNDIS_API std::optional<std::array<unsigned char, 6>> ParseMacAddress(std::string_view text);

} // namespace qndis
