#pragma once

#include "qndislib/frame/BufferFrame.h"
#include "tools/qndis/CaptureSession.h"
#include "tools/qndis/FrameLine.h"

#include <cstdio>

namespace qndis::tool {

class CaptureFile;
struct FileRecord;

// Reads a capture file's frames in place, each whole: analyses and filters
// it, shows and stores it, numbering the frames from 1 in file order. Stops
// at the end of the file, at damage (the file says what), at the count, at
// Ctrl-C or when writing fails (the writer says why).
class ReadSession {
public:
    ReadSession(CaptureFile& file, const FrameTypeNames& names, const CaptureOptions& options,
                std::FILE* out);
    ReadSession(const ReadSession&) = delete;
    ReadSession& operator=(const ReadSession&) = delete;

    void Run();
    const CaptureTotals& Totals() const { return m_totals; }

private:
    void Handle(const FileRecord& record);

    CaptureFile& m_file;
    const CaptureOptions& m_options;
    std::FILE* m_out;
    FrameLine m_line;
    CBufferFrame m_frame;
    CaptureTotals m_totals;
    bool m_done = false;
};

} // namespace qndis::tool
