#pragma once

#include "qndislib/Export.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>

// Hexadecimal text as the address and identifier types read it: any text is
// accepted, non-digits are skipped and a short text lands right-aligned.

QNDIS_API bool ishexdigit(char c);
QNDIS_API int gethexdigit(char c);
QNDIS_API void LoadHexString(const char* text, unsigned char* target, int count);

namespace qndis::detail {

// Equality of two byte runs of a size known at compile time, folded without
// branches; at run time whole words are loaded, as the address and protocol
// filters compare on every frame.
template <std::size_t N>
constexpr bool SameBytes(const unsigned char* first, const unsigned char* second) {
    std::uint32_t difference = 0;
    std::size_t i = 0;
    if (!std::is_constant_evaluated()) {
        for (; i + 4 <= N; i += 4) {
            std::uint32_t a = 0;
            std::uint32_t b = 0;
            std::memcpy(&a, first + i, 4);
            std::memcpy(&b, second + i, 4);
            difference |= a ^ b;
        }
    }
    for (; i < N; ++i) {
        difference |= std::uint32_t{first[i]} ^ second[i];
    }
    return difference == 0;
}

// Compile-time forms of the functions above. They let the address constants
// be constant-initialised from their text, and the exported functions share
// them so there is one definition of the rules.
constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

// Addresses and identifiers are written with upper-case digits.
inline constexpr char UpperHexDigits[] = "0123456789ABCDEF";

inline void AppendHexByte(std::string& text, unsigned char byte) {
    text += UpperHexDigits[byte >> 4];
    text += UpperHexDigits[byte & 0x0F];
}

constexpr void LoadHex(const char* text, unsigned char* target, int count) {
    if (count <= 0) {
        return;
    }
    for (int i = 0; i < count; ++i) {
        target[i] = 0;
    }
    if (text == nullptr) {
        return;
    }
    const long long wanted = 2LL * count;
    long long kept = 0;
    for (const char* p = text; *p != '\0' && kept < wanted; ++p) {
        if (HexDigitValue(*p) >= 0) {
            ++kept;
        }
    }
    // Missing leading digits count as zeros, so the kept digits fill the
    // last nibbles.
    long long nibble = wanted - kept;
    for (const char* p = text; *p != '\0' && nibble < wanted; ++p) {
        const int value = HexDigitValue(*p);
        if (value < 0) {
            continue;
        }
        unsigned char& byte = target[nibble / 2];
        byte = static_cast<unsigned char>(nibble % 2 == 0 ? (byte & 0x0F) | (value << 4)
                                                          : (byte & 0xF0) | value);
        ++nibble;
    }
}

} // namespace qndis::detail
