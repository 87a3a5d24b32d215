#pragma once

#include "qndislib/Export.h"
#include "qndislib/addr/QWORD.h"
#include "qndislib/frame/Frame.h"
#include "qndislib/platform/Win32.h"
#include "qndislib/w32n55abi/W32N55.h"

#include <cstdint>
#include <memory>

class CMediaInfo;
class CNdisHook;

// One receive package of a capture hook and, once a frame has arrived in
// it, the live frame handed to the application's callback. The frame is
// read in place from the package's receive record; nothing is copied or
// allocated per frame.
//
// Between ReUse and the callback the record belongs to the driver-access
// library. A package armed on its own (outside a hook) must not be
// destroyed before its receive has completed or its adapter was closed:
// closing the adapter is what makes the driver forget the receive.
//
// A copy is an idle package with the same contents: the record bytes, the
// binding and its own clone of the medium description, and an overlapped record that names the
// copy. The source's pending receive, if any, stays the source's. A copy still names its source's
// hook, so it is armed or called back only while that hook lives.
class QNDIS_API CNetworkFrame : public CFrame {
public:
    CNetworkFrame();
    CNetworkFrame(const CNetworkFrame& other);
    CNetworkFrame& operator=(const CNetworkFrame& other);
    ~CNetworkFrame() override;

    void Reset(CNdisHook* hook, void* event, std::uint32_t medium);
    void ReUse(void* context);
    void Callback();
    CMediaInfo* AnalyzeFrame();

    const CMediaInfo* GetMediaInfo() const override;
    QWORD GetPacketNumber() const override;
    QWORD GetTimeStamp() const override;
    const unsigned char* GetFrame() const override;
    unsigned short GetLength() const override;
    // The frame's length on the wire, which exceeds GetLength() when the
    // frame was longer than the record's capacity and was cut to it; 0 where
    // the driver-access library does not report it.
    std::uint32_t GetWireLength() const;

private:
    friend class CNdisHook;

    // The completion routines of the two forms the driver may ask for.
    static void DeliverThreeArgument(std::uint32_t status, std::uint32_t bytes,
                                     OVERLAPPED* overlapped);
    static std::uint32_t DeliverSingleArgument(OVERLAPPED* overlapped);
    // A receive that ended without a frame goes to the hook, not to the
    // application's callback.
    void Complete(std::uint32_t status);
    void CopyFrom(const CNetworkFrame& other);
    // Drops the binding to a closed adapter and its event, so that a ReUse
    // after the hook closed reaches no stale handle.
    void Detach();

    unsigned char m_buffer[w32n55abi::receive_record::kBufferSize];
    std::uint32_t m_byteCount = 0;
    OVERLAPPED m_overlapped{};
    w32n55abi::Handle m_driverHandle = w32n55abi::kNoHandle;
    // Looked up when the package is bound to an adapter, so that re-arming
    // costs no lookup per frame; null while unbound.
    w32n55abi::StartReceiveFn m_startReceive = nullptr;
    CNdisHook* m_hook = nullptr;
    void* m_context = nullptr;
    std::unique_ptr<CMediaInfo> m_medium;
    bool m_singleArgumentCompletion;
};
