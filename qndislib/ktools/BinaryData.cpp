#include "qndislib/ktools/BinaryData.h"

#include "qndislib/ktools/LittleEndian.h"
#include "qndislib/ktools/MemoryBuffer.h"

#include <algorithm>
#include <bit>
#include <cstdio>
#include <cstring>
#include <vector>

#if defined(__x86_64__) && defined(__GNUC__)
#define QNDIS_EDGE_SEARCH 1
#include <immintrin.h>
#endif

namespace ktools {

namespace {

#ifdef QNDIS_EDGE_SEARCH
// Compares eight bytes at a time without a library call, which would cost
// the scans below registers saved on every search.
bool SameBytes(const unsigned char* a, const unsigned char* b, std::size_t count) {
    for (; count >= 8; a += 8, b += 8, count -= 8) {
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, a, 8);
        std::memcpy(&y, b, 8);
        if (x != y) {
            return false;
        }
    }
    for (; count > 0; ++a, ++b, --count) {
        if (*a != *b) {
            return false;
        }
    }
    return true;
}

// Compares the windows whose first and last bytes agree with the pattern,
// bit k of `candidates` standing for the window at block + k.
bool ConfirmWindows(const unsigned char* pattern, std::size_t length, const unsigned char* block,
                    std::uint64_t candidates) {
    for (; candidates != 0; candidates &= candidates - 1) {
        const unsigned char* window = block + std::countr_zero(candidates);
        if (length <= 2 || SameBytes(window + 1, pattern + 1, length - 2)) {
            return true;
        }
    }
    return false;
}

// The short scans end in this call, so that they keep nothing in saved
// registers across it and pay for no saving when no window passes.
__attribute__((noinline)) bool ConfirmAfterScan(const unsigned char* pattern, std::size_t length,
                                                const unsigned char* block,
                                                std::uint64_t candidates) {
    return ConfirmWindows(pattern, length, block, candidates);
}

// Tests the windows of the text `Width` at a time by their first and last
// bytes and compares the bytes between only where both agree. Bit k of
// `edges(block)` is set when window k of the block starts with the
// pattern's first byte and ends with its last. The text holds at least
// `Width` windows.
template <std::size_t Width, class EdgeMatches>
bool ScanByEdges(const unsigned char* pattern, std::size_t length, const unsigned char* text,
                 std::size_t windows, const EdgeMatches& edges) {
    std::size_t at = 0;
    for (; at + Width <= windows; at += Width) {
        const std::uint32_t candidates = edges(text + at);
        if (candidates != 0 && ConfirmWindows(pattern, length, text + at, candidates)) {
            return true;
        }
    }
    if (at == windows) {
        return false;
    }
    // The last block overlaps the one before; windows already tested are
    // masked out.
    const std::size_t start = windows - Width;
    return ConfirmWindows(pattern, length, text + start,
                          edges(text + start) & (~std::uint32_t{0} << (at - start)));
}

// The same for text of `Width` to twice `Width` windows, as in a short
// frame: two blocks, the second overlapping the first, without a loop.
template <std::size_t Width, class EdgeMatches>
bool ScanTwoBlocks(const unsigned char* pattern, std::size_t length, const unsigned char* text,
                   std::size_t windows, const EdgeMatches& edges) {
    const std::size_t second = windows - Width;
    const std::uint64_t candidates = edges(text) | std::uint64_t{edges(text + second)} << second;
    if (candidates == 0) {
        return false;
    }
    EdgeMatches::LeaveWideRegisters();
    return ConfirmAfterScan(pattern, length, text, candidates);
}

struct EdgeTest32 {
    __attribute__((target("avx2"))) EdgeTest32(const unsigned char* pattern, std::size_t length)
        : first(_mm256_set1_epi8(static_cast<char>(pattern[0]))),
          last(_mm256_set1_epi8(static_cast<char>(pattern[length - 1]))), span(length - 1) {}

    __attribute__((target("avx2"))) std::uint32_t operator()(const unsigned char* block) const {
        const __m256i starts = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block));
        const __m256i ends = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(block + span));
        return static_cast<std::uint32_t>(_mm256_movemask_epi8(
            _mm256_and_si256(_mm256_cmpeq_epi8(starts, first), _mm256_cmpeq_epi8(ends, last))));
    }

    // The compiler clears the upper register halves before returns and
    // calls but not before a jump to the confirmation; code without wide
    // registers that runs with them dirty is slowed down on some processors.
    __attribute__((target("avx2"))) static void LeaveWideRegisters() { _mm256_zeroupper(); }

    __m256i first;
    __m256i last;
    std::size_t span;
};

struct EdgeTest16 {
    EdgeTest16(const unsigned char* pattern, std::size_t length)
        : first(_mm_set1_epi8(static_cast<char>(pattern[0]))),
          last(_mm_set1_epi8(static_cast<char>(pattern[length - 1]))), span(length - 1) {}

    std::uint32_t operator()(const unsigned char* block) const {
        const __m128i starts = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block));
        const __m128i ends = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + span));
        return static_cast<std::uint32_t>(_mm_movemask_epi8(
            _mm_and_si128(_mm_cmpeq_epi8(starts, first), _mm_cmpeq_epi8(ends, last))));
    }

    static void LeaveWideRegisters() {}

    __m128i first;
    __m128i last;
    std::size_t span;
};

// Flattened so that the block test, compiled for its own instruction set,
// is inlined into the loop; kept out of the caller so that a search that
// ends in the first blocks pays for nothing else. Each width has a scan of
// two blocks apart, which needs no saved registers.
__attribute__((target("avx2"), flatten, noinline)) bool FindByEdges32(const unsigned char* pattern,
                                                                      std::size_t length,
                                                                      const unsigned char* text,
                                                                      std::size_t windows) {
    return ScanByEdges<32>(pattern, length, text, windows, EdgeTest32(pattern, length));
}

__attribute__((target("avx2"), flatten, noinline)) bool
FindInTwoBlocks32(const unsigned char* pattern, std::size_t length, const unsigned char* text,
                  std::size_t windows) {
    return ScanTwoBlocks<32>(pattern, length, text, windows, EdgeTest32(pattern, length));
}

__attribute__((flatten, noinline)) bool FindByEdges16(const unsigned char* pattern,
                                                      std::size_t length, const unsigned char* text,
                                                      std::size_t windows) {
    return ScanByEdges<16>(pattern, length, text, windows, EdgeTest16(pattern, length));
}

__attribute__((flatten, noinline)) bool FindInTwoBlocks16(const unsigned char* pattern,
                                                          std::size_t length,
                                                          const unsigned char* text,
                                                          std::size_t windows) {
    return ScanTwoBlocks<16>(pattern, length, text, windows, EdgeTest16(pattern, length));
}

// Read once when the library is loaded; before that the narrower search runs.
const bool HasAvx2 = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") != 0;
}();

// Text of fewer windows is searched by shifts.
constexpr std::size_t EdgeSearchMinWindows = 16;
#endif

} // namespace

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
#ifdef QNDIS_EDGE_SEARCH
    if (const std::size_t windows = textLength - m_length + 1; windows >= EdgeSearchMinWindows) {
        const unsigned char* pattern = m_data.get();
        if (windows >= 32 && HasAvx2) {
            return windows <= 64 ? FindInTwoBlocks32(pattern, m_length, text, windows)
                                 : FindByEdges32(pattern, m_length, text, windows);
        }
        return windows <= 32 ? FindInTwoBlocks16(pattern, m_length, text, windows)
                             : FindByEdges16(pattern, m_length, text, windows);
    }
#endif
    return FindByShifts(text, textLength);
}

bool CBinaryData::FindByShifts(const unsigned char* text, unsigned int textLength) {
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
