#pragma once

#include <string>

namespace qndis::tool {

// Whether this process may open packet sockets (the effective CAP_NET_RAW
// capability, which root normally holds).
bool CanCapture();

// The running program's own file, for messages that tell the user what to
// run; "qndis" when it cannot be found.
std::string ProgramPath();

// The sentence that tells the user how to obtain that right for `program`.
std::string CapturePermissionHelp(const std::string& program);

} // namespace qndis::tool
