#pragma once

#include "qndislib/addr/MACAddr.h"
#include "w32n55/ScriptedAdapter.h"

#include <string>
#include <vector>

namespace qndis::test {

inline const CMACAddr kStation("00A0C9112233");
inline const CMACAddr kBurnedIn("00A0C9445566");
inline const CMACAddr kPeer("020000000001");

// The driver-access library's own ordinal table in-process for the life of
// the object, over the adapters scripted meanwhile, which it forgets again.
class ScriptedDriver {
public:
    ScriptedDriver();
    ~ScriptedDriver();
    ScriptedDriver(const ScriptedDriver&) = delete;
    ScriptedDriver& operator=(const ScriptedDriver&) = delete;
};

// An adapter of `medium` answering it and its two addresses.
w32n55::AdapterScript MediumScript(std::uint32_t medium, const CMACAddr& current = kStation,
                                   const CMACAddr& permanent = kBurnedIn);

// Collects what the library traces while it lives.
class TraceLog {
public:
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

} // namespace qndis::test
