#pragma once

#include "qndislib/Export.h"
#include "qndislib/addr/MACAddr.h"
#include "qndislib/addr/QWORD.h"
#include "qndislib/capture/NdisRequest.h"
#include "qndislib/capture/NetworkFrame.h"
#include "qndislib/platform/Win32.h"
#include "qndislib/w32n55abi/W32N55.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// Binds the library to one network adapter through the driver-access
// library: opens it by NDIS name, learns its medium and hardware addresses,
// arms its 200 receive packages, sets its NDIS packet filter, sends raw
// frames and reads the time-stamp counter. Frames reach the application
// through the one callback registered on the hook.
//
// Every handle and event belongs to exactly one hook. A copy of an open hook
// opens the same adapter again under a handle of its own, with its own
// events and packages bound to the copy; name, medium, addresses, callback
// and context are copied. A copy of a closed hook is closed. So copies can
// be closed and destroyed in any order.
//
// A hook holds its packages inside it (about 420 KB): allocate it on the
// heap rather than on a small stack.
class CFilter;

class QNDIS_API CNdisHook {
public:
    using FrameCallback = void (*)(CNetworkFrame* frame, void* context);

    static constexpr int PackageCount = 200;
    static constexpr std::size_t NameSize = 300;

    CNdisHook();
    CNdisHook(const CNdisHook& other);
    CNdisHook& operator=(const CNdisHook& other);
    virtual ~CNdisHook();

    // On an open hook the adapter in use is closed first, so nothing of it
    // leaks. A name that does not fit (NameSize - 1 characters) is refused
    // without a call into the driver: cutting it would name another adapter.
    bool OpenDriver(const char* name);
    bool CloseDriver();
    bool TestDriver(const char* name);
    void* GetHandle();

    void SetCallback(FrameCallback callback, void* context);
    void ResetCallback();
    void ReadStartup();

    bool SetPacketFilter(std::uint32_t filter);
    bool StartPromiscuousReception();
    bool StartNormalReception();
    bool StopReception();

    // Compiles `filter` into a kernel packet filter and attaches it behind
    // the packet filter, so frames it rejects are dropped before they are
    // copied; null detaches. The program passes at least every frame the
    // filter passes (exactly those unless it has to over-approximate), so
    // the callback keeps calling CheckFrame. False, with the filter in
    // place unchanged, when the hook is closed or not on an 802.3 medium,
    // the driver library lacks the extension or the kernel refuses the
    // program. Copies of the hook do not inherit the program.
    bool SetKernelFilter(const CFilter* filter);

    bool SetHiResTimestamp();
    bool SetLoResTimestamp();
    QWORD GetCurrentTimestamp() const;
    QWORD GetTimestampFrequency() const;

    // False at once when the driver refuses the frame; GetSendStatus then
    // tells why.
    bool SendPacket(unsigned char* data, int length);
    // The driver's answer to the last SendPacket: 0 when it took the frame,
    // else its reason for refusing it (on Linux the system's errno code, such
    // as EMSGSIZE for a frame longer than the interface carries).
    std::uint32_t GetSendStatus() const { return m_sendStatus; }

    // True once the adapter has gone from the machine (unplugged, its
    // interface deleted): the driver then ends the armed receives with
    // NDIS_STATUS_ADAPTER_REMOVED instead of frames, and none of them reaches
    // the callback. An application that keeps packages armed and waits
    // alertably learns it in the wait after the removal; what is left to do
    // is CloseDriver. OpenDriver starts afresh with false.
    bool IsAdapterRemoved() const { return m_adapterRemoved; }

    // What OpenDriver learnt; the medium is 0xFFFFFFFF until the adapter
    // has answered.
    bool IsOpen() const { return m_open; }
    const char* GetAdapterName() const { return m_name; }
    std::uint32_t GetMedium() const { return m_medium; }
    const CMACAddr& GetCurrentAddress() const { return m_currentAddress; }
    const CMACAddr& GetPermanentAddress() const { return m_permanentAddress; }

private:
    friend class CNetworkFrame;
    struct PendingSend;

    void CreatePackages();
    void DestroyPackages();
    bool OidGeneralUpdateMedium();
    bool Request(std::uint32_t type, std::uint32_t oid, std::uint32_t& value);
    CMACAddr QueryAddress(std::uint32_t oid);
    bool SetTimestampResolution(std::int32_t high);
    bool ReadTimestamp(std::size_t offset, std::uint64_t& value) const;
    void CopySettings(const CNdisHook& other);
    void ReleaseFinishedSends();
    void NoteReceiveFailure(std::uint32_t status);

    bool m_open = false;
    char m_name[NameSize] = {};
    w32n55abi::Handle m_driverHandle = w32n55abi::kNoHandle;
    std::uint32_t m_medium = 0xFFFFFFFF;
    qndis::NdisRequest m_request;
    HANDLE m_packageEvent = nullptr;
    CNetworkFrame m_packages[PackageCount];
    CMACAddr m_currentAddress;
    CMACAddr m_permanentAddress;
    FrameCallback m_callback = nullptr;
    void* m_callbackContext = nullptr;
    // Sends the driver accepted but had not finished when SendPacket gave up
    // waiting: their records stay alive until the adapter is closed.
    std::vector<std::unique_ptr<PendingSend>> m_pendingSends;
    std::uint32_t m_sendStatus = 0;
    bool m_adapterRemoved = false;
};
