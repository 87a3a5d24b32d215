#pragma once

#include <optional>
#include <string>

namespace qndis::tool {

// A veth pair inside a network and mount namespace of this process's own,
// so the demonstration's frames can reach nothing outside it.
struct PrivateNetwork {
    std::string sendAdapter;
    std::string captureAdapter;
};

// Moves the process into fresh namespaces with their own /sys and creates
// the pair. Empty, with `why` set, when that is not allowed (not root, no
// CAP_SYS_ADMIN, no iproute2); the process may then already be in a fresh,
// empty network namespace, where only loopback exists.
std::optional<PrivateNetwork> EnterPrivateNetwork(std::string& why);

// Brings up the loopback interface of the current namespace.
bool BringUpLoopback();

} // namespace qndis::tool
