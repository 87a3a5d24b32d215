#pragma once

#include "qndislib/platform/Win32.h"
#include "qndislib/w32n55abi/W32N55.h"

#include <cstdint>
#include <optional>

namespace qndis {

// Sends NDIS requests to an open adapter through the driver-access library:
// the one request path of the hook and the request proxy. The completion
// event the call takes is made once, by Prepare or the first request, and
// kept until Release or the end of its owner, so a query costs no
// descriptor of its own. A copy starts without an event.
class NdisRequest {
public:
    NdisRequest() = default;
    NdisRequest(const NdisRequest& /*other*/) : NdisRequest() {}
    NdisRequest& operator=(const NdisRequest& /*other*/) { return *this; }
    ~NdisRequest();

    // The information buffer of a hardware-address query.
    static constexpr std::uint32_t kAddressRoom = 100;

    static _RETH_REQUEST Make(std::uint32_t type, std::uint32_t oid, void* buffer,
                              std::uint32_t length);

    // False when no completion event could be made.
    bool Prepare();
    void Release();

    // The NDIS status; nullopt when no completion event could be made, and
    // then nothing was sent. `ordinal` is kRequest or kPrivateRequest. The
    // call returns once the request is complete, so the record and its
    // buffer may go right after it.
    std::optional<std::uint32_t> Issue(w32n55abi::Ordinal ordinal, w32n55abi::Handle adapter,
                                       _RETH_REQUEST& request);

private:
    OVERLAPPED m_overlapped{};
};

} // namespace qndis
