#include "w32n55/Ethtool.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstring>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>
#include <utility>

namespace w32n55 {
namespace {

// ethtool_perm_addr ends in a flexible array; this is its layout with room
// for any hardware address the kernel keeps (MAX_ADDR_LEN).
struct PermanentAddressCommand {
    std::uint32_t cmd;
    std::uint32_t size;
    std::array<std::uint8_t, 32> data;
};
static_assert(offsetof(ethtool_perm_addr, data) == offsetof(PermanentAddressCommand, data));

std::string FieldText(const char* field, std::size_t capacity) {
    return std::string(field, strnlen(field, capacity));
}

} // namespace

Ethtool::Ethtool(std::string name) : name_(std::move(name)) {}

bool Ethtool::Ask(void* command) const {
    if (!SysfsInterface::IsValidName(name_)) {
        return false;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    ifreq request{};
    std::memcpy(request.ifr_name, name_.data(), name_.size());
    request.ifr_data = static_cast<char*>(command);
    const bool ok = ::ioctl(fd, SIOCETHTOOL, &request) == 0;
    ::close(fd);
    return ok;
}

std::optional<MacBytes> Ethtool::PermanentAddress() const {
    PermanentAddressCommand command{};
    command.cmd = ETHTOOL_GPERMADDR;
    command.size = command.data.size();
    if (!Ask(&command) || command.size != MacBytes().size()) {
        return std::nullopt;
    }
    MacBytes address{};
    std::copy_n(command.data.begin(), address.size(), address.begin());
    if (std::all_of(address.begin(), address.end(), [](std::uint8_t b) { return b == 0; })) {
        return std::nullopt;
    }
    return address;
}

std::optional<std::string> Ethtool::DriverDescription() const {
    ethtool_drvinfo info{};
    info.cmd = ETHTOOL_GDRVINFO;
    if (!Ask(&info)) {
        return std::nullopt;
    }
    std::string text = FieldText(info.driver, sizeof info.driver);
    const std::string version = FieldText(info.version, sizeof info.version);
    if (text.empty()) {
        return std::nullopt;
    }
    if (!version.empty()) {
        text += ' ';
        text += version;
    }
    return text;
}

std::optional<std::uint32_t> Ethtool::SpeedMbps() const {
    // The legacy command is enough for a speed and every driver with link
    // settings still answers it.
    ethtool_cmd settings{};
    settings.cmd = ETHTOOL_GSET;
    if (!Ask(&settings)) {
        return std::nullopt;
    }
    const std::uint32_t speed = ethtool_cmd_speed(&settings);
    if (speed == 0 || speed == static_cast<std::uint32_t>(SPEED_UNKNOWN)) {
        return std::nullopt;
    }
    return speed;
}

bool Ethtool::HasLinkSettings() const {
    ethtool_cmd settings{};
    settings.cmd = ETHTOOL_GSET;
    return Ask(&settings);
}

} // namespace w32n55
