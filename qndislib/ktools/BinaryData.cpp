#include "qndislib/ktools/BinaryData.h"

#include "qndislib/ktools/LittleEndian.h"
#include "qndislib/ktools/MemoryBuffer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

namespace ktools {

CBinaryData::CBinaryData(const unsigned char* bytes, unsigned int length) {
    if (bytes != nullptr && length != 0) {
        m_data = std::make_unique_for_overwrite<unsigned char[]>(length);
        std::memcpy(m_data.get(), bytes, length);
        m_length = length;
    }
}

CBinaryData::~CBinaryData() = default;

void CBinaryData::Release() {
    if (m_refCount-- == 1) {
        delete this;
    }
}

std::string CBinaryData::AsString() const {
    std::string text = "{";
    text.reserve(6 * std::size_t{m_length} + 2);
    for (unsigned int i = 0; i < m_length; ++i) {
        if (i > 0) {
            text += ", ";
        }
        char digits[8];
        std::snprintf(digits, sizeof digits, "0x%x", unsigned{m_data[i]});
        text += digits;
    }
    text += '}';
    return text;
}

void CBinaryData::Pack(CMemoryBuffer& buffer) const {
    le::Write<std::uint32_t>(buffer, m_length);
    buffer.Write(m_data.get(), m_length);
}

void CBinaryData::Discard() {
    m_data.reset();
    m_goodSuffix.reset();
    m_length = 0;
}

bool CBinaryData::Unpack(CMemoryBuffer& buffer) {
    Discard();
    try {
        const auto length = le::Read<std::uint32_t>(buffer);
        if (length > static_cast<std::uint32_t>(buffer.GetRemaining())) {
            return false;
        }
        if (length > 0) {
            auto data = std::make_unique_for_overwrite<unsigned char[]>(length);
            buffer.Read(data.get(), length);
            m_data = std::move(data);
            m_length = length;
        }
        return true;
    } catch (CMemoryBuffer::CException* error) {
        delete error;
        return false;
    }
}

// Tables of the Turbo Boyer-Moore algorithm (Crochemore et al.): the
// bad-character shifts indexed by byte value and the good-suffix shifts
// indexed by the position of the first mismatch.
void CBinaryData::Prepare() {
    const std::int64_t m = m_length;
    const unsigned char* x = m_data.get();

    std::vector<std::int64_t> suff(static_cast<std::size_t>(m));
    suff[m - 1] = m;
    std::int64_t g = m - 1;
    std::int64_t f = 0;
    for (std::int64_t i = m - 2; i >= 0; --i) {
        if (i > g && suff[i + m - 1 - f] < i - g) {
            suff[i] = suff[i + m - 1 - f];
        } else {
            if (i < g) {
                g = i;
            }
            f = i;
            while (g >= 0 && x[g] == x[g + m - 1 - f]) {
                --g;
            }
            suff[i] = f - g;
        }
    }

    auto goodSuffix = std::make_unique_for_overwrite<std::uint32_t[]>(m_length);
    std::fill_n(goodSuffix.get(), m, m_length);
    std::int64_t j = 0;
    for (std::int64_t i = m - 1; i >= 0; --i) {
        if (suff[i] == i + 1) {
            for (; j < m - 1 - i; ++j) {
                if (goodSuffix[j] == m_length) {
                    goodSuffix[j] = static_cast<std::uint32_t>(m - 1 - i);
                }
            }
        }
    }
    for (std::int64_t i = 0; i <= m - 2; ++i) {
        goodSuffix[m - 1 - suff[i]] = static_cast<std::uint32_t>(m - 1 - i);
    }
    m_goodSuffix = std::move(goodSuffix);

    m_badChar.fill(m_length);
    for (std::int64_t i = 0; i <= m - 2; ++i) {
        m_badChar[x[i]] = static_cast<std::uint32_t>(m - 1 - i);
    }
    for (std::size_t c = 0; c < m_skip.size(); ++c) {
        m_skip[c] = std::max(m_badChar[c], m_goodSuffix[m - 1]);
    }
}

bool CBinaryData::Find(const unsigned char* text, unsigned int textLength) {
    if (m_length == 0) {
        return true;
    }
    if (textLength < m_length) {
        return false;
    }
    if (!m_goodSuffix) {
        Prepare();
    }
    const std::ptrdiff_t m = m_length;
    const unsigned char* x = m_data.get();
    const std::uint32_t* gs = m_goodSuffix.get();
    const unsigned char lastByte = x[m - 1];
    // y is the current window; it never passes `end`, the last window that
    // still fits, by more than one shift, which is at most m (so at most
    // to the end of the text).
    const unsigned char* y = text;
    const unsigned char* const end = text + (textLength - m_length);

    std::ptrdiff_t u = 0;
    std::ptrdiff_t shift = m;
    while (true) {
        // With no remembered match, a window whose last byte differs from
        // the pattern's moves on by the larger of its bad-character and
        // last good-suffix entries and leaves the memory empty; the general
        // step below does exactly that, this loop only does it faster.
        if (u == 0) {
            while (y[m - 1] != lastByte) {
                y += m_skip[y[m - 1]];
                if (y > end) {
                    return false;
                }
            }
        }
        std::ptrdiff_t i = m - 1;
        if (u == 0) {
            while (i >= 0 && x[i] == y[i]) {
                --i;
            }
        } else {
            // Skips the factor that the previous window matched.
            while (i >= 0 && x[i] == y[i]) {
                --i;
                if (i == m - 1 - shift) {
                    i -= u;
                }
            }
        }
        if (i < 0) {
            return true;
        }
        const std::ptrdiff_t v = m - 1 - i;
        const std::ptrdiff_t turboShift = u - v;
        const std::ptrdiff_t bcShift = std::ptrdiff_t{m_badChar[y[i]]} - m + 1 + i;
        shift = std::max(turboShift, bcShift);
        if (gs[i] >= shift) {
            shift = gs[i];
            u = std::min(m - shift, v);
        } else {
            if (turboShift < bcShift) {
                shift = std::max(shift, u + 1);
            }
            u = 0;
        }
        if (shift > end - y) {
            return false;
        }
        y += shift;
    }
}

} // namespace ktools
