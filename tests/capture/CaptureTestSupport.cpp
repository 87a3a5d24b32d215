#include "tests/capture/CaptureTestSupport.h"

#include "qndislib/media/MediaInfo.h"
#include "qndislib/platform/Trace.h"
#include "w32n55/ScriptControl.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include "qndislib/capture/DriverLibrary.h"
#include "w32n55/OrdinalTable.h"
#endif

namespace qndis::test {

namespace {

#define SCRIPT_CALLS(X)                                                                            \
    X(Begin)                                                                                       \
    X(End)                                                                                         \
    X(Register) X(Answer) X(Refuse) X(Inject) X(Remove) X(FinishSends) X(OpenInstances)            \
        X(PacketFilter) X(SentFrame) X(CompletionStyle)

struct ScriptCalls {
#define MEMBER(name) decltype(&W32N55Script_##name) name;
    SCRIPT_CALLS(MEMBER)
#undef MEMBER
};

#if defined(_WIN32)

// From the stand-in that the package loads, beside the test program.
ScriptCalls Load() {
    const HMODULE module = ::LoadLibraryA(kW32N55LibraryName);
    if (module == nullptr) {
        throw std::runtime_error("no W32N55.dll beside the test program");
    }
    ScriptCalls calls{};
    const auto resolve = [module](const char* name, auto& call) {
        call = reinterpret_cast<std::remove_reference_t<decltype(call)>>(
            reinterpret_cast<void*>(::GetProcAddress(module, name)));
        if (call == nullptr) {
            throw std::runtime_error(std::string("W32N55.dll lacks ") + name);
        }
    };
#define LOADED(name) resolve("W32N55Script_" #name, calls.name);
    SCRIPT_CALLS(LOADED)
#undef LOADED
    return calls;
}

#else

ScriptCalls Load() {
    ScriptCalls calls{};
#define LINKED(name) calls.name = &W32N55Script_##name;
    SCRIPT_CALLS(LINKED)
#undef LINKED
    return calls;
}

#endif

const ScriptCalls& Calls() {
    static const ScriptCalls calls = Load();
    return calls;
}

std::vector<std::string> g_lines;

void Collect(const char* text) {
    g_lines.emplace_back(text);
}

} // namespace

ScriptedDriver::ScriptedDriver() {
    Calls().Begin();
#if !defined(_WIN32)
    DriverLibrary::UseLookupForTesting(&W32N55_GetProcAddress);
#endif
}

ScriptedDriver::~ScriptedDriver() {
#if !defined(_WIN32)
    DriverLibrary::UseLookupForTesting(nullptr);
#endif
    Calls().End();
    Calls().CompletionStyle(0);
}

ScriptRef& ScriptRef::Refuse(std::uint32_t oid, std::uint32_t status) {
    Calls().Refuse(ndisName_.c_str(), oid, status);
    refused_.push_back(oid);
    return *this;
}

void ScriptRef::ClearRefusals() {
    for (const std::uint32_t oid : refused_) {
        Calls().Refuse(ndisName_.c_str(), oid, NDIS_STATUS_SUCCESS);
    }
    refused_.clear();
}

ScriptRef& ScriptRef::Apply(const w32n55::AdapterScript& script) {
    for (const auto& [oid, bytes] : script.answers) {
        Calls().Answer(ndisName_.c_str(), 0, oid, bytes.data(),
                       static_cast<std::uint32_t>(bytes.size()));
    }
    for (const auto& [oid, bytes] : script.privateAnswers) {
        Calls().Answer(ndisName_.c_str(), 1, oid, bytes.data(),
                       static_cast<std::uint32_t>(bytes.size()));
    }
    for (const auto& [oid, status] : script.refusals) {
        Refuse(oid, status);
    }
    return *this;
}

ScriptRef ScriptedAdapter::Register(const std::string& ndisName,
                                    const w32n55::AdapterScript& script) {
    Calls().Register(ndisName.c_str(), script.friendlyName.c_str(), script.openError,
                     script.sendError, script.sendsPending ? 1 : 0);
    ScriptRef registered(ndisName);
    registered.Apply(script);
    return registered;
}

int ScriptedAdapter::Inject(const std::string& ndisName, std::span<const std::uint8_t> frame,
                            std::uint64_t timestampNs) {
    return Calls().Inject(ndisName.c_str(), frame.data(), static_cast<std::uint32_t>(frame.size()),
                          timestampNs);
}

void ScriptedAdapter::Remove(const std::string& ndisName) {
    Calls().Remove(ndisName.c_str());
}

void ScriptedAdapter::FinishSends(const std::string& ndisName) {
    Calls().FinishSends(ndisName.c_str());
}

std::size_t ScriptedAdapter::OpenInstances(const std::string& ndisName) {
    return Calls().OpenInstances(ndisName.c_str());
}

std::optional<std::uint32_t> ScriptedAdapter::PacketFilter(const std::string& ndisName) {
    std::uint32_t filter = 0;
    return Calls().PacketFilter(ndisName.c_str(), &filter) != 0 ? std::optional(filter)
                                                                : std::nullopt;
}

std::vector<std::vector<std::uint8_t>> ScriptedAdapter::SentFrames(const std::string& ndisName) {
    std::vector<std::vector<std::uint8_t>> frames;
    std::uint32_t length = 0;
    for (std::uint32_t i = 0; i < Calls().SentFrame(ndisName.c_str(), i, nullptr, 0, &length);
         ++i) {
        frames.emplace_back(length);
        Calls().SentFrame(ndisName.c_str(), i, frames.back().data(), length, &length);
    }
    return frames;
}

void ScriptedAdapter::SetSingleArgumentStyle(bool single) {
    Calls().CompletionStyle(single ? 1 : 0);
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
