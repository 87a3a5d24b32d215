#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace w32n55 {

// Which NDIS OIDs the adapters recognise and which of them map one to one
// onto an interface statistic of the kernel.
class OidCatalog {
public:
    // An OID outside the catalogue is answered NDIS_STATUS_INVALID_OID; one
    // inside it that an adapter cannot answer, NDIS_STATUS_NOT_SUPPORTED.
    static bool IsKnown(std::uint32_t oid);
    // The file under statistics/ that counts what `oid` counts.
    static std::optional<std::string_view> KernelStatistic(std::uint32_t oid);
};

} // namespace w32n55
