#pragma once

#include "qndislib/addr/MACAddr.h"
#include "qndislib/capture/NetworkFrame.h"
#include "w32n55/AdapterScript.h"

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace qndis::test {

inline const CMACAddr kStation("00A0C9112233");
inline const CMACAddr kBurnedIn("00A0C9445566");
inline const CMACAddr kPeer("020000000001");

// For the life of the object the package runs against the driver-access
// library over the adapters scripted meanwhile, which it forgets again: on
// Linux its ordinal table in-process, on Windows the stand-in W32N55.dll
// that the package loads itself.
struct ScriptedDriver {
    ScriptedDriver();
    ~ScriptedDriver();
    ScriptedDriver(const ScriptedDriver&) = delete;
    ScriptedDriver& operator=(const ScriptedDriver&) = delete;
};

// A registered script, changed in the driver-access library as it is
// changed here.
class ScriptRef {
public:
    explicit ScriptRef(std::string ndisName) : ndisName_(std::move(ndisName)) {}

    // The answers of w32n55::AdapterScript, made in the library.
#define SCRIPT_ANSWER(name)                                                                        \
    template <typename... Values> ScriptRef& name(std::uint32_t oid, const Values&... values) {    \
        return Apply(w32n55::AdapterScript().name(oid, values...));                                \
    }
    SCRIPT_ANSWER(AnswerULong)
    SCRIPT_ANSWER(AnswerULongs)
    SCRIPT_ANSWER(AnswerCounter)
    SCRIPT_ANSWER(AnswerBytes)
    SCRIPT_ANSWER(AnswerText)
    SCRIPT_ANSWER(AnswerPrivateULong)
#undef SCRIPT_ANSWER
    ScriptRef& Refuse(std::uint32_t oid, std::uint32_t status);
    // Of the refusals made through this reference and its registration.
    void ClearRefusals();
    // Adds the answers and refusals of `script`.
    ScriptRef& Apply(const w32n55::AdapterScript& script);

private:
    std::string ndisName_;
    std::vector<std::uint32_t> refused_;
};

// The scripting calls of the driver-access library (w32n55::ScriptedAdapter),
// reached the same way on both platforms.
struct ScriptedAdapter {
    static ScriptRef Register(const std::string& ndisName, const w32n55::AdapterScript& script);
    // The number of open instances the frame was queued on.
    static int Inject(const std::string& ndisName, std::span<const std::uint8_t> frame,
                      std::uint64_t timestampNs);
    static void Remove(const std::string& ndisName);
    static void FinishSends(const std::string& ndisName);
    static std::size_t OpenInstances(const std::string& ndisName);
    static std::optional<std::uint32_t> PacketFilter(const std::string& ndisName);
    static std::vector<std::vector<std::uint8_t>> SentFrames(const std::string& ndisName);
    static void SetSingleArgumentStyle(bool single);
};

// An adapter of `medium` answering it and its two addresses.
w32n55::AdapterScript MediumScript(std::uint32_t medium, const CMACAddr& current = kStation,
                                   const CMACAddr& permanent = kBurnedIn);

// Collects what the library traces while it lives.
struct TraceLog {
    TraceLog();
    ~TraceLog();
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;
    const std::vector<std::string>& Lines() const;
};

// An Ethernet II frame of `length` bytes from kPeer to `destination`, cut
// after `length` bytes when that is shorter than the header.
std::vector<std::uint8_t> EthernetIIFrame(const CMACAddr& destination, std::size_t length,
                                          std::uint8_t seed);

// What a callback was handed, copied out of the package while it was valid.
struct Seen {
    CNetworkFrame* package;
    void* context;
    std::uint64_t number;
    std::uint64_t stamp;
    std::vector<std::uint8_t> bytes;
    std::uint32_t wireLength;
    int frameType; // -1: no description
};

struct Receiver {
    std::vector<Seen> seen;
    bool reuse = true;
    bool throwOnFirst = false;
};

struct RoutineFailure : std::runtime_error {
    RoutineFailure() : std::runtime_error("routine failed") {}
};

// A frame callback whose context is a Receiver: analyses and records the
// frame, hands the package back when asked to, then throws when asked to.
void Record(CNetworkFrame* frame, void* context);

} // namespace qndis::test
