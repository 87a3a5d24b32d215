#pragma once

#include "qndislib/addr/HexText.h"

#include <array>
#include <concepts>
#include <cstdint>
#include <string>
#include <type_traits>

// A fixed-size byte address held exactly as it travels on the wire, most
// significant byte first. Numbers are stored in wire order (the reverse of
// their memory image on this little-endian host), byte pointers are copied
// unchanged, and text is read in the order its digits are written.
template <int N> class CRevAddr {
    static_assert(N > 0, "an address has at least one byte");

public:
    constexpr CRevAddr() = default;
    constexpr CRevAddr(const char* text) { LoadStringA(text); }
    constexpr CRevAddr(unsigned short value) { StoreNumber(value, 2); }
    constexpr CRevAddr(std::int32_t value) { StoreNumber(static_cast<std::uint32_t>(value), 4); }
    // Unsigned 32-bit literals such as 0x80000000 mean the same 32-bit
    // pattern as the signed form; without this they would be ambiguous.
    constexpr CRevAddr(std::uint32_t value) { StoreNumber(value, 4); }
    // 64-bit numbers follow the same wire-order rule with eight bytes.
    template <std::integral T>
    requires(sizeof(T) == 8) constexpr CRevAddr(T value) {
        StoreNumber(static_cast<std::uint64_t>(value), 8);
    }
    constexpr CRevAddr(const unsigned char* bytes) { CopyFrom(bytes); }
    constexpr CRevAddr(const CRevAddr&) = default;

    constexpr CRevAddr& operator=(const CRevAddr&) = default;
    constexpr CRevAddr& operator=(const char* text) {
        LoadStringA(text);
        return *this;
    }
    constexpr CRevAddr& operator=(unsigned short value) {
        StoreNumber(value, 2);
        return *this;
    }
    constexpr CRevAddr& operator=(std::int32_t value) {
        StoreNumber(static_cast<std::uint32_t>(value), 4);
        return *this;
    }
    constexpr CRevAddr& operator=(std::uint32_t value) {
        StoreNumber(value, 4);
        return *this;
    }
    template <std::integral T>
    requires(sizeof(T) == 8) constexpr CRevAddr& operator=(T value) {
        StoreNumber(static_cast<std::uint64_t>(value), 8);
        return *this;
    }
    constexpr CRevAddr& operator=(const unsigned char* bytes) {
        CopyFrom(bytes);
        return *this;
    }

    // Reads the last (at most four) bytes as a number, most significant
    // first, and returns its 32-bit pattern.
    constexpr operator std::int32_t() const {
        constexpr int count = N < 4 ? N : 4;
        std::uint32_t value = 0;
        for (int i = N - count; i < N; ++i) {
            value = (value << 8) | m_addr[i];
        }
        return static_cast<std::int32_t>(value);
    }
    constexpr operator unsigned char*() { return m_addr.data(); }
    constexpr operator const unsigned char*() const { return m_addr.data(); }
    operator std::string() const { return GetString("-"); }

    std::string GetString(const char* separator) const {
        std::string text;
        for (int i = 0; i < N; ++i) {
            if (i > 0) {
                text += separator;
            }
            qndis::detail::AppendHexByte(text, m_addr[i]);
        }
        return text;
    }

    constexpr bool operator==(const CRevAddr& other) const {
        return qndis::detail::SameBytes<N>(m_addr.data(), other.m_addr.data());
    }
    constexpr bool operator!=(const CRevAddr& other) const { return !(*this == other); }
    constexpr bool operator<(const CRevAddr& other) const { return Compare(other) < 0; }
    constexpr bool operator<=(const CRevAddr& other) const { return Compare(other) <= 0; }
    constexpr bool operator>(const CRevAddr& other) const { return Compare(other) > 0; }
    constexpr bool operator>=(const CRevAddr& other) const { return Compare(other) >= 0; }

    constexpr int GetSize() const { return N; }

protected:
    static constexpr void Reverse(const unsigned char* source, unsigned char* target,
                                  unsigned short count) {
        for (unsigned short i = 0; i < count; ++i) {
            target[i] = source[count - 1 - i];
        }
    }

private:
    constexpr void LoadStringA(const char* text) { qndis::detail::LoadHex(text, m_addr.data(), N); }

    // The low `width` bytes of the number go into the last bytes of the
    // address, most significant first; bytes before them stay zero.
    constexpr void StoreNumber(std::uint64_t value, int width) {
        m_addr = {};
        const int count = N < width ? N : width;
        for (int i = 0; i < count; ++i) {
            m_addr[N - 1 - i] = static_cast<unsigned char>(value >> (8 * i));
        }
    }

    constexpr void CopyFrom(const unsigned char* bytes) {
        for (int i = 0; i < N; ++i) {
            m_addr[i] = bytes[i];
        }
    }

    constexpr int Compare(const CRevAddr& other) const {
        for (int i = 0; i < N; ++i) {
            if (m_addr[i] != other.m_addr[i]) {
                return m_addr[i] < other.m_addr[i] ? -1 : 1;
            }
        }
        return 0;
    }

    std::array<unsigned char, N> m_addr{};
};

// Addresses travel inside driver records and frame buffers, so they must
// stay plain bytes.
static_assert(std::is_trivially_copyable_v<CRevAddr<6>>);
static_assert(sizeof(CRevAddr<2>) == 2 && sizeof(CRevAddr<4>) == 4 && sizeof(CRevAddr<6>) == 6 &&
              sizeof(CRevAddr<12>) == 12);
