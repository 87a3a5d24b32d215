#include "qndislib/frame/QuorelFrame.h"

#include <algorithm>
#include <utility>

namespace {

std::unique_ptr<unsigned char[]> CopyBytes(const unsigned char* bytes, unsigned short length) {
    auto block = std::make_unique<unsigned char[]>(length);
    std::copy_n(bytes, length, block.get());
    return block;
}

std::unique_ptr<CMediaInfo> CloneOf(const CMediaInfo* medium) {
    return std::unique_ptr<CMediaInfo>(medium != nullptr ? medium->Clone() : nullptr);
}

} // namespace

CQuorelFrame::CQuorelFrame(const CFrame* frame) {
    if (frame == nullptr) {
        return;
    }
    m_packetNumber = frame->GetPacketNumber();
    m_timeStamp = frame->GetTimeStamp();
    m_length = frame->GetLength();
    // A frame that cannot be copied still keeps its numbers; the failure
    // stays here.
    try {
        CopyContents(*frame);
    } catch (...) {
        m_bytes.reset();
        m_medium.reset();
        m_length = 0;
    }
}

CQuorelFrame::CQuorelFrame(const unsigned char* bytes, unsigned short length,
                           const CMediaInfo* medium)
    : m_bytes(CopyBytes(bytes, bytes != nullptr ? length : 0)),
      m_length(bytes != nullptr ? length : 0), m_medium(CloneOf(medium)) {}

CQuorelFrame::CQuorelFrame(const unsigned char* bytes, unsigned short length,
                           const std::string& medium)
    : m_bytes(CopyBytes(bytes, bytes != nullptr ? length : 0)),
      m_length(bytes != nullptr ? length : 0), m_medium(CreateMedium(medium)) {}

CQuorelFrame::CQuorelFrame(const CQuorelFrame& other)
    : CFrame(other), m_packetNumber(other.m_packetNumber), m_timeStamp(other.m_timeStamp),
      m_length(other.m_length) {
    CopyContents(other);
}

CQuorelFrame& CQuorelFrame::operator=(const CQuorelFrame& other) {
    // Copying first and swapping after means a failed copy leaves the
    // target as it was; the target's old block and description go with the
    // temporary.
    if (this != &other) {
        CQuorelFrame copy(other);
        std::swap(m_packetNumber, copy.m_packetNumber);
        std::swap(m_timeStamp, copy.m_timeStamp);
        std::swap(m_bytes, copy.m_bytes);
        std::swap(m_length, copy.m_length);
        std::swap(m_medium, copy.m_medium);
    }
    return *this;
}

CQuorelFrame::~CQuorelFrame() = default;

void CQuorelFrame::CopyContents(const CFrame& source) {
    const unsigned char* bytes = source.GetFrame();
    if (bytes == nullptr) {
        // No bytes to copy (a default frame): keep none rather than
        // inventing a block, so the length stays truthful.
        m_length = 0;
    } else {
        m_bytes = CopyBytes(bytes, m_length);
    }
    m_medium = CloneOf(source.GetMediaInfo());
}

bool CQuorelFrame::AnalyzeFrame() {
    if (!m_medium) {
        return false;
    }
    m_medium->AnalyzeFrame(m_bytes.get(), m_length);
    return true;
}
