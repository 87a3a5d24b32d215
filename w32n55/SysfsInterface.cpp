#include "w32n55/SysfsInterface.h"

#include <algorithm>
#include <charconv>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <unistd.h>
#include <utility>

namespace w32n55 {
namespace {

// Attribute files are short; a longer one is not one we understand.
constexpr std::size_t kMaxAttributeBytes = 4096;
constexpr std::size_t kMaxNameLength = 15;

std::optional<std::string> ReadFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return std::nullopt;
    }
    std::string content(kMaxAttributeBytes, '\0');
    const ssize_t got = ::read(fd, content.data(), content.size());
    ::close(fd);
    if (got < 0) {
        return std::nullopt;
    }
    content.resize(static_cast<std::size_t>(got));
    return content;
}

std::optional<std::uint64_t> ParseUnsigned(std::string_view text) {
    std::uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

} // namespace

SysfsInterface::SysfsInterface(std::string name, std::string root)
    : name_(std::move(name)), root_(std::move(root)) {}

bool SysfsInterface::IsValidName(std::string_view name) {
    return !name.empty() && name.size() <= kMaxNameLength && name != "." && name != ".." &&
           name.find('/') == std::string_view::npos && name.find('\0') == std::string_view::npos;
}

std::vector<std::string> SysfsInterface::List(const std::string& root) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(root.c_str()), ::closedir);
    if (!dir) {
        return {};
    }
    std::vector<std::pair<std::uint64_t, std::string>> found;
    while (const dirent* entry = ::readdir(dir.get())) {
        const std::string_view name = entry->d_name;
        if (!IsValidName(name)) {
            continue;
        }
        const SysfsInterface interface { std::string(name), root };
        // Plain files (bonding_masters) live beside the interfaces.
        if (const auto index = interface.Number("ifindex")) {
            found.emplace_back(*index, name);
        }
    }
    std::sort(found.begin(), found.end());
    std::vector<std::string> names;
    names.reserve(found.size());
    for (auto& [index, name] : found) {
        names.push_back(std::move(name));
    }
    return names;
}

std::string SysfsInterface::Path(std::string_view attribute) const {
    std::string path = root_;
    path += '/';
    path += name_;
    path += '/';
    path += attribute;
    return path;
}

bool SysfsInterface::Exists() const {
    return IsValidName(name_) && ::access(Path("ifindex").c_str(), F_OK) == 0;
}

std::optional<std::string> SysfsInterface::Text(std::string_view attribute) const {
    if (!IsValidName(name_)) {
        return std::nullopt;
    }
    auto content = ReadFile(Path(attribute));
    if (content) {
        content->resize(std::min(content->size(), content->find('\n')));
    }
    return content;
}

std::optional<std::uint64_t> SysfsInterface::Number(std::string_view attribute) const {
    const auto text = Text(attribute);
    return text ? ParseUnsigned(*text) : std::nullopt;
}

std::optional<std::uint64_t> SysfsInterface::Counter(std::string_view statistic) const {
    std::string attribute = "statistics/";
    attribute += statistic;
    return Number(attribute);
}

std::string SysfsInterface::FriendlyName() const {
    const auto alias = Text("ifalias");
    return alias && !alias->empty() ? *alias : name_;
}

std::optional<MacBytes> SysfsInterface::Address() const {
    const auto text = Text("address");
    return text ? ParseAddress(*text) : std::nullopt;
}

std::optional<MacBytes> SysfsInterface::ParseAddress(std::string_view text) {
    constexpr std::size_t kTextLength = 17; // "aa:bb:cc:dd:ee:ff"
    if (text.size() != kTextLength) {
        return std::nullopt;
    }
    MacBytes bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        const char* digits = text.data() + 3 * i;
        const auto [end, error] = std::from_chars(digits, digits + 2, bytes[i], 16);
        if (error != std::errc{} || end != digits + 2 ||
            (i + 1 < bytes.size() && digits[2] != ':')) {
            return std::nullopt;
        }
    }
    return bytes;
}

std::optional<std::string> SysfsInterface::DeviceType() const {
    if (!IsValidName(name_)) {
        return std::nullopt;
    }
    const auto content = ReadFile(Path("uevent"));
    if (!content) {
        return std::nullopt;
    }
    constexpr std::string_view kKey = "DEVTYPE=";
    std::string_view rest = *content;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.size(), rest.find('\n'));
        const std::string_view line = rest.substr(0, end);
        if (line.starts_with(kKey)) {
            return std::string(line.substr(kKey.size()));
        }
        rest.remove_prefix(std::min(rest.size(), end + 1));
    }
    return std::nullopt;
}

} // namespace w32n55
