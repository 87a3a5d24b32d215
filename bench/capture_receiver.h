#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace capture_bench {

// Ethernet type of the harness's frames; anything else on the link (the
// kernel's own neighbour traffic) is not counted.
constexpr std::uint16_t kBenchEtherType = 0x88B5;

// Marked floods set byte kMarkOffset of one frame in kMarkEvery to kMark;
// the other frames hold zeros there.
constexpr std::size_t kMarkEvery = 100;
constexpr std::size_t kMarkOffset = 20;
constexpr std::uint8_t kMark = 0x01;
inline bool IsBenchFrame(const std::uint8_t* frame, std::uint32_t length) {
    return length >= 14 && frame[12] == (kBenchEtherType >> 8) &&
           frame[13] == (kBenchEtherType & 0xFF);
}

struct ReceiveResult {
    std::uint64_t frames = 0;
    // When the batch holding the last counted frame was handed over.
    std::chrono::steady_clock::time_point last;
};

// One way of receiving frames from an interface. Each mode of the harness is
// one implementation, registered by name with a CaptureReceiverRegistration
// in its own source file; adding a mode means adding that file to the
// harness's sources in capture.cmake.
class CaptureReceiver {
public:
    virtual ~CaptureReceiver() = default;
    // Opens `interface` and starts delivering every frame on it. False with a
    // reason in `error` on failure.
    virtual bool Open(const std::string& interface, std::string& error) = 0;
    // Takes frames until `target` bench frames arrived in total or none
    // arrived for `idle`.
    virtual ReceiveResult Receive(std::uint64_t target, std::chrono::milliseconds idle) = 0;
    // Frames the capture path lost for lack of room, as it reports them.
    virtual std::uint64_t Drops() = 0;
    virtual void Close() = 0;
};

struct CaptureMode {
    std::string key;
    std::string description;
    std::unique_ptr<CaptureReceiver> (*make)();
    // Nonzero: the mode takes a marked flood and counts only marked frames.
    std::size_t markEvery = 0;
};

std::vector<CaptureMode>& CaptureModes();

struct CaptureReceiverRegistration {
    CaptureReceiverRegistration(std::string key, std::string description,
                                std::unique_ptr<CaptureReceiver> (*make)()) {
        CaptureModes().push_back({std::move(key), std::move(description), make});
    }
    CaptureReceiverRegistration(std::string key, std::string description, std::size_t markEvery,
                                std::unique_ptr<CaptureReceiver> (*make)()) {
        CaptureModes().push_back({std::move(key), std::move(description), make, markEvery});
    }
};

} // namespace capture_bench
