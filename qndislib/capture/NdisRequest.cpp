#include "qndislib/capture/NdisRequest.h"

#include "qndislib/capture/DriverLibrary.h"

namespace qndis {

NdisRequest::~NdisRequest() {
    Release();
}

_RETH_REQUEST NdisRequest::Make(std::uint32_t type, std::uint32_t oid, void* buffer,
                                std::uint32_t length) {
    _RETH_REQUEST request{};
    request.RequestType = type;
    request.Oid = oid;
    request.InformationBuffer = buffer;
    request.InformationBufferLength = length;
    return request;
}

bool NdisRequest::Prepare() {
    if (m_overlapped.hEvent == nullptr) {
        m_overlapped.hEvent = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        if (m_overlapped.hEvent == nullptr) {
            return false;
        }
        ResetEvent(m_overlapped.hEvent);
    }
    return true;
}

void NdisRequest::Release() {
    if (m_overlapped.hEvent != nullptr) {
        CloseHandle(m_overlapped.hEvent);
    }
    m_overlapped = OVERLAPPED{};
}

std::optional<std::uint32_t> NdisRequest::Issue(w32n55abi::Ordinal ordinal,
                                                w32n55abi::Handle adapter, _RETH_REQUEST& request) {
    if (!Prepare()) {
        return std::nullopt;
    }
    const auto call = reinterpret_cast<w32n55abi::RequestFn>(DriverLibrary::Resolve(ordinal));
    return call(adapter, &request, &m_overlapped, 1);
}

} // namespace qndis
