#include "qndislib/adapter/NDISRequesterProxy.h"

#include "qndislib/capture/NdisHook.h"
#include "qndislib/w32n55abi/LittleEndian.h"
#include "qndislib/w32n55abi/W32N55.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>

namespace {

using w32n55abi::ReadLittleEndian;
using w32n55abi::WriteLittleEndian;

constexpr std::uint32_t kVendorBufferSize = 300;
constexpr std::uint32_t kMediaBufferSize = 80;
constexpr std::uint32_t kMediumValueSize = 4;
constexpr std::int32_t kLongFailure = -1;

constexpr const char* kVendorError = "*ERROR*";

// One buffer for the whole process, as applications expect of the vendor
// text. The byte past the query length stays 0, so the text is terminated
// whatever the adapter writes.
std::array<char, kVendorBufferSize + 1> g_vendorText{};

constexpr std::int32_t AsOid(std::uint32_t oid) {
    return static_cast<std::int32_t>(oid);
}

_RETH_REQUEST MakeRequest(std::uint32_t type, std::int32_t oid, void* buffer,
                          std::uint32_t length) {
    return qndis::NdisRequest::Make(type, static_cast<std::uint32_t>(oid), buffer, length);
}

// The hook hands its driver handle out as a pointer-sized value.
w32n55abi::Handle HandleOf(CNdisHook* hook) {
    if (hook == nullptr) {
        return w32n55abi::kNoHandle;
    }
    return static_cast<w32n55abi::Handle>(reinterpret_cast<std::intptr_t>(hook->GetHandle()));
}

} // namespace

CNDISRequesterProxy::CNDISRequesterProxy(CNdisHook* hook) : m_hook(hook) {}
CNDISRequesterProxy::CNDISRequesterProxy(const CNDISRequesterProxy& other) = default;
CNDISRequesterProxy& CNDISRequesterProxy::operator=(const CNDISRequesterProxy& other) = default;
CNDISRequesterProxy::~CNDISRequesterProxy() = default;

int CNDISRequesterProxy::IsSupported(std::int32_t oid) const {
    return std::binary_search(m_refused.begin(), m_refused.end(), oid) ? 0 : 1;
}

void CNDISRequesterProxy::AddToForbidden(std::int32_t oid) {
    const auto at = std::lower_bound(m_refused.begin(), m_refused.end(), oid);
    if (at == m_refused.end() || *at != oid) {
        m_refused.insert(at, oid);
    }
}

bool CNDISRequesterProxy::DoRequest(_RETH_REQUEST* request) {
    const auto oid = static_cast<std::int32_t>(request->Oid);
    if (IsSupported(oid) == 0) {
        m_status = static_cast<int>(NDIS_STATUS_NOT_SUPPORTED);
        return true;
    }
    if (!Send(w32n55abi::kRequest, request)) {
        return false;
    }
    const auto status = static_cast<std::uint32_t>(m_status);
    if (status == NDIS_STATUS_NOT_SUPPORTED || status == NDIS_STATUS_INVALID_OID) {
        AddToForbidden(oid);
    }
    return true;
}

bool CNDISRequesterProxy::DoPrivateRequest(_RETH_REQUEST* request) {
    return Send(w32n55abi::kPrivateRequest, request);
}

bool CNDISRequesterProxy::Send(w32n55abi::Ordinal ordinal, _RETH_REQUEST* request) {
    const auto status = m_request.Issue(ordinal, HandleOf(m_hook), *request);
    if (!status) {
        return false;
    }
    m_status = static_cast<int>(*status);
    return true;
}

bool CNDISRequesterProxy::Query(std::int32_t oid, void* buffer, std::uint32_t length,
                                std::uint32_t* written) {
    _RETH_REQUEST request = MakeRequest(NDIS_REQUEST_QUERY, oid, buffer, length);
    // Unsent, the status still tells of the request before, so it cannot
    // tell of this one.
    if (!DoRequest(&request)) {
        return false;
    }
    if (written != nullptr) {
        *written = std::min(request.BytesWritten, length);
    }
    return m_status == 0;
}

void CNDISRequesterProxy::Set(std::int32_t oid, std::int32_t value) {
    std::array<std::uint8_t, 4> bytes{};
    WriteLittleEndian(bytes.data(), value);
    _RETH_REQUEST request = MakeRequest(NDIS_REQUEST_SET, oid, bytes.data(), bytes.size());
    DoRequest(&request);
}

bool CNDISRequesterProxy::QueryLong(std::int32_t oid, std::int32_t& value) {
    std::array<std::uint8_t, 4> bytes{};
    if (!Query(oid, bytes.data(), bytes.size(), nullptr)) {
        return false;
    }
    value = ReadLittleEndian<std::int32_t>(bytes.data());
    return true;
}

std::int32_t CNDISRequesterProxy::GetLong(std::int32_t oid) {
    std::int32_t value = 0;
    return QueryLong(oid, value) ? value : kLongFailure;
}

std::int32_t CNDISRequesterProxy::GetLongOrZero(std::int32_t oid) {
    std::int32_t value = 0;
    return QueryLong(oid, value) ? value : 0;
}

QWORD CNDISRequesterProxy::GetQword(std::int32_t oid) {
    // Zeroed first: an adapter that writes only 4 bytes gives its 32-bit
    // count with a zero high half.
    std::array<std::uint8_t, 8> bytes{};
    if (!Query(oid, bytes.data(), bytes.size(), nullptr)) {
        return QWORD(0xFFFFFFFFU, 0xFFFFFFFFU);
    }
    return QWORD(ReadLittleEndian<std::uint64_t>(bytes.data()));
}

CMACAddr CNDISRequesterProxy::GetAddress(std::int32_t oid) {
    std::array<std::uint8_t, qndis::NdisRequest::kAddressRoom> bytes{};
    if (!Query(oid, bytes.data(), bytes.size(), nullptr)) {
        return CMACAddr::MACNull;
    }
    return CMACAddr(bytes.data());
}

CMACAddr CNDISRequesterProxy::GetEthernetPermanentAddress() {
    return GetAddress(AsOid(OID_802_3_PERMANENT_ADDRESS));
}

CMACAddr CNDISRequesterProxy::GetEthernetCurrentAddress() {
    return GetAddress(AsOid(OID_802_3_CURRENT_ADDRESS));
}

std::int32_t CNDISRequesterProxy::GetFramesTransmitted() {
    return GetLong(AsOid(OID_GEN_XMIT_OK));
}
std::int32_t CNDISRequesterProxy::GetFramesReceived() {
    return GetLong(AsOid(OID_GEN_RCV_OK));
}
std::int32_t CNDISRequesterProxy::GetErrorsTransmitted() {
    return GetLong(AsOid(OID_GEN_XMIT_ERROR));
}
std::int32_t CNDISRequesterProxy::GetErrorsReceived() {
    return GetLong(AsOid(OID_GEN_RCV_ERROR));
}
std::int32_t CNDISRequesterProxy::GetMissedFrames() {
    return GetLong(AsOid(OID_GEN_RCV_NO_BUFFER));
}
QWORD CNDISRequesterProxy::GetDirectedBytesTrans() {
    return GetQword(AsOid(OID_GEN_DIRECTED_BYTES_XMIT));
}
std::int32_t CNDISRequesterProxy::GetDirectedFramesTrans() {
    return GetLong(AsOid(OID_GEN_DIRECTED_FRAMES_XMIT));
}
QWORD CNDISRequesterProxy::GetMulticastBytesTrans() {
    return GetQword(AsOid(OID_GEN_MULTICAST_BYTES_XMIT));
}
std::int32_t CNDISRequesterProxy::GetMulticastFramesTrans() {
    return GetLong(AsOid(OID_GEN_MULTICAST_FRAMES_XMIT));
}
QWORD CNDISRequesterProxy::GetBroadcastBytesTrans() {
    return GetQword(AsOid(OID_GEN_BROADCAST_BYTES_XMIT));
}
std::int32_t CNDISRequesterProxy::GetBroadcastFramesTrans() {
    return GetLong(AsOid(OID_GEN_BROADCAST_FRAMES_XMIT));
}
QWORD CNDISRequesterProxy::GetDirectedBytesRecv() {
    return GetQword(AsOid(OID_GEN_DIRECTED_BYTES_RCV));
}
std::int32_t CNDISRequesterProxy::GetDirectedFramesRecv() {
    return GetLong(AsOid(OID_GEN_DIRECTED_FRAMES_RCV));
}
QWORD CNDISRequesterProxy::GetMulticastBytesRecv() {
    return GetQword(AsOid(OID_GEN_MULTICAST_BYTES_RCV));
}
std::int32_t CNDISRequesterProxy::GetMulticastFramesRecv() {
    return GetLong(AsOid(OID_GEN_MULTICAST_FRAMES_RCV));
}
QWORD CNDISRequesterProxy::GetBroadcastBytesRecv() {
    return GetQword(AsOid(OID_GEN_BROADCAST_BYTES_RCV));
}
std::int32_t CNDISRequesterProxy::GetBroadcastFramesRecv() {
    return GetLong(AsOid(OID_GEN_BROADCAST_FRAMES_RCV));
}
std::int32_t CNDISRequesterProxy::GetCRCErrors() {
    return GetLong(AsOid(OID_GEN_RCV_CRC_ERROR));
}
std::int32_t CNDISRequesterProxy::GetEthernetRcvErrorAlignment() {
    return GetLong(AsOid(OID_802_3_RCV_ERROR_ALIGNMENT));
}
std::int32_t CNDISRequesterProxy::GetEthernetXmitOneCollision() {
    return GetLong(AsOid(OID_802_3_XMIT_ONE_COLLISION));
}
std::int32_t CNDISRequesterProxy::GetEthernetXmitMoreCollisions() {
    return GetLong(AsOid(OID_802_3_XMIT_MORE_COLLISIONS));
}
std::int32_t CNDISRequesterProxy::GetEthernetXmitDeferred() {
    return GetLong(AsOid(OID_802_3_XMIT_DEFERRED));
}
std::int32_t CNDISRequesterProxy::GetEthernetXmitMaxCollisions() {
    return GetLong(AsOid(OID_802_3_XMIT_MAX_COLLISIONS));
}
std::int32_t CNDISRequesterProxy::GetEthernetRcvOverrun() {
    return GetLong(AsOid(OID_802_3_RCV_OVERRUN));
}
std::int32_t CNDISRequesterProxy::GetEthernetXmitUnderrun() {
    return GetLong(AsOid(OID_802_3_XMIT_UNDERRUN));
}
std::int32_t CNDISRequesterProxy::GetEthernetXmitHartbeatFailure() {
    return GetLong(AsOid(OID_802_3_XMIT_HEARTBEAT_FAILURE));
}
std::int32_t CNDISRequesterProxy::GetEthernetXmitCarrierLost() {
    return GetLong(AsOid(OID_802_3_XMIT_TIMES_CRS_LOST));
}
std::int32_t CNDISRequesterProxy::GetEthernetXmitLateCollisions() {
    return GetLong(AsOid(OID_802_3_XMIT_LATE_COLLISIONS));
}

std::int32_t CNDISRequesterProxy::GetMaxFrameSize() {
    return GetLongOrZero(AsOid(OID_GEN_MAXIMUM_FRAME_SIZE));
}
std::int32_t CNDISRequesterProxy::GetLinkSpeed() {
    return GetLongOrZero(AsOid(OID_GEN_LINK_SPEED));
}
std::int32_t CNDISRequesterProxy::GetCurrentFilter() {
    return GetLongOrZero(AsOid(OID_GEN_CURRENT_PACKET_FILTER));
}
std::int32_t CNDISRequesterProxy::GetTotalPacketLength() {
    return GetLongOrZero(AsOid(OID_GEN_MAXIMUM_TOTAL_SIZE));
}
std::int32_t CNDISRequesterProxy::GetHardwareStatus() {
    return GetLongOrZero(AsOid(OID_GEN_HARDWARE_STATUS));
}
std::int32_t CNDISRequesterProxy::GetMaxLookaheadSize() {
    return GetLongOrZero(AsOid(OID_GEN_MAXIMUM_LOOKAHEAD));
}
std::int32_t CNDISRequesterProxy::GetOptionalNetcardFlags() {
    return GetLongOrZero(AsOid(OID_GEN_MAC_OPTIONS));
}
std::int32_t CNDISRequesterProxy::GetOptionalTransportFlags() {
    return GetLongOrZero(AsOid(OID_GEN_PROTOCOL_OPTIONS));
}
std::int32_t CNDISRequesterProxy::GetReceiveBufferSpace() {
    return GetLongOrZero(AsOid(OID_GEN_RECEIVE_BUFFER_SPACE));
}
std::int32_t CNDISRequesterProxy::GetTransmitBufferSpace() {
    return GetLongOrZero(AsOid(OID_GEN_TRANSMIT_BUFFER_SPACE));
}
std::int32_t CNDISRequesterProxy::GetVendorCode() {
    return GetLongOrZero(AsOid(OID_GEN_VENDOR_ID));
}

std::int32_t CNDISRequesterProxy::GetSoftMissedFrames() {
    std::array<std::uint8_t, 4> bytes{};
    _RETH_REQUEST request = MakeRequest(NDIS_REQUEST_QUERY, AsOid(OID_W32N55_SOFT_MISSED_FRAMES),
                                        bytes.data(), bytes.size());
    if (!DoPrivateRequest(&request) || m_status != 0) {
        return kLongFailure;
    }
    return ReadLittleEndian<std::int32_t>(bytes.data());
}

unsigned short CNDISRequesterProxy::GetDriverVersion() {
    std::array<std::uint8_t, 2> bytes{};
    if (!Query(AsOid(OID_GEN_DRIVER_VERSION), bytes.data(), bytes.size(), nullptr)) {
        return 0;
    }
    return ReadLittleEndian<std::uint16_t>(bytes.data());
}

std::string CNDISRequesterProxy::GetLinkSpeedAsString() {
    const double bits = static_cast<double>(GetLinkSpeed()) * 100.0;
    std::array<char, 64> text{};
    if (bits >= 1000000.0) {
        std::snprintf(text.data(), text.size(), "%.1f Mb/s", bits * 0.000001);
    } else if (bits >= 1000.0) {
        std::snprintf(text.data(), text.size(), "%.1f Kb/s", bits * 0.001);
    } else {
        std::snprintf(text.data(), text.size(), "%.1f b/s", bits);
    }
    return text.data();
}

char* CNDISRequesterProxy::GetVendorInformation() {
    std::fill(g_vendorText.begin(), g_vendorText.end(), '\0');
    if (!Query(AsOid(OID_GEN_VENDOR_DESCRIPTION), g_vendorText.data(), kVendorBufferSize,
               nullptr)) {
        // The literal is never written through; the exported signature
        // predates const.
        return const_cast<char*>(kVendorError);
    }
    return g_vendorText.data();
}

int CNDISRequesterProxy::GetPhysicalMedium(CPhysicalMediaType& medium) {
    std::int32_t value = 0;
    if (!QueryLong(AsOid(OID_GEN_PHYSICAL_MEDIUM), value)) {
        return 0;
    }
    medium = static_cast<std::uint32_t>(value);
    return 1;
}

int CNDISRequesterProxy::GetMedia(std::int32_t oid, CMediaType* types, int count) {
    std::array<std::uint8_t, kMediaBufferSize> bytes{};
    std::uint32_t written = 0;
    if (!Query(oid, bytes.data(), bytes.size(), &written)) {
        return 0;
    }
    if (types == nullptr || count <= 0) {
        return 0;
    }
    const auto available = static_cast<int>(written / kMediumValueSize);
    const int copied = std::min(available, count);
    for (int i = 0; i < copied; ++i) {
        types[i] = ReadLittleEndian<std::uint32_t>(bytes.data() + i * kMediumValueSize);
    }
    return copied;
}

int CNDISRequesterProxy::GetMediaSupported(CMediaType* types, int count) {
    return GetMedia(AsOid(OID_GEN_MEDIA_SUPPORTED), types, count);
}

int CNDISRequesterProxy::GetMediaInUse(CMediaType* types, int count) {
    return GetMedia(AsOid(OID_GEN_MEDIA_IN_USE), types, count);
}

void CNDISRequesterProxy::SetCurrentPacketFilter(std::int32_t filter) {
    Set(AsOid(OID_GEN_CURRENT_PACKET_FILTER), filter);
}

void CNDISRequesterProxy::SetLookaheadSize(std::int32_t size) {
    Set(AsOid(OID_GEN_CURRENT_LOOKAHEAD), size);
}
