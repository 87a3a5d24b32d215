#include "w32n55/ScriptControl.h"

#include "w32n55/ReceiveCompletion.h"
#include "w32n55/ScriptedAdapter.h"

#include <algorithm>
#include <cstring>

using w32n55::ScriptedAdapter;

namespace {

std::string NameOf(const char* ndisName) {
    return ndisName != nullptr ? std::string(ndisName) : std::string();
}

} // namespace

extern "C" {

void W32N55Script_Begin() {
    ScriptedAdapter::Begin();
}

void W32N55Script_End() {
    ScriptedAdapter::End();
}

void W32N55Script_Register(const char* ndisName, const char* friendlyName, std::int32_t openError,
                           std::int32_t sendError, std::int32_t sendsPending) {
    w32n55::AdapterScript script;
    script.friendlyName = NameOf(friendlyName);
    script.openError = openError;
    script.sendError = sendError;
    script.sendsPending = sendsPending != 0;
    ScriptedAdapter::Register(NameOf(ndisName), std::move(script));
}

void W32N55Script_Answer(const char* ndisName, std::int32_t privateRequest, std::uint32_t oid,
                         const std::uint8_t* bytes, std::uint32_t length) {
    w32n55::AdapterScript* script = ScriptedAdapter::ScriptOf(NameOf(ndisName));
    if (script == nullptr || (bytes == nullptr && length != 0)) {
        return;
    }
    auto& answers = privateRequest != 0 ? script->privateAnswers : script->answers;
    answers[oid].assign(bytes, bytes + length);
}

void W32N55Script_Refuse(const char* ndisName, std::uint32_t oid, std::uint32_t status) {
    w32n55::AdapterScript* script = ScriptedAdapter::ScriptOf(NameOf(ndisName));
    if (script == nullptr) {
        return;
    }
    if (status == NDIS_STATUS_SUCCESS) {
        script->refusals.erase(oid);
    } else {
        script->Refuse(oid, status);
    }
}

std::int32_t W32N55Script_Inject(const char* ndisName, const std::uint8_t* frame,
                                 std::uint32_t length, std::uint64_t timestampNs) {
    if (frame == nullptr && length != 0) {
        return 0;
    }
    return ScriptedAdapter::Inject(NameOf(ndisName), {frame, length}, timestampNs);
}

void W32N55Script_Remove(const char* ndisName) {
    ScriptedAdapter::Remove(NameOf(ndisName));
}

void W32N55Script_FinishSends(const char* ndisName) {
    ScriptedAdapter::FinishSends(NameOf(ndisName));
}

std::uint32_t W32N55Script_OpenInstances(const char* ndisName) {
    return static_cast<std::uint32_t>(ScriptedAdapter::OpenInstances(NameOf(ndisName)));
}

std::int32_t W32N55Script_PacketFilter(const char* ndisName, std::uint32_t* filter) {
    const auto current = ScriptedAdapter::PacketFilter(NameOf(ndisName));
    if (!current || filter == nullptr) {
        return 0;
    }
    *filter = *current;
    return 1;
}

std::uint32_t W32N55Script_SentFrame(const char* ndisName, std::uint32_t index,
                                     std::uint8_t* buffer, std::uint32_t room,
                                     std::uint32_t* length) {
    const auto sent = ScriptedAdapter::SentFrames(NameOf(ndisName));
    if (index < sent.size() && length != nullptr) {
        const auto& frame = sent[index];
        *length = static_cast<std::uint32_t>(frame.size());
        if (buffer != nullptr) {
            std::memcpy(buffer, frame.data(), std::min<std::size_t>(frame.size(), room));
        }
    }
    return static_cast<std::uint32_t>(sent.size());
}

void W32N55Script_CompletionStyle(std::int32_t single) {
    w32n55::ReceiveCompletion::SetSingleArgumentStyle(single != 0);
}

} // extern "C"
