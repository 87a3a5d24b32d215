#include "tests/capture/CaptureTestSupport.h"

#include "qndislib/platform/Trace.h"

#include <algorithm>
#include <dirent.h>

namespace qndis::test {

namespace {

std::vector<std::string> g_lines;

void Collect(const char* text) {
    g_lines.emplace_back(text);
}

} // namespace

TraceLog::TraceLog() {
    g_lines.clear();
    detail::SetTraceObserver(&Collect);
}

TraceLog::~TraceLog() {
    detail::SetTraceObserver(nullptr);
}

const std::vector<std::string>& TraceLog::Lines() const {
    return g_lines;
}

int OpenDescriptorCount() {
    int count = 0;
    if (DIR* directory = ::opendir("/proc/self/fd")) {
        while (::readdir(directory) != nullptr) {
            ++count;
        }
        ::closedir(directory);
    }
    return count;
}

std::vector<std::uint8_t> EthernetIIFrame(const CMACAddr& destination, std::size_t length,
                                          std::uint8_t seed) {
    std::vector<std::uint8_t> frame(std::max<std::size_t>(length, 14));
    const unsigned char* to = destination;
    const unsigned char* from = kPeer;
    std::copy(to, to + 6, frame.begin());
    std::copy(from, from + 6, frame.begin() + 6);
    frame[12] = 0x08;
    frame[13] = 0x00;
    for (std::size_t i = 14; i < length; ++i) {
        frame[i] = static_cast<std::uint8_t>(seed + i);
    }
    // Shorter frames are cut after the fields above.
    frame.resize(length);
    return frame;
}

} // namespace qndis::test
