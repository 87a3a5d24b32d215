#pragma once

#include "qndislib/Export.h"
#include "qndislib/addr/QWORD.h"
#include "qndislib/frame/Frame.h"
#include "qndislib/media/MediaInfo.h"

#include <memory>
#include <string>

// A frame kept beyond the life of the buffer it arrived in: it owns a copy
// of the bytes and its own copy of the medium description.
class QNDIS_API CQuorelFrame : public CFrame {
public:
    CQuorelFrame() = default;
    // Copies a live frame (or any frame): numbers, bytes and a clone of its
    // description with that description's last analysis. A failure while
    // copying bytes or description leaves a frame with the numbers only. A
    // null frame gives a default frame. Takes the CFrame interface, so a
    // CNetworkFrame* converts to it.
    explicit CQuorelFrame(const CFrame* frame);
    // The description is cloned (null gives a frame without one); running
    // the analysis is the caller's business.
    CQuorelFrame(const unsigned char* bytes, unsigned short length, const CMediaInfo* medium);
    // The description is a fresh CreateMedium(medium); an unregistered name
    // gives a frame without description.
    CQuorelFrame(const unsigned char* bytes, unsigned short length, const std::string& medium);
    CQuorelFrame(const CQuorelFrame& other);
    CQuorelFrame& operator=(const CQuorelFrame& other);
    ~CQuorelFrame() override;

    QWORD GetPacketNumber() const override { return m_packetNumber; }
    QWORD GetTimeStamp() const override { return m_timeStamp; }
    const unsigned char* GetFrame() const override { return m_bytes.get(); }
    unsigned short GetLength() const override { return m_length; }
    const CMediaInfo* GetMediaInfo() const override { return m_medium.get(); }
    CMediaInfo* GetMediaInfo() { return m_medium.get(); }

    void SetPacketNumber(QWORD value) { m_packetNumber = value; }
    void SetTimeStamp(QWORD value) { m_timeStamp = value; }

    // Runs the description's length-aware analysis on the stored bytes,
    // which is safe however short the frame is. False without description.
    bool AnalyzeFrame();

private:
    void CopyContents(const CFrame& source);

    QWORD m_packetNumber;
    QWORD m_timeStamp;
    std::unique_ptr<unsigned char[]> m_bytes;
    unsigned short m_length = 0;
    std::unique_ptr<CMediaInfo> m_medium;
};
