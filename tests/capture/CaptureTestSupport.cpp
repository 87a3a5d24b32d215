#include "tests/capture/CaptureTestSupport.h"

#include "qndislib/capture/DriverLibrary.h"
#include "qndislib/platform/Trace.h"
#include "w32n55/OrdinalTable.h"
#include "w32n55/ReceiveCompletion.h"

#include <algorithm>

namespace qndis::test {

namespace {

std::vector<std::string> g_lines;

void Collect(const char* text) {
    g_lines.emplace_back(text);
}

} // namespace

ScriptedDriver::ScriptedDriver() {
    w32n55::ScriptedAdapter::Begin();
    DriverLibrary::UseLookupForTesting(&W32N55_GetProcAddress);
}

ScriptedDriver::~ScriptedDriver() {
    DriverLibrary::UseLookupForTesting(nullptr);
    w32n55::ScriptedAdapter::End();
    w32n55::ReceiveCompletion::SetSingleArgumentStyle(false);
}

w32n55::AdapterScript MediumScript(std::uint32_t medium, const CMACAddr& current,
                                   const CMACAddr& permanent) {
    const unsigned char* now = current;
    const unsigned char* burnedIn = permanent;
    w32n55::AdapterScript script;
    script.AnswerULong(OID_GEN_MEDIA_IN_USE, medium)
        .AnswerULong(OID_GEN_MEDIA_SUPPORTED, medium)
        .AnswerBytes(OID_802_3_CURRENT_ADDRESS, {now, 6})
        .AnswerBytes(OID_802_3_PERMANENT_ADDRESS, {burnedIn, 6});
    return script;
}

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
