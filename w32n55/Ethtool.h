#pragma once

#include "w32n55/SysfsInterface.h"

#include <cstdint>
#include <optional>
#include <string>

namespace w32n55 {

// The ethtool questions the adapters ask the kernel about one interface.
// Each answer is empty when the interface or its driver cannot give it.
class Ethtool {
public:
    explicit Ethtool(std::string name);

    // The address burnt into the hardware; an all-zero one counts as none.
    std::optional<MacBytes> PermanentAddress() const;
    // "driver version" as the driver reports itself.
    std::optional<std::string> DriverDescription() const;
    // The link settings' speed in Mb/s; empty while the link has no speed.
    std::optional<std::uint32_t> SpeedMbps() const;
    // Whether the driver reports link settings at all.
    bool HasLinkSettings() const;

private:
    bool Ask(void* command) const;

    std::string name_;
};

} // namespace w32n55
