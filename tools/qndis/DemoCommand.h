#pragma once

#include <span>
#include <string>

namespace qndis::tool {

// `demo`: needs no argument and no network. Sends a frame of every
// encapsulation on a veth pair in a private namespace when root allows, else
// on loopback, else plays them back from a capture file; captures them
// through the hook and shows their classification, filters with their
// descriptions and verdicts, a filter set stored and read back, and the
// capturing adapter's statistics.
int RunDemoCommand(std::span<const std::string> arguments);

} // namespace qndis::tool
