#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace w32n55 {

using MacBytes = std::array<std::uint8_t, 6>;

// One network interface as the kernel describes it under /sys/class/net. The
// root is a parameter so that a fake tree can stand in for the kernel's.
class SysfsInterface {
public:
    static constexpr std::string_view kDefaultRoot = "/sys/class/net";

    explicit SysfsInterface(std::string name, std::string root = std::string(kDefaultRoot));

    // The names of the interfaces present, in the kernel's index order.
    static std::vector<std::string> List(const std::string& root = std::string(kDefaultRoot));
    // A name that can only refer to one directory below the root.
    static bool IsValidName(std::string_view name);

    const std::string& Name() const { return name_; }
    bool Exists() const;
    // A file's first line, without its line end; empty when it cannot be read.
    std::optional<std::string> Text(std::string_view attribute) const;
    // A decimal attribute; empty when unreadable, not a number or negative
    // (the kernel writes -1 for an unknown link speed).
    std::optional<std::uint64_t> Number(std::string_view attribute) const;
    std::optional<std::uint64_t> Counter(std::string_view statistic) const;
    // The alias when one is set, else the name.
    std::string FriendlyName() const;
    std::optional<MacBytes> Address() const;
    // The DEVTYPE of the interface's uevent ("wlan", "wwan", ...), if any.
    std::optional<std::string> DeviceType() const;

    static std::optional<MacBytes> ParseAddress(std::string_view text);

private:
    std::string Path(std::string_view attribute) const;

    std::string name_;
    std::string root_;
};

} // namespace w32n55
