#pragma once

// An in-process stand-in for libw32n55.so, installed through the driver
// library's test lookup for the life of the object. A test scripts its
// adapters (by NDIS name, with medium, addresses, OID answers and refusals,
// an open failure), the send and time-stamp outcomes and the completion
// style; every call lands in a log; injected frames complete the receives
// armed on an open handle at the next alertable wait, in arming order, as
// the real library does.
//
// One fake at a time, used from one thread (completion routines run inside
// the fake's wait and may call back into it).

#include "qndislib/addr/MACAddr.h"
#include "qndislib/w32n55abi/W32N55.h"

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace qndis::test {

struct FakeAdapter {
    std::string ndisName;
    std::string friendlyName;
    std::uint32_t medium = NdisMedium802_3;
    CMACAddr currentAddress;
    CMACAddr permanentAddress;
    // Nonzero: opening fails and the last-error call reports this code.
    std::uint32_t openError = 0;
    // Query answers as the adapter writes them; media and addresses are
    // answered from the fields above unless an answer here replaces them.
    std::map<std::uint32_t, std::vector<std::uint8_t>> answers;
    std::map<std::uint32_t, std::vector<std::uint8_t>> privateAnswers;
    // OID -> refusing status, for queries, sets and private requests alike.
    std::map<std::uint32_t, std::uint32_t> refusals;

    FakeAdapter& AnswerULong(std::uint32_t oid, std::uint32_t value);
    FakeAdapter& AnswerQuad(std::uint32_t oid, std::uint64_t value);
    FakeAdapter& AnswerBytes(std::uint32_t oid, std::span<const std::uint8_t> bytes);
    // NUL-terminated, as NDIS texts are.
    FakeAdapter& AnswerText(std::uint32_t oid, const std::string& text);
    FakeAdapter& AnswerPrivateULong(std::uint32_t oid, std::uint32_t value);
    FakeAdapter& Refuse(std::uint32_t oid, std::uint32_t status = NDIS_STATUS_NOT_SUPPORTED);
};

// One call into the fake. Per ordinal: `handle` is the adapter handle (the
// event descriptor for kAlertableWait, the enumeration or entry handle for
// the enumeration calls); `oid` and `requestType` describe a request;
// `value` is a set request's 4-byte value, the send length, the time-stamp
// resolution asked for, or the wait's timeout in milliseconds; `text` is
// the name given to kOpenAdapter.
struct FakeCall {
    w32n55abi::Ordinal ordinal;
    std::int32_t handle = w32n55abi::kNoHandle;
    std::uint32_t oid = 0;
    std::uint32_t requestType = 0;
    std::int64_t value = 0;
    std::string text;
};

class FakeDriver {
public:
    FakeDriver();
    ~FakeDriver();
    FakeDriver(const FakeDriver&) = delete;
    FakeDriver& operator=(const FakeDriver&) = delete;

    // References stay valid until the fake is destroyed.
    FakeAdapter& AddAdapter(const std::string& ndisName, std::uint32_t medium = NdisMedium802_3,
                            CMACAddr current = CMACAddr(), CMACAddr permanent = CMACAddr());
    FakeAdapter* FindAdapter(const std::string& ndisName);

    void SetCompletionStyle(bool singleArgument) { m_singleArgument = singleArgument; }
    // Nonzero: every send is refused with this status and signals nothing.
    void FailSends(std::uint32_t status) { m_sendFailure = status; }
    // Sends are accepted but never complete: their event stays unsignalled.
    void LeaveSendsPending(bool pending) { m_sendsStayPending = pending; }
    // Signals the events of the sends left pending on handles still open.
    void CompletePendingSends();
    void FailTimestamps(bool fail) { m_timestampsFail = fail; }
    void SetTimestampCounter(std::uint64_t counter, std::uint64_t frequency);
    void FailEnumeration(bool fail) { m_enumerationFails = fail; }
    // A wait with nothing to complete and its event not set ends at once
    // with WAIT_FAILED instead of waiting out its time, so a test checks the
    // timeout asked for without spending it.
    void EndWaitsAtOnce(bool atOnce) { m_waitsEndAtOnce = atOnce; }

    // Queues `frame` on every open handle of the adapter whose packet filter
    // is not 0; the next alertable wait completes armed receives with it.
    // The time stamp defaults to a counter the fake advances per frame.
    // Returns the number of handles it was queued on.
    int InjectFrame(const std::string& ndisName, std::span<const std::uint8_t> frame,
                    std::optional<std::uint64_t> timestamp = std::nullopt);

    const std::vector<FakeCall>& Calls() const { return m_calls; }
    std::size_t CallCount(w32n55abi::Ordinal ordinal) const;
    std::vector<FakeCall> CallsOf(w32n55abi::Ordinal ordinal) const;
    void ClearLog() { m_calls.clear(); }

    std::size_t OpenHandles() const { return m_handles.size(); }
    std::size_t ArmedReceives() const { return m_armed.size(); }
    // The last packet filter set on the handle; none before the first set.
    std::optional<std::uint32_t> PacketFilter(std::int32_t handle) const;
    std::vector<std::vector<std::uint8_t>> SentFrames() const { return m_sent; }

private:
    struct OpenHandle {
        FakeAdapter* adapter = nullptr;
        std::optional<std::uint32_t> packetFilter;
        std::uint64_t packetNumber = 0;
        std::deque<std::pair<std::vector<std::uint8_t>, std::uint64_t>> frames;
    };
    struct Armed {
        std::int32_t handle;
        std::uint8_t* record;
        OVERLAPPED* overlapped;
        void* routine;
    };

    static void* Lookup(std::uint32_t ordinal);
    static FakeDriver& Active();

    // The ordinals.
    static std::uint8_t CompletionStyle();
    static std::uint32_t LastError();
    static std::uint32_t Request(w32n55abi::Handle adapter, _RETH_REQUEST* request,
                                 OVERLAPPED* overlapped, std::int32_t wait);
    static std::uint32_t PrivateRequest(w32n55abi::Handle adapter, _RETH_REQUEST* request,
                                        OVERLAPPED* overlapped, std::int32_t wait);
    static void StartReceive(w32n55abi::Handle adapter, void* record, std::uint32_t* count,
                             OVERLAPPED* overlapped, void* routine);
    static std::uint32_t Send(w32n55abi::Handle adapter, const std::uint8_t* data,
                              std::int32_t length, std::uint32_t* count, OVERLAPPED* overlapped);
    static w32n55abi::Handle OpenAdapter(const char* name);
    static void CloseAdapter(w32n55abi::Handle adapter);
    static std::uint8_t TimestampResolution(w32n55abi::Handle adapter, std::int32_t high);
    static std::uint8_t ReadTimestamp(w32n55abi::Handle adapter, std::uint8_t* record);
    static w32n55abi::Handle OpenEnumeration();
    static void CloseEnumeration(w32n55abi::Handle enumeration);
    static w32n55abi::Handle FirstAdapter(w32n55abi::Handle enumeration);
    static w32n55abi::Handle NextAdapter(w32n55abi::Handle enumeration);
    static void ReleaseAdapter(w32n55abi::Handle entry);
    static std::uint32_t FriendlyName(w32n55abi::Handle entry, char* buffer, std::uint32_t* length);
    static std::uint32_t NdisName(w32n55abi::Handle entry, char* buffer, std::uint32_t* length);
    static std::uint32_t AlertableWait(int eventFd, std::int32_t timeoutMs);

    std::uint32_t Answer(bool isPrivate, w32n55abi::Handle handle, _RETH_REQUEST& request);
    std::uint32_t Query(const FakeAdapter& adapter, bool isPrivate, _RETH_REQUEST& request) const;
    std::uint32_t Set(OpenHandle& open, _RETH_REQUEST& request);
    w32n55abi::Handle NextEntry(w32n55abi::Handle enumeration);
    std::uint32_t CopyName(w32n55abi::Handle entry, bool friendly, char* buffer,
                           std::uint32_t* length);
    // Completes the earliest armed receive whose handle has a frame queued;
    // false when there is none.
    bool CompleteOne();
    FakeCall& Log(w32n55abi::Ordinal ordinal, std::int32_t handle);

    std::deque<FakeAdapter> m_adapters;
    std::map<std::int32_t, OpenHandle> m_handles;
    std::vector<Armed> m_armed;
    std::vector<FakeCall> m_calls;
    std::vector<std::vector<std::uint8_t>> m_sent;
    std::vector<std::pair<std::int32_t, HANDLE>> m_pendingSends;
    std::map<std::int32_t, std::size_t> m_enumerations;
    std::map<std::int32_t, FakeAdapter*> m_entries;
    std::int32_t m_nextHandle = 1;
    std::uint32_t m_lastError = 0;
    bool m_singleArgument = false;
    std::uint32_t m_sendFailure = 0;
    bool m_sendsStayPending = false;
    bool m_timestampsFail = false;
    bool m_enumerationFails = false;
    bool m_waitsEndAtOnce = false;
    std::uint64_t m_counter = 0;
    std::uint64_t m_frequency = 1000000000;
    std::uint64_t m_frameClock = 1000;
};

} // namespace qndis::test
