#include "tools/qndis/Privileges.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <system_error>

namespace qndis::tool {

namespace {

constexpr int CapNetRaw = 13;

} // namespace

// Reads the effective set from /proc rather than linking libcap for one bit.
bool CanCapture() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.starts_with("CapEff:")) {
            std::istringstream value(line.substr(7));
            std::uint64_t mask = 0;
            value >> std::hex >> mask;
            return (mask >> CapNetRaw) & 1U;
        }
    }
    return false;
}

std::string ProgramPath() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string("qndis") : path.string();
}

// cap_net_admin as well: promiscuous mode and the adapter's settings need it.
std::string CapturePermissionHelp(const std::string& program) {
    return "capturing needs the CAP_NET_RAW capability, which this process lacks; run it as "
           "root (sudo " +
           program +
           " ...) or grant the capabilities once with: sudo setcap "
           "cap_net_raw,cap_net_admin+ep " +
           program;
}

} // namespace qndis::tool
