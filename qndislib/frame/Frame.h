#pragma once

#include "qndislib/Export.h"
#include "qndislib/addr/QWORD.h"
#include "qndislib/media/MediaInfo.h"

#include <cstddef>
#include <span>

// The one view of a frame that filters and applications work on: its bytes,
// their count, a packet number, a time stamp and the medium description
// whose last analysis describes the frame's header.
class QNDIS_API CFrame {
public:
    CFrame() = default;
    CFrame(const CFrame&) = default;
    CFrame& operator=(const CFrame&) = default;

    virtual QWORD GetPacketNumber() const = 0;
    virtual QWORD GetTimeStamp() const = 0;
    virtual const unsigned char* GetFrame() const = 0;
    virtual unsigned short GetLength() const = 0;
    virtual const CMediaInfo* GetMediaInfo() const = 0;

    // The bytes after the header that the medium description's last
    // analysis found; null without a description. A header longer than the
    // frame leaves no data: the pointer then stops at the frame's end so it
    // never points outside the bytes.
    const unsigned char* GetData() const;
    unsigned short GetDataLength() const;
    // Both of the above at once, asking the frame for its description,
    // bytes and length only once: the form for code that tests every frame.
    // Empty (with a null pointer) without a description.
    // Inline, as filters call it on every frame they test.
    std::span<const unsigned char> GetDataSpan() const {
        const CMediaInfo* medium = GetMediaInfo();
        const unsigned char* frame = GetFrame();
        if (medium == nullptr || frame == nullptr) {
            return {};
        }
        const unsigned short length = GetLength();
        const int header = medium->GetHeaderLen();
        const std::size_t skipped = header <= 0 ? 0 : (header < length ? header : length);
        return {frame + skipped, length - skipped};
    }

protected:
    // Frames are owned by whoever made them (a capture hook, the
    // application); they are never deleted through this interface.
    virtual ~CFrame() = default;
};
