#include "tools/qndis/FrameDump.h"

#include "qndislib/addr/HexText.h"

#include <algorithm>
#include <array>
#include <cstddef>

namespace qndis::tool {

namespace {

constexpr std::size_t BytesPerLine = 16;
// " xxxx" for each pair of bytes, so a short last line keeps the text
// column where the full lines have it.
constexpr std::size_t HexColumnWidth = BytesPerLine / 2 * 5;
constexpr std::size_t LineCapacity = 16 + HexColumnWidth + 2 + BytesPerLine + 2;

bool Printable(unsigned char byte) {
    return byte >= 0x20 && byte < 0x7F;
}

} // namespace

void FrameDump::Write(std::FILE* out, std::span<const unsigned char> bytes) const {
    using detail::UpperHexDigits;
    for (std::size_t offset = 0; offset < bytes.size(); offset += BytesPerLine) {
        const auto chunk = bytes.subspan(offset, std::min(BytesPerLine, bytes.size() - offset));
        std::array<char, LineCapacity> line{};
        int used = std::snprintf(line.data(), line.size(), "\t0x%04zx: ", offset);
        const int hexStart = used;
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            if (i % 2 == 0) {
                line[static_cast<std::size_t>(used++)] = ' ';
            }
            line[static_cast<std::size_t>(used++)] = UpperHexDigits[chunk[i] >> 4];
            line[static_cast<std::size_t>(used++)] = UpperHexDigits[chunk[i] & 0x0F];
        }
        if (m_withText) {
            const int pad = static_cast<int>(HexColumnWidth) - (used - hexStart) + 2;
            std::fill_n(line.data() + used, pad, ' ');
            used += pad;
            for (const unsigned char byte : chunk) {
                line[static_cast<std::size_t>(used++)] =
                    Printable(byte) ? static_cast<char>(byte) : '.';
            }
        }
        line[static_cast<std::size_t>(used++)] = '\n';
        std::fwrite(line.data(), 1, static_cast<std::size_t>(used), out);
    }
}

} // namespace qndis::tool
