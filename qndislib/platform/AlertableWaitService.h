#pragma once

#include <cstdint>

namespace qndis {

// The slot through which the platform's alertable waits reach the wait of
// the driver-access library. The driver side installs the service when it
// loads the library and removes it before unloading, so the waits need no
// link to the driver side and never load the library themselves.
class AlertableWaitService {
public:
    // Same form as the driver's alertable-wait ordinal: event descriptor
    // (-1: none), timeout in ms (-1: none) -> WAIT_* result.
    using Fn = std::uint32_t (*)(int eventFd, std::int32_t timeoutMs);

    static void Install(Fn service);
    static Fn Current();
};

} // namespace qndis
