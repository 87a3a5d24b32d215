#include "tools/qndis/ReadSession.h"

#include "qndislib/qndislib.h"
#include "tools/qndis/CaptureFile.h"
#include "tools/qndis/PcapWriter.h"

#include <chrono>

namespace qndis::tool {

namespace {

// The clock is looked at only every so many frames: reading one costs
// more than handling a frame that is neither shown nor written.
constexpr std::uint64_t FramesPerClockLook = 4096;
constexpr auto ProgressInterval = std::chrono::milliseconds(250);

} // namespace

ReadSession::ReadSession(CaptureFile& file, const FrameTypeNames& names,
                         const CaptureOptions& options, std::FILE* out)
    : m_file(file), m_options(options), m_out(out), m_line(names, options.view),
      m_frame(file.Medium()) {}

void ReadSession::Handle(const FileRecord& record) {
    ++m_totals.received;
    const auto length = static_cast<std::uint32_t>(record.bytes.size());
    const std::uint64_t nanoseconds = record.Nanoseconds();
    m_frame.Set(record.bytes.data(), length, QWORD(m_totals.received), QWORD(nanoseconds));
    m_frame.AnalyzeFrame();
    if (m_options.filter != nullptr && !m_options.filter->CheckFrame(&m_frame)) {
        return;
    }
    ++m_totals.matched;
    m_totals.bytes += length;
    // A frame too short for its header has no type to count.
    const CMediaInfo* media = m_frame.GetMediaInfo();
    const int type = media != nullptr && m_frame.GetLength() >= media->GetHeaderLen()
                         ? media->GetFrameType()
                         : 0;
    if (type >= 0 && type <= FrameTypeNames::MaxId) {
        ++m_totals.byType[static_cast<std::size_t>(type)];
    }
    if (!m_options.noLines) {
        ShowFrame(m_out, m_line, m_options, m_frame, nanoseconds, record.bytes);
    }
    if (m_options.writer != nullptr &&
        !m_options.writer->Write(record.bytes.data(), length, record.originalLength, record.seconds,
                                 record.fraction)) {
        m_done = true;
    }
    if (m_options.count && m_totals.matched >= *m_options.count) {
        m_done = true;
    }
}

void ReadSession::Run() {
    using Clock = std::chrono::steady_clock;
    auto nextProgress = Clock::now() + ProgressInterval;
    while (!m_done) {
        if (Interrupted()) {
            m_totals.interrupted = true;
            break;
        }
        const auto record = m_file.Next();
        if (!record) {
            // Ctrl-C breaks a read from a pipe off half-way; that is no damage.
            m_totals.interrupted = Interrupted();
            break;
        }
        Handle(*record);
        if (m_options.progress && m_totals.received % FramesPerClockLook == 0 &&
            Clock::now() >= nextProgress) {
            ShowFileProgress(m_file.Offset(), m_options.fileSize, m_totals.received, false);
            nextProgress = Clock::now() + ProgressInterval;
        }
    }
    if (m_options.progress) {
        ShowFileProgress(m_file.Offset(), m_options.fileSize, m_totals.received, true);
    }
    std::fflush(m_out);
}

} // namespace qndis::tool
