#include "tools/qndis/CaptureSession.h"

#include "qndislib/qndislib.h"
#include "tools/qndis/PcapWriter.h"
#include "tools/qndis/Privileges.h"
#include "tools/qndis/ToolError.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <unistd.h>

namespace qndis::tool {

namespace {

volatile std::sig_atomic_t interruptRequested = 0;

void OnInterrupt(int) {
    interruptRequested = 1;
}

// Live waits wake this often to look at the clock and at Ctrl-C.
constexpr std::uint32_t LiveWaitMs = 100;
// A pcap record header and the file header, for the progress estimate.
constexpr std::uint64_t RecordOverhead = 16;
constexpr auto ProgressInterval = std::chrono::milliseconds(250);

} // namespace

void CatchInterrupt() {
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    // No SA_RESTART: the alertable wait must return at once on Ctrl-C. A
    // second Ctrl-C kills, should the capture not end.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool Interrupted() {
    return interruptRequested != 0;
}

CaptureSession::CaptureSession(CNdisHook& hook, const FrameTypeNames& names,
                               const CaptureOptions& options, std::FILE* out)
    : m_hook(hook), m_options(options), m_out(out), m_line(names, options.view),
      m_linkFrame(options.linkMedium != nullptr ? std::make_unique<CBufferFrame>(options.linkMedium)
                                                : nullptr) {
    m_frequency =
        static_cast<std::uint64_t>(static_cast<std::int64_t>(hook.GetTimestampFrequency()));
}

void CaptureSession::OnFrame(CNetworkFrame* frame, void* context) {
    auto* session = static_cast<CaptureSession*>(context);
    session->Handle(*frame);
    frame->ReUse(context);
}

void CaptureSession::Handle(CNetworkFrame& frame) {
    if (m_done) {
        return;
    }
    ++m_totals.received;
    const auto number =
        static_cast<std::uint64_t>(static_cast<std::int64_t>(frame.GetPacketNumber()));
    if (m_lastPacketNumber != 0 && number > m_lastPacketNumber + 1) {
        m_totals.gaps += number - m_lastPacketNumber - 1;
    }
    m_lastPacketNumber = number;
    m_fileBytesSeen += RecordOverhead + frame.GetLength();

    const CFrame& analysed = Analysed(frame);
    const CMediaInfo* media = analysed.GetMediaInfo();
    if (m_options.filter != nullptr && !m_options.filter->CheckFrame(&analysed)) {
        return;
    }
    ++m_totals.matched;
    m_totals.bytes += frame.GetLength();
    const int type = media != nullptr ? media->GetFrameType() : 0;
    if (type >= 0 && type <= FrameTypeNames::MaxId) {
        ++m_totals.byType[static_cast<std::size_t>(type)];
    }
    const std::uint64_t nanoseconds = StampToNanoseconds(
        static_cast<std::uint64_t>(static_cast<std::int64_t>(frame.GetTimeStamp())), m_frequency);
    if (!m_options.noLines) {
        ShowFrame(m_out, m_line, m_options, analysed, nanoseconds,
                  {frame.GetFrame(), frame.GetLength()});
    }
    const std::uint32_t wireLength = frame.GetWireLength();
    if (wireLength > frame.GetLength()) {
        ++m_totals.cut;
    }
    // A failed write ends the capture; closing the writer then says why.
    if (m_options.writer != nullptr &&
        !m_options.writer->Write(frame.GetFrame(), frame.GetLength(),
                                 std::max<std::uint32_t>(wireLength, frame.GetLength()),
                                 nanoseconds)) {
        m_done = true;
    }
    if (m_options.count && m_totals.matched >= *m_options.count) {
        m_done = true;
    }
}

const CFrame& CaptureSession::Analysed(CNetworkFrame& frame) {
    if (!m_linkFrame) {
        frame.AnalyzeFrame();
        return frame;
    }
    m_linkFrame->Set(frame.GetFrame(), frame.GetLength(), frame.GetPacketNumber(),
                     frame.GetTimeStamp());
    m_linkFrame->AnalyzeFrame();
    return *m_linkFrame;
}

// The hook starts reception by its medium; on an adapter without one every
// nonzero packet filter passes all frames.
bool CaptureSession::StartReception() {
    if (m_linkFrame) {
        return m_hook.SetPacketFilter(NDIS_PACKET_TYPE_DIRECTED | NDIS_PACKET_TYPE_MULTICAST |
                                      NDIS_PACKET_TYPE_BROADCAST);
    }
    return m_options.promiscuous ? m_hook.StartPromiscuousReception()
                                 : m_hook.StartNormalReception();
}

void ShowFrame(std::FILE* out, FrameLine& line, const CaptureOptions& options, const CFrame& frame,
               std::uint64_t nanoseconds, std::span<const unsigned char> bytes) {
    const std::string_view text =
        line.Format(frame, nanoseconds, static_cast<std::uint32_t>(bytes.size()));
    std::fwrite(text.data(), 1, text.size(), out);
    if (options.dump) {
        options.dump->Write(out, bytes);
    }
}

void ShowFileProgress(std::uint64_t bytesSeen, std::uint64_t size, std::uint64_t frames,
                      bool final) {
    const unsigned percent = final ? 100U
                                   : static_cast<unsigned>(std::min<std::uint64_t>(
                                         99, size == 0 ? 0 : bytesSeen * 100 / size));
    std::fprintf(stderr, "\rreading: %3u%%  %llu frames%s", percent,
                 static_cast<unsigned long long>(frames), final ? "\n" : "");
    std::fflush(stderr);
}

void CaptureSession::ShowProgress(bool final) {
    ShowFileProgress(m_fileBytesSeen, m_options.fileSize, m_totals.received, final);
}

void CaptureSession::Run() {
    m_hook.SetCallback(&CaptureSession::OnFrame, this);
    m_hook.ReadStartup();
    if (!StartReception()) {
        m_hook.ResetCallback();
        throw ToolError(CanCapture() ? "the adapter refused to start reception; is it up?"
                                     : CapturePermissionHelp(ProgramPath()));
    }
    using Clock = std::chrono::steady_clock;
    const auto start = Clock::now();
    auto nextProgress = start + ProgressInterval;
    while (!m_done) {
        const std::uint32_t result = SleepEx(m_options.offline ? 0 : LiveWaitMs, true);
        if (Interrupted()) {
            m_totals.interrupted = true;
            break;
        }
        if (m_hook.IsAdapterRemoved()) {
            m_totals.adapterRemoved = true;
            break;
        }
        // Frames of a file are ready at once, so a wait that delivered none
        // means the file is used up.
        if (m_options.offline && result != WAIT_IO_COMPLETION) {
            break;
        }
        const auto now = Clock::now();
        if (m_options.seconds &&
            std::chrono::duration<double>(now - start).count() >= *m_options.seconds) {
            break;
        }
        if (m_options.progress && now >= nextProgress) {
            ShowProgress(false);
            nextProgress = now + ProgressInterval;
        }
    }
    if (m_options.progress) {
        ShowProgress(true);
    }
    m_hook.StopReception();
    m_hook.ResetCallback();
    std::fflush(m_out);
}

} // namespace qndis::tool
