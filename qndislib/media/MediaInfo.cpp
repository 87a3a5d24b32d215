#include "qndislib/media/MediaInfo.h"

CMediaInfo::CFrameInfo::CFrameInfo(const std::string& text, std::int32_t frameId)
    : CFrameInfo(text.c_str(), frameId) {}

CMediaInfo::CMediaInfo(const char* name, const char* shorthand, const CFrameInfo* frames,
                       std::int32_t frameCount)
    : m_name(name != nullptr ? name : ""), m_shorthand(shorthand != nullptr ? shorthand : ""),
      m_frames(frames), m_frameCount(frames != nullptr ? frameCount : 0) {}

CMediaInfo::CMediaInfo(const CMediaInfo& other) = default;

CMediaInfo& CMediaInfo::operator=(const CMediaInfo& other) = default;

CMediaInfo::~CMediaInfo() = default;

int CMediaInfo::operator==(const CMediaInfo& other) const {
    return this == &other ? 1 : 0;
}

const char* CMediaInfo::GetFirstFrameType(std::int32_t& id) {
    m_frameCursor = 0;
    return FrameTypeAtCursor(id);
}

const char* CMediaInfo::GetNextFrameType(std::int32_t& id) {
    // Past the end the cursor stays put, so it cannot wrap round to a
    // valid row however often the caller keeps asking.
    if (m_frameCursor < m_frameCount) {
        ++m_frameCursor;
    }
    return FrameTypeAtCursor(id);
}

const char* CMediaInfo::FrameTypeAtCursor(std::int32_t& id) const {
    if (m_frameCursor < 0 || m_frameCursor >= m_frameCount) {
        return nullptr;
    }
    const CFrameInfo& row = m_frames[m_frameCursor];
    id = row.id;
    return row.name;
}

const char* CMediaInfo::GetName() const {
    return m_name.c_str();
}

const char* CMediaInfo::GetShorthand() const {
    return m_shorthand.c_str();
}

bool CMediaInfo::IsAddressedToMe() const {
    return m_destinationAddress == m_currentAddress || m_destinationAddress == m_broadcastAddress ||
           m_destinationAddress == m_appletalkMulticastAddress;
}
