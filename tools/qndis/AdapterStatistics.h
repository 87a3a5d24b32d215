#pragma once

#include <cstdio>
#include <string>

class CNDISRequesterProxy;

namespace qndis::tool {

// Every statistic and property the request proxy can read, one named line
// each with its NDIS OID name; what the adapter refuses reads "not
// supported".
void PrintStatistics(CNDISRequesterProxy& proxy, std::FILE* out);

// The interface's own frame counters, on one line: what a capture sees
// beside its own losses.
std::string BriefStatistics(CNDISRequesterProxy& proxy);

} // namespace qndis::tool
