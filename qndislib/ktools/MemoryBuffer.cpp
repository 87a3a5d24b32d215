#include "qndislib/ktools/MemoryBuffer.h"

#include <cstring>
#include <limits>
#include <utility>

namespace ktools {

namespace {

[[noreturn]] void Raise(std::int32_t line) {
    throw new CMemoryBuffer::CException(CMemoryBuffer::ErrorCode, line, __FILE__);
}

} // namespace

CMemoryBuffer::CMemoryBuffer(const unsigned char* bytes, std::int32_t length)
    // The storage is never written through: with size equal to capacity
    // every Write of one byte or more fails before touching it.
    : m_data(const_cast<unsigned char*>(bytes)), m_capacity(length < 0 ? 0 : length),
      m_size(m_capacity), m_growable(false) {}

CMemoryBuffer::CMemoryBuffer(unsigned char* storage, std::int32_t capacity, std::int32_t size)
    : m_data(storage), m_capacity(capacity < 0 ? 0 : capacity),
      m_size(size < 0 ? 0 : (size > m_capacity ? m_capacity : size)), m_growable(false) {}

CMemoryBuffer::~CMemoryBuffer() {
    Release();
}

CMemoryBuffer::CMemoryBuffer(CMemoryBuffer&& other) noexcept
    : m_data(std::exchange(other.m_data, nullptr)), m_capacity(std::exchange(other.m_capacity, 0)),
      m_size(std::exchange(other.m_size, 0)),
      m_readPosition(std::exchange(other.m_readPosition, 0)),
      m_growable(std::exchange(other.m_growable, true)) {}

CMemoryBuffer& CMemoryBuffer::operator=(CMemoryBuffer&& other) noexcept {
    if (this != &other) {
        Release();
        m_data = std::exchange(other.m_data, nullptr);
        m_capacity = std::exchange(other.m_capacity, 0);
        m_size = std::exchange(other.m_size, 0);
        m_readPosition = std::exchange(other.m_readPosition, 0);
        m_growable = std::exchange(other.m_growable, true);
    }
    return *this;
}

void CMemoryBuffer::Release() noexcept {
    if (m_growable) {
        delete[] m_data;
    }
    m_data = nullptr;
}

void CMemoryBuffer::Write(const void* source, unsigned int count) {
    if (count == 0) {
        return;
    }
    // Computed wide so that a huge count cannot wrap the 32-bit fields.
    const std::int64_t needed = std::int64_t{m_size} + count;
    if (needed > m_capacity) {
        const std::int64_t capacity = (needed / GrowthStep + 1) * GrowthStep;
        if (!m_growable || capacity > std::numeric_limits<std::int32_t>::max()) {
            Raise(__LINE__);
        }
        auto* storage = new unsigned char[static_cast<std::size_t>(capacity)];
        if (m_size > 0) {
            std::memcpy(storage, m_data, static_cast<std::size_t>(m_size));
        }
        delete[] m_data;
        m_data = storage;
        m_capacity = static_cast<std::int32_t>(capacity);
    }
    std::memcpy(m_data + m_size, source, count);
    m_size = static_cast<std::int32_t>(needed);
}

void CMemoryBuffer::Read(void* target, unsigned int count) {
    const std::int64_t remaining = std::int64_t{m_size} - m_readPosition;
    if (remaining < 0 || m_readPosition < 0) {
        Raise(__LINE__);
    }
    if (count > remaining) {
        Raise(__LINE__);
    }
    if (count > 0) {
        std::memcpy(target, m_data + m_readPosition, count);
        m_readPosition += static_cast<std::int32_t>(count);
    }
}

std::int32_t CMemoryBuffer::GetRemaining() const {
    if (m_readPosition < 0 || m_readPosition > m_size) {
        return 0;
    }
    return m_size - m_readPosition;
}

} // namespace ktools
