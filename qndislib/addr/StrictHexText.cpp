#include "qndislib/addr/StrictHexText.h"

#include "qndislib/addr/HexText.h"

#include <algorithm>

namespace qndis {
namespace {

constexpr std::string_view Separators = ":-.";

std::optional<std::vector<unsigned char>> ParseDigitRun(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        text.remove_prefix(2);
    }
    if (text.empty() || text.size() % 2 != 0) {
        return std::nullopt;
    }
    std::vector<unsigned char> bytes;
    bytes.reserve(text.size() / 2);
    for (std::size_t i = 0; i < text.size(); i += 2) {
        const int high = detail::HexDigitValue(text[i]);
        const int low = detail::HexDigitValue(text[i + 1]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        bytes.push_back(static_cast<unsigned char>(high * 16 + low));
    }
    return bytes;
}

std::optional<std::vector<unsigned char>> ParseGroups(std::string_view text) {
    std::vector<unsigned char> bytes;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = text.find_first_of(Separators, start);
        const std::string_view group = text.substr(start, end - start);
        if (group.empty() || group.size() > 2) {
            return std::nullopt;
        }
        int value = 0;
        for (char c : group) {
            const int digit = detail::HexDigitValue(c);
            if (digit < 0) {
                return std::nullopt;
            }
            value = value * 16 + digit;
        }
        bytes.push_back(static_cast<unsigned char>(value));
        if (end == std::string_view::npos) {
            return bytes;
        }
        start = end + 1;
    }
}

} // namespace

std::optional<std::vector<unsigned char>> ParseHexBytes(std::string_view text) {
    if (text.find_first_of(Separators) == std::string_view::npos) {
        return ParseDigitRun(text);
    }
    return ParseGroups(text);
}

std::optional<std::array<unsigned char, 6>> ParseMacAddress(std::string_view text) {
    const auto bytes = ParseHexBytes(text);
    if (!bytes || bytes->size() != 6) {
        return std::nullopt;
    }
    std::array<unsigned char, 6> address{};
    std::copy(bytes->begin(), bytes->end(), address.begin());
    return address;
}

} // namespace qndis
