#pragma once

#include <span>
#include <string>

namespace qndis::tool {

// `adapters`: every adapter with its names, address, media and speed.
int RunAdaptersCommand(std::span<const std::string> arguments);

// `stats -i ADAPTER`: every statistic and property the adapter answers.
int RunStatsCommand(std::span<const std::string> arguments);

// `send -i ADAPTER --type N [--vlan ID] [--src MAC] --dst MAC --proto ID
// [--payload HEX] [--count N]`: builds a frame with the Ethernet medium and
// sends it.
int RunSendCommand(std::span<const std::string> arguments);

} // namespace qndis::tool
