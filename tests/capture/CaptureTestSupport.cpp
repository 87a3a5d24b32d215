#include "tests/capture/CaptureTestSupport.h"

#include "qndislib/capture/DriverLibrary.h"
#include "qndislib/media/MediaInfo.h"
#include "qndislib/platform/Trace.h"
#include "w32n55/OrdinalTable.h"
#include "w32n55/ReceiveCompletion.h"

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
    const unsigned char* to = destination;
    const unsigned char* from = kPeer;
    std::vector<std::uint8_t> frame(to, to + 6);
    frame.insert(frame.end(), from, from + 6);
    frame.insert(frame.end(), {0x08, 0x00});
    for (std::size_t i = 14; i < length; ++i) {
        frame.push_back(static_cast<std::uint8_t>(seed + i));
    }
    frame.resize(length);
    return frame;
}

void Record(CNetworkFrame* frame, void* context) {
    auto* receiver = static_cast<Receiver*>(context);
    const CMediaInfo* medium = frame->AnalyzeFrame();
    receiver->seen.push_back(
        {frame, context,
         static_cast<std::uint64_t>(static_cast<std::int64_t>(frame->GetPacketNumber())),
         static_cast<std::uint64_t>(static_cast<std::int64_t>(frame->GetTimeStamp())),
         std::vector<std::uint8_t>(frame->GetFrame(), frame->GetFrame() + frame->GetLength()),
         frame->GetWireLength(), medium != nullptr ? medium->GetFrameType() : -1});
    if (receiver->reuse) {
        frame->ReUse(context);
    }
    if (receiver->throwOnFirst && receiver->seen.size() == 1) {
        throw RoutineFailure();
    }
}

} // namespace qndis::test
