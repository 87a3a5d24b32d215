#include "qndislib/addr/HexText.h"

bool ishexdigit(char c) {
    return qndis::detail::HexDigitValue(c) >= 0;
}

int gethexdigit(char c) {
    return qndis::detail::HexDigitValue(c);
}

void LoadHexString(const char* text, unsigned char* target, int count) {
    qndis::detail::LoadHex(text, target, count);
}
