#include "qndislib/addr/ProtocolId.h"

#include "qndislib/addr/HexText.h"

#include <array>
#include <cstddef>

namespace {

template <std::size_t Count>
const char* FormatLastBytes(const unsigned char* id, std::array<char, 2 * Count + 1>& text) {
    const unsigned char* first = id + 6 - Count;
    for (std::size_t i = 0; i < Count; ++i) {
        text[2 * i] = qndis::detail::UpperHexDigits[first[i] >> 4];
        text[2 * i + 1] = qndis::detail::UpperHexDigits[first[i] & 0x0F];
    }
    text[2 * Count] = '\0';
    return text.data();
}

} // namespace

const char* CProtocolId::As2Byte() const {
    static std::array<char, 5> text;
    return FormatLastBytes<2>(m_id.data(), text);
}

const char* CProtocolId::As5Byte() const {
    static std::array<char, 11> text;
    return FormatLastBytes<5>(m_id.data(), text);
}
