#pragma once

#include <cstdio>
#include <string>

class CNDISRequesterProxy;

namespace qndis::tool {

// Every statistic and property the request proxy can read, one named line
// each with its NDIS OID name; what the adapter refuses reads "not
// supported".
void PrintStatistics(CNDISRequesterProxy& proxy, std::FILE* out);

// The frame counters that matter after a capture, on one line.
std::string BriefStatistics(CNDISRequesterProxy& proxy);

} // namespace qndis::tool
