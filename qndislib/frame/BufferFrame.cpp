#include "qndislib/frame/BufferFrame.h"

#include <algorithm>
#include <limits>

CBufferFrame::CBufferFrame(const std::string& medium) : m_medium(CreateMedium(medium)) {}

CBufferFrame::~CBufferFrame() = default;

bool CBufferFrame::Set(const unsigned char* bytes, std::uint32_t length, QWORD packetNumber,
                       QWORD timeStamp) {
    m_packetNumber = packetNumber;
    m_timeStamp = timeStamp;
    if (length > MaxLength || (bytes == nullptr && length != 0)) {
        m_bytes = nullptr;
        m_length = 0;
        return false;
    }
    m_bytes = bytes;
    m_length = length;
    return true;
}

unsigned short CBufferFrame::GetLength() const {
    return static_cast<unsigned short>(
        std::min<std::uint32_t>(m_length, std::numeric_limits<unsigned short>::max()));
}

bool CBufferFrame::AnalyzeFrame() {
    if (!m_medium) {
        return false;
    }
    m_medium->AnalyzeFrame(m_bytes, GetLength());
    return true;
}
