#pragma once

#include "qndislib/addr/MACAddr.h"
#include "tests/support/FakeDriver.h"

#include <string>
#include <vector>

namespace qndis::test {

inline const CMACAddr kStation("00A0C9112233");
inline const CMACAddr kBurnedIn("00A0C9445566");
inline const CMACAddr kPeer("020000000001");

// Collects what the library traces while it lives.
class TraceLog {
public:
    TraceLog();
    ~TraceLog();
    TraceLog(const TraceLog&) = delete;
    TraceLog& operator=(const TraceLog&) = delete;

    const std::vector<std::string>& Lines() const;
};

// Descriptors this process has open; a leaked event shows up here.
int OpenDescriptorCount();

// An Ethernet II frame of `length` bytes from kPeer to `destination`, cut
// after `length` bytes when that is shorter than the header.
std::vector<std::uint8_t> EthernetIIFrame(const CMACAddr& destination, std::size_t length,
                                          std::uint8_t seed);

} // namespace qndis::test
