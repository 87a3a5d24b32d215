#pragma once

#include <string>

class CFilter;

namespace qndis::tool {

// A filter tree written out one filter a line, indented by depth, each line
// naming the kind and its switches before the filter's own description, so
// a user can see how the text was grouped.
std::string FilterOutline(const CFilter& filter);

// The kind of filter in words: "source MAC", "IP port", ...
const char* FilterKindName(const CFilter& filter);

} // namespace qndis::tool
