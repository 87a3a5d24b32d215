#include "w32n55/AdapterEnumeration.h"

#include <cerrno>
#include <cstring>
#if !defined(_WIN32)
#include "w32n55/SysfsInterface.h"
#endif

namespace w32n55 {

#if !defined(_WIN32)
AdapterEnumeration::AdapterEnumeration(const std::string& root)
    : root_(root), names_(SysfsInterface::List(root)) {}
#endif

AdapterEnumeration::AdapterEnumeration(std::vector<AdapterNames> listed)
    : names_(listed.size()), listed_(std::move(listed)) {}

std::optional<AdapterNames> AdapterEnumeration::First() {
    next_ = 0;
    return Next();
}

std::optional<AdapterNames> AdapterEnumeration::Next() {
    // An interface removed since the snapshot is skipped, not reported.
    while (next_ < names_.size()) {
        if (auto names = At(next_++)) {
            return names;
        }
    }
    return std::nullopt;
}

std::optional<AdapterNames> AdapterEnumeration::At(std::size_t index) {
#if defined(_WIN32)
    return listed_[index];
#else
    if (!listed_.empty()) {
        return listed_[index];
    }
    const SysfsInterface interface { names_[index], root_ };
    if (!interface.Exists()) {
        return std::nullopt;
    }
    return AdapterNames{interface.Name(), interface.FriendlyName()};
#endif
}

int AdapterEnumeration::CopyName(const std::string& text, char* buffer, std::uint32_t* length) {
    if (buffer == nullptr || length == nullptr) {
        return EINVAL;
    }
    if (text.size() > *length) {
        *length = static_cast<std::uint32_t>(text.size());
        return ERANGE;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    *length = static_cast<std::uint32_t>(text.size());
    return 0;
}

} // namespace w32n55
