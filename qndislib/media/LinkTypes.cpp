#include "qndislib/media/LinkTypes.h"

#include <array>
#include <string_view>

namespace {

struct LinkTypeMedium {
    std::uint32_t linkType;
    std::string_view shorthand;
};

// The usual number of each medium comes first: raw IP has several, from
// systems that numbered it differently and from IPv4-only and IPv6-only
// variants whose version field still tells the two apart.
constexpr std::array<LinkTypeMedium, 10> LinkTypeMedia{{
    {1, "Ethernet"},
    {113, "LinuxCooked"},
    {276, "LinuxCooked2"},
    {101, "RawIP"},
    {12, "RawIP"},
    {14, "RawIP"},
    {228, "RawIP"},
    {229, "RawIP"},
    {0, "Null"},
    {108, "Loop"},
}};

} // namespace

const char* MediumOfLinkType(std::uint32_t linkType) {
    for (const LinkTypeMedium& row : LinkTypeMedia) {
        if (row.linkType == linkType) {
            return row.shorthand.data();
        }
    }
    return nullptr;
}

std::optional<std::uint32_t> LinkTypeOfMedium(const std::string& shorthand) {
    for (const LinkTypeMedium& row : LinkTypeMedia) {
        if (row.shorthand == shorthand) {
            return row.linkType;
        }
    }
    return std::nullopt;
}
