#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <vector>

namespace qndis::tool {

// Strict readers for command-line values: unlike the library's lenient
// hexadecimal loader they refuse anything that is not exactly the form.

// Hexadecimal bytes: one run of an even number of digits (optionally after
// "0x"), or groups of one or two digits separated by ':', '-' or '.'.
std::optional<std::vector<unsigned char>> ParseHexBytes(std::string_view text);

// Six hexadecimal bytes in either form.
std::optional<std::array<unsigned char, 6>> ParseMacAddress(std::string_view text);

} // namespace qndis::tool
