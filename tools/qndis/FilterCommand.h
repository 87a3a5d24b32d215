#pragma once

#include <span>
#include <string>

namespace qndis::tool {

// `filter describe FILTER`, `filter save FILTER OUT`, `filter show FILE`:
// parse a filter, store it as the library's filter records and read such
// records back; `filter bpf FILTER` prints the kernel program for it. Returns the exit status;
// raises ToolError.
int RunFilterCommand(std::span<const std::string> arguments);

} // namespace qndis::tool
