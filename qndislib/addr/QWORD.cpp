#include "qndislib/addr/QWORD.h"

#include "qndislib/addr/HexText.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

constexpr double TwoPow32 = 4294967296.0;
constexpr double TwoPow64 = 18446744073709551616.0;
constexpr std::size_t HexDigitsPerHalf = 8;

template <class... Args> std::string Format(const char* format, Args... args) {
    std::array<char, 64> text{};
    const int length = std::snprintf(text.data(), text.size(), format, args...);
    return length > 0 ? std::string(text.data()) : std::string();
}

// A space before every third character counted from the end, never before
// the first one.
std::string Group(std::string text) {
    if (text.size() < 4) {
        return text;
    }
    for (std::size_t at = text.size() - 3; at > 0; at = at > 3 ? at - 3 : 0) {
        text.insert(at, 1, ' ');
    }
    return text;
}

// Groups only the integer digits of a padded, formatted number and keeps
// the field at least as wide as before, so "   1000.0" reads "  1 000.0"
// rather than having spaces pushed into its padding.
std::string GroupIntegerDigits(const std::string& formatted) {
    const std::size_t first = formatted.find_first_not_of(' ');
    if (first == std::string::npos) {
        return formatted;
    }
    const std::size_t point = formatted.find('.', first);
    const std::size_t end = point == std::string::npos ? formatted.size() : point;
    std::string grouped = Group(formatted.substr(first, end - first)) + formatted.substr(end);
    if (grouped.size() < formatted.size()) {
        grouped.insert(0, formatted.size() - grouped.size(), ' ');
    }
    return grouped;
}

bool ReadHexHalf(const char* digits, std::uint32_t& half) {
    std::array<char, HexDigitsPerHalf + 1> text{};
    std::memcpy(text.data(), digits, HexDigitsPerHalf);
    char* end = nullptr;
    // Truncating to 32 bits gives what a 32-bit strtoul gives for every
    // 8-character text, including a leading minus sign.
    half = static_cast<std::uint32_t>(std::strtoul(text.data(), &end, 16));
    return end == text.data() + HexDigitsPerHalf;
}

QWORD ParseHex(const char* digits) {
    const std::size_t length = std::min(std::strlen(digits), 2 * HexDigitsPerHalf);
    std::array<char, 2 * HexDigitsPerHalf> padded;
    padded.fill('0');
    std::memcpy(padded.data() + padded.size() - length, digits, length);
    std::uint32_t high = 0;
    std::uint32_t low = 0;
    if (!ReadHexHalf(padded.data(), high) || !ReadHexHalf(padded.data() + HexDigitsPerHalf, low)) {
        return QWORD();
    }
    return QWORD(high, low);
}

// strtod also reads hexadecimal floating point, infinities and NaN; none of
// them is a number for a counter.
bool IsPlainDecimal(const char* text) {
    while (std::isspace(static_cast<unsigned char>(*text)) != 0) {
        ++text;
    }
    if (*text == '+' || *text == '-') {
        ++text;
    }
    if (text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return false;
    }
    const bool digitFirst = std::isdigit(static_cast<unsigned char>(text[0])) != 0;
    const bool pointThenDigit =
        text[0] == '.' && std::isdigit(static_cast<unsigned char>(text[1])) != 0;
    return digitFirst || pointThenDigit;
}

QWORD ParseDecimal(const std::string& text) {
    if (!IsPlainDecimal(text.c_str())) {
        return QWORD();
    }
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size()) {
        return QWORD();
    }
    return QWORD(value);
}

} // namespace

QWORD::QWORD(const unsigned char* bytes) {
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) {
        bits = (bits << 8) | bytes[i];
    }
    SetBits(bits);
}

QWORD::QWORD(double value) {
    if (!(value > 0.0)) {
        return;
    }
    if (value >= TwoPow64) {
        SetBits(~std::uint64_t{0});
        return;
    }
    m_hi = static_cast<std::uint32_t>(std::trunc(value / TwoPow32));
    m_lo = static_cast<std::uint32_t>(std::trunc(std::fmod(value, TwoPow32)));
}

QWORD::QWORD(const std::string& text) {
    if (text.size() >= 3 && text[0] == '0' && text[1] == 'x') {
        *this = ParseHex(text.c_str() + 2);
    } else {
        *this = ParseDecimal(text);
    }
}

QWORD::operator double() const {
    if (m_hi == 0) {
        return static_cast<double>(m_lo);
    }
    return static_cast<double>(m_hi) * TwoPow32 + static_cast<double>(m_lo);
}

std::string QWORD::AsNumber(bool grouped) const {
    const std::string text = Format("%.0lf", static_cast<double>(*this));
    return grouped ? Group(text) : text;
}

std::string QWORD::AsBigInt() const {
    return AsNumber(false);
}

std::string QWORD::AsData(bool grouped) const {
    struct Unit {
        double below;
        double scale;
        const char* suffix;
    };
    static constexpr std::array<Unit, 4> Units{{
        {1e6, 1e-3, " K"},
        {1e9, 1e-6, " M"},
        {1e12, 1e-9, " G"},
        {std::numeric_limits<double>::infinity(), 1e-12, " T"},
    }};
    const double value = *this;
    std::string number;
    const char* suffix = " B";
    if (value < 1000.0) {
        number = Format("%7.0lf", value);
    } else {
        for (const Unit& unit : Units) {
            if (value < unit.below) {
                number = Format("%6.1lf", value * unit.scale);
                suffix = unit.suffix;
                break;
            }
        }
    }
    return (grouped ? GroupIntegerDigits(number) : number) + suffix;
}

std::string QWORD::AsHexData() const {
    if (m_hi != 0) {
        return Format("%X%08X", m_hi, m_lo);
    }
    return Format("%X", m_lo);
}

std::string QWORD::AsMAC(const char* separator) const {
    const std::uint64_t bits = GetBits();
    std::string text;
    for (int shift = 40; shift >= 0; shift -= 8) {
        qndis::detail::AppendHexByte(text, static_cast<unsigned char>(bits >> shift));
        if (shift > 0) {
            text += separator;
        }
    }
    return text;
}

QWORD dbl2QWORD(double value) {
    return QWORD(value);
}
