#include "qndislib/frame/Frame.h"

#include "qndislib/media/MediaInfo.h"

namespace {

// The header length the description holds, kept within the frame's bytes
// so that the data pointer never leaves them.
unsigned short HeaderWithinFrame(const CMediaInfo& medium, unsigned short length) {
    const int header = medium.GetHeaderLen();
    if (header <= 0) {
        return 0;
    }
    return header < length ? static_cast<unsigned short>(header) : length;
}

} // namespace

std::span<const unsigned char> CFrame::GetDataSpan() const {
    const CMediaInfo* medium = GetMediaInfo();
    const unsigned char* frame = GetFrame();
    if (medium == nullptr || frame == nullptr) {
        return {};
    }
    const unsigned short length = GetLength();
    const unsigned short header = HeaderWithinFrame(*medium, length);
    return {frame + header, static_cast<std::size_t>(length - header)};
}

const unsigned char* CFrame::GetData() const {
    return GetDataSpan().data();
}

unsigned short CFrame::GetDataLength() const {
    return static_cast<unsigned short>(GetDataSpan().size());
}
