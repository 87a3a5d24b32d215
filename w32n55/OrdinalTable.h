#pragma once

#include <cstdint>

#if !defined(_WIN32)
// The one symbol of libw32n55.so: qndislib reaches every call through it.
extern "C" __attribute__((visibility("default"))) void*
W32N55_GetProcAddress(std::uint32_t ordinal);
#endif

namespace w32n55 {

// The entry points by ordinal, in the call forms of the driver-access
// contract. Each entry turns the caller's raw records into DriverAccess
// calls and writes the answers back as the contract lays them out.
class OrdinalTable {
public:
    // Null for an ordinal the library does not have.
    static void* Lookup(std::uint32_t ordinal);
};

} // namespace w32n55
