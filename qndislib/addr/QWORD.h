#pragma once

#include "qndislib/Export.h"

#include <concepts>
#include <cstdint>
#include <string>
#include <type_traits>

class QWORD;

// Integer types other than the 32-bit unsigned one that the interface names
// directly. They are taken by value modulo 2^64 (a negative number keeps its
// two's-complement pattern), so QWORD(5), q += 5 and q < 5 read as written.
template <class T>
concept QwordOtherInteger = std::integral<T> && !std::same_as<T, std::uint32_t>;

// The library's unsigned 64-bit value: packet numbers, time stamps and byte
// counters. Its memory image is that of a little-endian 64-bit integer.
class QNDIS_API QWORD {
public:
    constexpr QWORD() = default;
    // High half first.
    constexpr QWORD(std::uint32_t high, std::uint32_t low) : m_lo(low), m_hi(high) {}
    constexpr QWORD(std::uint32_t low) : m_lo(low) {}
    constexpr QWORD(const QWORD&) = default;
    constexpr QWORD(std::int64_t value) { SetBits(static_cast<std::uint64_t>(value)); }
    template <QwordOtherInteger T> constexpr QWORD(T value) {
        SetBits(static_cast<std::uint64_t>(value));
    }
    // Reads 8 bytes as a little-endian 64-bit number.
    QWORD(const unsigned char* bytes);
    // Drops the fraction. Out of the range 0 to 2^64-1 the value saturates:
    // negative numbers and NaN give 0, 2^64 and above give 2^64-1.
    QWORD(double value);
    // "0x" followed by up to 16 hexadecimal digits, or a decimal number read
    // as a double; anything unreadable gives 0.
    QWORD(const std::string& text);

    constexpr QWORD& operator=(const QWORD&) = default;
    constexpr QWORD& operator=(std::uint32_t low) {
        m_lo = low;
        m_hi = 0;
        return *this;
    }
    template <QwordOtherInteger T> constexpr QWORD& operator=(T value) {
        return *this = QWORD(value);
    }

    constexpr QWORD& operator++() {
        Add(0, 1);
        return *this;
    }
    constexpr QWORD& operator--() {
        Sub(0, 1);
        return *this;
    }
    constexpr QWORD& operator+=(std::uint32_t value) {
        Add(0, value);
        return *this;
    }
    constexpr QWORD& operator+=(const QWORD& value) {
        Add(value.m_hi, value.m_lo);
        return *this;
    }
    template <QwordOtherInteger T> constexpr QWORD& operator+=(T value) {
        return *this += QWORD(value);
    }
    constexpr QWORD& operator-=(std::uint32_t value) {
        Sub(0, value);
        return *this;
    }
    constexpr QWORD& operator-=(const QWORD& value) {
        Sub(value.m_hi, value.m_lo);
        return *this;
    }
    template <QwordOtherInteger T> constexpr QWORD& operator-=(T value) {
        return *this -= QWORD(value);
    }
    constexpr QWORD operator+(const QWORD& value) const {
        QWORD sum(*this);
        return sum += value;
    }
    constexpr QWORD operator-(const QWORD& value) const {
        QWORD difference(*this);
        return difference -= value;
    }
    // Integers would otherwise be ambiguous between this operator and the
    // built-in one reached through the double or 64-bit conversion.
    template <std::integral T> constexpr QWORD operator+(T value) const {
        return *this + QWORD(value);
    }
    template <std::integral T> constexpr QWORD operator-(T value) const {
        return *this - QWORD(value);
    }

    constexpr bool operator==(std::uint32_t value) const { return Cmp(0, value) == 0; }
    constexpr bool operator!=(std::uint32_t value) const { return Cmp(0, value) != 0; }
    constexpr bool operator<(std::uint32_t value) const { return Cmp(0, value) < 0; }
    constexpr bool operator<=(std::uint32_t value) const { return Cmp(0, value) <= 0; }
    constexpr bool operator>(std::uint32_t value) const { return Cmp(0, value) > 0; }
    constexpr bool operator>=(std::uint32_t value) const { return Cmp(0, value) >= 0; }
    constexpr bool operator==(const QWORD& value) const { return Cmp(value.m_hi, value.m_lo) == 0; }
    constexpr bool operator!=(const QWORD& value) const { return Cmp(value.m_hi, value.m_lo) != 0; }
    constexpr bool operator<(const QWORD& value) const { return Cmp(value.m_hi, value.m_lo) < 0; }
    constexpr bool operator<=(const QWORD& value) const { return Cmp(value.m_hi, value.m_lo) <= 0; }
    constexpr bool operator>(const QWORD& value) const { return Cmp(value.m_hi, value.m_lo) > 0; }
    constexpr bool operator>=(const QWORD& value) const { return Cmp(value.m_hi, value.m_lo) >= 0; }
    template <QwordOtherInteger T> constexpr bool operator==(T value) const {
        return *this == QWORD(value);
    }
    template <QwordOtherInteger T> constexpr bool operator!=(T value) const {
        return *this != QWORD(value);
    }
    template <QwordOtherInteger T> constexpr bool operator<(T value) const {
        return *this < QWORD(value);
    }
    template <QwordOtherInteger T> constexpr bool operator<=(T value) const {
        return *this <= QWORD(value);
    }
    template <QwordOtherInteger T> constexpr bool operator>(T value) const {
        return *this > QWORD(value);
    }
    template <QwordOtherInteger T> constexpr bool operator>=(T value) const {
        return *this >= QWORD(value);
    }

    operator double() const;
    // Values of 2^63 and above come out negative.
    constexpr operator std::int64_t() const { return static_cast<std::int64_t>(GetBits()); }
    constexpr std::uint32_t GetLo() const { return m_lo; }
    constexpr std::uint32_t GetHi() const { return m_hi; }
    constexpr bool IsZero() const { return m_lo == 0 && m_hi == 0; }

    std::string AsNumber(bool grouped) const;
    std::string AsBigInt() const;
    std::string AsData(bool grouped) const;
    std::string AsHexData() const;
    std::string AsMAC(const char* separator) const;

private:
    constexpr void Add(std::uint32_t high, std::uint32_t low) {
        const std::uint32_t before = m_lo;
        m_lo += low;
        m_hi += high + (m_lo < before ? 1U : 0U);
    }
    constexpr void Sub(std::uint32_t high, std::uint32_t low) {
        const std::uint32_t borrow = low > m_lo ? 1U : 0U;
        m_lo -= low;
        m_hi -= high + borrow;
    }
    constexpr int Cmp(std::uint32_t high, std::uint32_t low) const {
        if (m_hi != high) {
            return m_hi < high ? -1 : 1;
        }
        if (m_lo != low) {
            return m_lo < low ? -1 : 1;
        }
        return 0;
    }
    constexpr std::uint64_t GetBits() const { return (std::uint64_t{m_hi} << 32) | m_lo; }
    constexpr void SetBits(std::uint64_t bits) {
        m_lo = static_cast<std::uint32_t>(bits);
        m_hi = static_cast<std::uint32_t>(bits >> 32);
    }

    std::uint32_t m_lo = 0;
    std::uint32_t m_hi = 0;
};

static_assert(sizeof(QWORD) == 8 && std::is_trivially_copyable_v<QWORD>);

QNDIS_API QWORD dbl2QWORD(double value);
