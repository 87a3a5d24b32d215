#pragma once

#include "qndislib/Export.h"
#include "qndislib/addr/HexText.h"

#include <array>
#include <type_traits>

// The protocol identifier that follows the addresses of a frame. An
// identifier of L bytes (0 to 6) fills the last L of six bytes; no length
// is kept, so readers pick the form they need.
class QNDIS_API CProtocolId {
public:
    constexpr CProtocolId() = default;
    constexpr CProtocolId(int length, const unsigned char* bytes) { Set(length, bytes); }
    constexpr CProtocolId(const char* text) { qndis::detail::LoadHex(text, m_id.data(), Size); }
    constexpr CProtocolId(const CProtocolId&) = default;
    constexpr CProtocolId& operator=(const CProtocolId&) = default;

    constexpr void Reset() { m_id = {}; }

    // A length outside 0 to 6 is the caller's error; it is clamped so the
    // copy never leaves the six bytes.
    constexpr void Set(int length, const unsigned char* bytes) {
        m_id = {};
        const int count = length < 0 ? 0 : (length > Size ? Size : length);
        for (int i = 0; i < count; ++i) {
            m_id[Size - count + i] = bytes[i];
        }
    }

    constexpr operator const unsigned char*() const { return m_id.data(); }

    // Without these, == between identifiers would quietly compare the
    // pointers of the conversion above.
    constexpr bool operator==(const CProtocolId& other) const {
        return qndis::detail::SameBytes<Size>(m_id.data(), other.m_id.data());
    }
    constexpr bool operator!=(const CProtocolId& other) const { return !(*this == other); }

    // The texts live in one buffer per operation, shared by all identifiers:
    // the next call of the same operation overwrites them.
    const char* As2Byte() const;
    const char* As5Byte() const;

private:
    static constexpr int Size = 6;
    std::array<unsigned char, Size> m_id{};
};

static_assert(sizeof(CProtocolId) == 6 && std::is_trivially_copyable_v<CProtocolId>);
