#include "qndislib/platform/AlertableWaitService.h"

#include <atomic>

namespace qndis {

namespace {

constinit std::atomic<AlertableWaitService::Fn> g_service{nullptr};

} // namespace

void AlertableWaitService::Install(Fn service) {
    g_service.store(service, std::memory_order_release);
}

AlertableWaitService::Fn AlertableWaitService::Current() {
    return g_service.load(std::memory_order_acquire);
}

} // namespace qndis
