#pragma once

#include "qndislib/Export.h"
#include "qndislib/adapter/MediaType.h"
#include "qndislib/adapter/PhysicalMediaType.h"
#include "qndislib/addr/MACAddr.h"
#include "qndislib/addr/QWORD.h"
#include "qndislib/capture/NdisRequest.h"

#include <cstdint>
#include <string>
#include <vector>

class CNdisHook;

// Asks the adapter of an open hook NDIS questions. An OID the adapter once
// refused is answered here from then on (status NDIS_STATUS_NOT_SUPPORTED,
// the getter's failure value) without a call into the driver, so polling
// statistics an adapter lacks costs nothing.
//
// A proxy owns its refused list and its request event and only refers to
// its hook: a copy gets a list of its own with the same OIDs, an event of
// its own and shares the hook. It must not be used once its hook is closed.
class QNDIS_API CNDISRequesterProxy {
public:
    explicit CNDISRequesterProxy(CNdisHook* hook);
    CNDISRequesterProxy(const CNDISRequesterProxy& other);
    CNDISRequesterProxy& operator=(const CNDISRequesterProxy& other);
    ~CNDISRequesterProxy();

    int IsSupported(std::int32_t oid) const;
    int IsOk() const { return m_status == 0 ? 1 : 0; }
    // The NDIS status of the last request, also of one answered from the
    // refused list; 0 before the first request.
    int GetStatus() const { return m_status; }

    CMACAddr GetEthernetPermanentAddress();
    CMACAddr GetEthernetCurrentAddress();

    // Counters: -1 (4-byte) or all bits set (8-byte) on failure.
    std::int32_t GetFramesTransmitted();
    std::int32_t GetFramesReceived();
    std::int32_t GetErrorsTransmitted();
    std::int32_t GetErrorsReceived();
    std::int32_t GetMissedFrames();
    QWORD GetDirectedBytesTrans();
    std::int32_t GetDirectedFramesTrans();
    QWORD GetMulticastBytesTrans();
    std::int32_t GetMulticastFramesTrans();
    QWORD GetBroadcastBytesTrans();
    std::int32_t GetBroadcastFramesTrans();
    QWORD GetDirectedBytesRecv();
    std::int32_t GetDirectedFramesRecv();
    QWORD GetMulticastBytesRecv();
    std::int32_t GetMulticastFramesRecv();
    QWORD GetBroadcastBytesRecv();
    std::int32_t GetBroadcastFramesRecv();
    std::int32_t GetCRCErrors();
    std::int32_t GetEthernetRcvErrorAlignment();
    std::int32_t GetEthernetXmitOneCollision();
    std::int32_t GetEthernetXmitMoreCollisions();
    std::int32_t GetEthernetXmitDeferred();
    std::int32_t GetEthernetXmitMaxCollisions();
    std::int32_t GetEthernetRcvOverrun();
    std::int32_t GetEthernetXmitUnderrun();
    std::int32_t GetEthernetXmitHartbeatFailure();
    std::int32_t GetEthernetXmitCarrierLost();
    std::int32_t GetEthernetXmitLateCollisions();
    // Sent as a private request, so a refusal never reaches the refused list.
    std::int32_t GetSoftMissedFrames();

    // Properties: 0 on failure.
    std::int32_t GetMaxFrameSize();
    // In units of 100 bit/s.
    std::int32_t GetLinkSpeed();
    std::int32_t GetCurrentFilter();
    std::int32_t GetTotalPacketLength();
    std::int32_t GetHardwareStatus();
    std::int32_t GetMaxLookaheadSize();
    std::int32_t GetOptionalNetcardFlags();
    std::int32_t GetOptionalTransportFlags();
    std::int32_t GetReceiveBufferSpace();
    std::int32_t GetTransmitBufferSpace();
    std::int32_t GetVendorCode();
    unsigned short GetDriverVersion();

    // "100.0 Mb/s", "10.0 Kb/s", "500.0 b/s"; "0.0 b/s" when the speed is
    // unknown.
    std::string GetLinkSpeedAsString();

    // The adapter's NUL-terminated description in a buffer shared by every
    // proxy of the process (valid until the next call anywhere), or the
    // literal "*ERROR*".
    char* GetVendorInformation();

    // 1 and `medium` set, or 0 and `medium` untouched.
    int GetPhysicalMedium(CPhysicalMediaType& medium);
    // Copy at most `count` of the adapter's media into `types`; the number
    // copied, 0 on failure (then `types` is untouched).
    int GetMediaSupported(CMediaType* types, int count);
    int GetMediaInUse(CMediaType* types, int count);

    // The outcome is left in the status.
    void SetCurrentPacketFilter(std::int32_t filter);
    void SetLookaheadSize(std::int32_t size);

private:
    // False when no wait event could be made: then nothing was sent and the
    // status is that of the request before.
    bool DoRequest(_RETH_REQUEST* request);
    bool DoPrivateRequest(_RETH_REQUEST* request);
    void AddToForbidden(std::int32_t oid);

    std::int32_t GetLong(std::int32_t oid);
    QWORD GetQword(std::int32_t oid);
    std::int32_t GetLongOrZero(std::int32_t oid);
    bool QueryLong(std::int32_t oid, std::int32_t& value);
    // A query of `oid` into `buffer`; true on success, with the count of
    // bytes the adapter wrote (never more than `length`) in `written`.
    bool Query(std::int32_t oid, void* buffer, std::uint32_t length, std::uint32_t* written);
    void Set(std::int32_t oid, std::int32_t value);
    CMACAddr GetAddress(std::int32_t oid);
    int GetMedia(std::int32_t oid, CMediaType* types, int count);
    // False when no wait event could be made: nothing was sent.
    bool Send(w32n55abi::Ordinal ordinal, _RETH_REQUEST* request);

    // Sorted ascending by signed value, searched by binary search.
    std::vector<std::int32_t> m_refused;
    CNdisHook* m_hook;
    int m_status = 0;
    qndis::NdisRequest m_request;
};
