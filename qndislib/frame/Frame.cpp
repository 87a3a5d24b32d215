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

const unsigned char* CFrame::GetData() const {
    const CMediaInfo* medium = GetMediaInfo();
    const unsigned char* frame = GetFrame();
    if (medium == nullptr || frame == nullptr) {
        return nullptr;
    }
    return frame + HeaderWithinFrame(*medium, GetLength());
}

unsigned short CFrame::GetDataLength() const {
    const CMediaInfo* medium = GetMediaInfo();
    if (medium == nullptr) {
        return 0;
    }
    const unsigned short length = GetLength();
    return static_cast<unsigned short>(length - HeaderWithinFrame(*medium, length));
}
