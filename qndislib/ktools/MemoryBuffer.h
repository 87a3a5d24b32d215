#pragma once

// The serialization toolkit: a byte buffer with a write end and a read
// position, its error, and reference-counted binary data. Including this
// header gives the whole toolkit.

#include "qndislib/Export.h"
#include "qndislib/ktools/Exception.h"

#include <cstdint>

namespace ktools {

// Writing appends at the write end, reading consumes from the read
// position; the two are independent, so a buffer filled by a series of
// Pack calls reads back from position 0.
//
// A buffer either grows (it owns its storage, which Write replaces by a
// larger block in steps of 5000 bytes) or is fixed over storage that the
// caller owns and keeps alive: a fixed buffer never frees it, and a Write
// beyond its capacity fails.
class QNDIS_API CMemoryBuffer {
public:
    // Raised, as a heap pointer, when a Write or Read cannot be satisfied.
    class QNDIS_API CException : public ktools::CException {
    public:
        using ktools::CException::CException;
    };

    static constexpr std::int32_t GrowthStep = 5000;
    static constexpr std::int32_t ErrorCode = 1;

    // An empty growable buffer.
    CMemoryBuffer() = default;
    // A fixed buffer for reading `length` bytes received from elsewhere.
    // Nothing can be written to it (its write end is its capacity).
    CMemoryBuffer(const unsigned char* bytes, std::int32_t length);
    // A fixed buffer writing into `capacity` bytes of caller storage, of
    // which the first `size` already count as written.
    CMemoryBuffer(unsigned char* storage, std::int32_t capacity, std::int32_t size);
    ~CMemoryBuffer();

    CMemoryBuffer(const CMemoryBuffer&) = delete;
    CMemoryBuffer& operator=(const CMemoryBuffer&) = delete;
    CMemoryBuffer(CMemoryBuffer&& other) noexcept;
    CMemoryBuffer& operator=(CMemoryBuffer&& other) noexcept;

    // Raises CException* when the buffer is fixed and the bytes do not fit
    // (or the size would pass 2^31 - 1). Running out of memory while growing
    // raises std::bad_alloc; the buffer is unchanged in both cases.
    void Write(const void* source, unsigned int count);
    // Raises CException* when fewer than `count` bytes remain; nothing is
    // copied and the read position stays.
    void Read(void* target, unsigned int count);

    // The written bytes (null while a growable buffer is empty).
    const unsigned char* GetData() const { return m_data; }
    std::int32_t GetSize() const { return m_size; }
    std::int32_t GetCapacity() const { return m_capacity; }
    bool IsGrowable() const { return m_growable; }

    std::int32_t GetReadPosition() const { return m_readPosition; }
    // Any position may be set; a Read at a position beyond the write end
    // raises the buffer's error.
    void SetReadPosition(std::int32_t position) { m_readPosition = position; }
    // Bytes between the read position and the write end; 0 when the read
    // position lies beyond it.
    std::int32_t GetRemaining() const;

    // Forgets the written bytes and rewinds; the storage is kept.
    void Clear() {
        m_size = 0;
        m_readPosition = 0;
    }

private:
    void Release() noexcept;

    unsigned char* m_data = nullptr;
    std::int32_t m_capacity = 0;
    std::int32_t m_size = 0;
    std::int32_t m_readPosition = 0;
    bool m_growable = true;
};

} // namespace ktools

#include "qndislib/ktools/BinaryData.h"
