#pragma once

#include <span>
#include <string>

namespace qndis::tool {

// `capture -i ADAPTER ...`: live capture through a capture hook.
int RunCaptureCommand(std::span<const std::string> arguments);

// `read FILE ...`: the same over a pcap or pcapng file ("-" for standard
// input), each frame whole.
int RunReadCommand(std::span<const std::string> arguments);

} // namespace qndis::tool
