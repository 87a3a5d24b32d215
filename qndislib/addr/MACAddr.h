#pragma once

#include "qndislib/Export.h"
#include "qndislib/addr/RevAddr.h"

#include <concepts>
#include <cstdint>
#include <type_traits>

// A 6-byte hardware address in wire order. Besides the wire-order number
// forms of its base it has a 64-bit form that uses the host's little-endian
// packing: byte 0 of the address is the least significant byte.
class QNDIS_API CMACAddr : public CRevAddr<6> {
public:
    constexpr CMACAddr() = default;
    constexpr CMACAddr(const char* text) : CRevAddr<6>(text) {}
    constexpr CMACAddr(std::int32_t value) : CRevAddr<6>(value) {}
    constexpr CMACAddr(std::uint32_t value) : CRevAddr<6>(value) {}
    constexpr CMACAddr(unsigned short value) : CRevAddr<6>(value) {}
    constexpr CMACAddr(const unsigned char* bytes) : CRevAddr<6>(bytes) {}
    constexpr CMACAddr(const CMACAddr&) = default;
    constexpr CMACAddr(const CRevAddr<6>& other) : CRevAddr<6>(other) {}
    constexpr CMACAddr(std::int64_t packed) { Unpack(static_cast<std::uint64_t>(packed)); }
    // Every 64-bit integer type means the little-endian packing, so that
    // 0x29C814C9A000ULL and 0x29C814C9A000LL give the same address.
    template <std::integral T>
    requires(sizeof(T) == 8 && !std::same_as<T, std::int64_t>) constexpr CMACAddr(T packed) {
        Unpack(static_cast<std::uint64_t>(packed));
    }

    constexpr CMACAddr& operator=(const CMACAddr&) = default;

    operator std::int64_t() const;

    bool IsMulticast() const;
    bool IsBroadcast() const;
    bool IsNull() const;
    // Byte 0 lands in bits 24-31 and byte 1 in bits 16-23, leaving bits
    // 8-15 clear; callers compare against values of that shape.
    std::uint32_t GetOUI();

    static const CMACAddr MACBroadcast;
    static const CMACAddr MACNull;

private:
    constexpr void Unpack(std::uint64_t packed) {
        unsigned char* bytes = *this;
        for (int i = 0; i < 6; ++i) {
            bytes[i] = static_cast<unsigned char>(packed >> (8 * i));
        }
    }
};

static_assert(sizeof(CMACAddr) == 6 && std::is_trivially_copyable_v<CMACAddr>);
