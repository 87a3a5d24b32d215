#pragma once

#include <cstdint>
#include <string>
#include <vector>

class CMACAddr;

namespace qndis::tool {

// One frame of the demonstration, built by the library's Ethernet medium.
struct DemoFrame {
    int type;         // the Ethernet frame type it was built as
    std::string what; // what it carries, in words
    std::vector<unsigned char> bytes;
};

// A frame of each of the seven encapsulations, four of them carrying IPv4
// (UDP, TCP with an HTTP request, ICMP echo) so that every filter kind has
// something to decide.
std::vector<DemoFrame> BuildDemoFrames(const CMACAddr& source, const CMACAddr& destination);

} // namespace qndis::tool
