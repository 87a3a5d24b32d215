#include "qndislib/filter/FilterValues.h"

#include "qndislib/addr/HexText.h"
#include "qndislib/addr/IPProtocolNames.h"
#include "qndislib/addr/LinkProtocolNames.h"

#include <array>

namespace qndis::detail {

namespace {

struct Named {
    std::string_view name;
    std::uint64_t value;
};

constexpr std::array<Named, 5> ICMPTypes{{
    {"echo-reply", 0},
    {"unreachable", 3},
    {"redirect", 5},
    {"echo", 8},
    {"time-exceeded", 11},
}};

constexpr int Octets = 4;
constexpr unsigned MaxOctet = 255;
constexpr std::size_t MaxOctetDigits = 3;

template <std::size_t N>
std::optional<std::uint64_t> Lookup(const std::array<Named, N>& table, std::string_view word) {
    const std::string lower = Lower(word);
    for (const Named& entry : table) {
        if (entry.name == lower) {
            return entry.value;
        }
    }
    return std::nullopt;
}

std::optional<unsigned> ParseOctet(std::string_view digits) {
    if (digits.empty() || digits.size() > MaxOctetDigits ||
        (digits.size() > 1 && digits[0] == '0')) {
        return std::nullopt;
    }
    unsigned value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > MaxOctet) {
        return std::nullopt;
    }
    return value;
}

} // namespace

std::string Lower(std::string_view text) {
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return lower;
}

std::optional<std::uint64_t> ParseNumber(std::string_view text, std::uint64_t max) {
    int base = 10;
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        base = 16;
        text.remove_prefix(2);
    }
    if (text.empty()) {
        return std::nullopt;
    }
    std::uint64_t value = 0;
    for (char c : text) {
        const int digit = HexDigitValue(c);
        if (digit < 0 || digit >= base) {
            return std::nullopt;
        }
        if (value > (max - static_cast<std::uint64_t>(digit)) / static_cast<std::uint64_t>(base)) {
            return std::nullopt;
        }
        value = value * static_cast<std::uint64_t>(base) + static_cast<std::uint64_t>(digit);
    }
    return value;
}

std::optional<std::uint32_t> ParseIPv4(std::string_view text) {
    std::uint32_t address = 0;
    for (int part = 0; part < Octets; ++part) {
        const bool last = part == Octets - 1;
        const std::size_t end = last ? text.size() : text.find('.');
        if (end == std::string_view::npos) {
            return std::nullopt;
        }
        const auto octet = ParseOctet(text.substr(0, end));
        if (!octet) {
            return std::nullopt;
        }
        address = (address << 8) | *octet;
        text.remove_prefix(last ? end : end + 1);
    }
    return address;
}

std::optional<std::uint64_t> LinkProtocolNamed(std::string_view word) {
    return LinkProtocolByName(word);
}

std::optional<std::uint64_t> IPProtocolNamed(std::string_view word) {
    const std::string lower = Lower(word);
    for (const NamedIPProtocol& entry : IPProtocolNames) {
        if (Lower(entry.name) == lower) {
            return entry.number;
        }
    }
    return std::nullopt;
}

std::optional<std::uint64_t> ICMPTypeNamed(std::string_view word) {
    return Lookup(ICMPTypes, word);
}

CProtocolId ProtocolIdOf(std::uint64_t number) {
    std::array<unsigned char, 6> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[bytes.size() - 1 - i] = static_cast<unsigned char>(number >> (8 * i));
    }
    return CProtocolId(static_cast<int>(bytes.size()), bytes.data());
}

} // namespace qndis::detail
