#pragma once

#include "qndislib/Export.h"
#include "qndislib/addr/QWORD.h"
#include "qndislib/frame/Frame.h"
#include "qndislib/media/MediaInfo.h"

#include <cstdint>
#include <memory>
#include <string>

// A frame over bytes that someone else holds, such as a capture file
// reader's buffer: nothing is copied, so the frame is valid only as long as
// those bytes are. One object is pointed at frame after frame and keeps one
// medium description for all of them.
//
// Frames may be longer than the 16-bit length of the frame interface.
// GetLength() then reports 65,535 and analysis, GetData() and every filter
// work on those first 65,535 bytes, so they always agree about what the
// frame holds; GetCapturedLength() keeps the whole length for whoever
// stores or forwards the bytes.
class QNDIS_API CBufferFrame : public CFrame {
public:
    // The largest frame a capture file of any link type may hold.
    static constexpr std::uint32_t MaxLength = 262'144;

    // The description is a fresh CreateMedium(medium); an unregistered name
    // gives a frame without one.
    explicit CBufferFrame(const std::string& medium);
    CBufferFrame(const CBufferFrame&) = delete;
    CBufferFrame& operator=(const CBufferFrame&) = delete;
    ~CBufferFrame() override;

    // Points the frame at `length` bytes. False, leaving an empty frame, when
    // the length exceeds MaxLength or there are no bytes to point at.
    bool Set(const unsigned char* bytes, std::uint32_t length, QWORD packetNumber, QWORD timeStamp);

    QWORD GetPacketNumber() const override { return m_packetNumber; }
    QWORD GetTimeStamp() const override { return m_timeStamp; }
    const unsigned char* GetFrame() const override { return m_bytes; }
    unsigned short GetLength() const override;
    const CMediaInfo* GetMediaInfo() const override { return m_medium.get(); }
    CMediaInfo* GetMediaInfo() { return m_medium.get(); }
    std::uint32_t GetCapturedLength() const { return m_length; }

    // Runs the description's length-aware analysis over the bytes that
    // GetLength() covers. False without a description.
    bool AnalyzeFrame();

private:
    QWORD m_packetNumber;
    QWORD m_timeStamp;
    const unsigned char* m_bytes = nullptr;
    std::uint32_t m_length = 0;
    std::unique_ptr<CMediaInfo> m_medium;
};
