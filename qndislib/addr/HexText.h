#pragma once

#include "qndislib/Export.h"

// Hexadecimal text as the address and identifier types read it: any text is
// accepted, non-digits are skipped and a short text lands right-aligned.

QNDIS_API bool ishexdigit(char c);
QNDIS_API int gethexdigit(char c);
QNDIS_API void LoadHexString(const char* text, unsigned char* target, int count);

namespace qndis::detail {

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
