#pragma once

#include "qndislib/frame/BufferFrame.h"
#include "tools/qndis/FrameDump.h"
#include "tools/qndis/FrameLine.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <span>

class CFilter;
class CNdisHook;
class CNetworkFrame;

namespace qndis::tool {

class PcapWriter;

struct CaptureOptions {
    std::optional<std::uint64_t> count; // stop after this many matching frames
    std::optional<double> seconds;      // stop after this long
    bool promiscuous = false;
    const CFilter* filter = nullptr;
    PcapWriter* writer = nullptr;
    bool noLines = false;
    LineView view;
    std::optional<FrameDump> dump; // the bytes below each line
    // The registered medium that describes the frames of an adapter without
    // an NDIS medium of its own (the all-interfaces device); null for others.
    const char* linkMedium = nullptr;
    bool offline = false;       // a capture file: ends when its frames are used up
    std::uint64_t fileSize = 0; // for the progress indication of a file
    bool progress = false;
};

struct CaptureTotals {
    std::uint64_t received = 0; // every frame delivered, matching or not
    std::uint64_t matched = 0;
    std::uint64_t bytes = 0; // of the matching frames
    std::array<std::uint64_t, FrameTypeNames::MaxId + 1> byType{};
    std::uint64_t gaps = 0; // packet numbers skipped by the driver
    std::uint64_t cut = 0;  // matching frames longer on the wire than stored
    bool interrupted = false;
    bool adapterRemoved = false;
};

// Receives frames through an open hook's 200 packages: the callback runs in
// this thread while Run waits alertably, analyses and filters each frame,
// shows and stores it, and hands the package straight back.
class CaptureSession {
public:
    CaptureSession(CNdisHook& hook, const FrameTypeNames& names, const CaptureOptions& options,
                   std::FILE* out);
    CaptureSession(const CaptureSession&) = delete;
    CaptureSession& operator=(const CaptureSession&) = delete;

    // Starts reception, pumps until a stop condition holds (count, time,
    // Ctrl-C, end of file, the adapter vanishing) and stops reception.
    // Raises ToolError when the adapter refuses to start.
    void Run();
    const CaptureTotals& Totals() const { return m_totals; }

private:
    static void OnFrame(CNetworkFrame* frame, void* context);
    void Handle(CNetworkFrame& frame);
    // The frame with its analysis: the hook's own, or the link medium's.
    const CFrame& Analysed(CNetworkFrame& frame);
    bool StartReception();
    void ShowProgress(bool final);

    CNdisHook& m_hook;
    const CaptureOptions& m_options;
    std::FILE* m_out;
    FrameLine m_line;
    std::unique_ptr<CBufferFrame> m_linkFrame;
    CaptureTotals m_totals;
    std::uint64_t m_frequency = 0;
    std::uint64_t m_lastPacketNumber = 0;
    std::uint64_t m_fileBytesSeen = 0;
    bool m_done = false;
};

// The progress line of a long file on stderr; the final one ends the line.
void ShowFileProgress(std::uint64_t bytesSeen, std::uint64_t size, std::uint64_t frames,
                      bool final);

// A frame's line and, when asked for, its bytes below it: all of them,
// also those of a frame longer than the analysis can tell.
void ShowFrame(std::FILE* out, FrameLine& line, const CaptureOptions& options, const CFrame& frame,
               std::uint64_t nanoseconds, std::span<const unsigned char> bytes);

// Makes Ctrl-C end a capture cleanly instead of killing the process.
void CatchInterrupt();
bool Interrupted();

} // namespace qndis::tool
