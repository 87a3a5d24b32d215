#include "qndislib/capture/NdisHook.h"

#include "qndislib/capture/DriverLibrary.h"
#include "qndislib/filter/FilterProgram.h"
#include "qndislib/platform/Trace.h"
#include "qndislib/platform/WaitDeadline.h"
#include "qndislib/w32n55abi/LittleEndian.h"

#include <array>
#include <cstdio>
#include <cstring>

namespace {

using qndis::DriverLibrary;
namespace ts = w32n55abi::timestamp_record;

constexpr std::uint32_t kNoMedium = 0xFFFFFFFF;
constexpr DWORD kSendWaitMs = 5000;
constexpr std::uint32_t kPromiscuousFilter =
    NDIS_PACKET_TYPE_PROMISCUOUS | NDIS_PACKET_TYPE_DIRECTED;
constexpr std::uint32_t kNormalFilter =
    NDIS_PACKET_TYPE_DIRECTED | NDIS_PACKET_TYPE_ALL_MULTICAST | NDIS_PACKET_TYPE_BROADCAST;
constexpr std::uint32_t kLocalTalkPromiscuousFilter =
    NDIS_PACKET_TYPE_DIRECTED | NDIS_PACKET_TYPE_BROADCAST;

bool IsEthernetLike(std::uint32_t medium) {
    return medium == NdisMedium802_3 || medium == NdisMedium802_5 || medium == NdisMediumDix;
}

void TraceOpenFailure(std::uint32_t error) {
    std::array<char, 96> text{};
    std::snprintf(text.data(), text.size(), "Cannot open NetCard, Error code %d (%08X)",
                  static_cast<int>(error), error);
    TraceMessage("ERROR: %s", text.data());
}

// Waits for the send's event, going on waiting when completion routines
// ended the wait early; true when the send signalled completion.
bool WaitForSend(HANDLE event) {
    const qndis::WaitDeadline deadline(kSendWaitMs);
    for (;;) {
        const auto remaining = static_cast<DWORD>(deadline.RemainingMs());
        const DWORD result = WaitForSingleObjectEx(event, remaining, TRUE);
        if (result == WAIT_OBJECT_0) {
            return true;
        }
        if (result != WAIT_IO_COMPLETION || deadline.Passed()) {
            return false;
        }
    }
}

} // namespace

// The record of one send: it must outlive the send however early the wait
// that follows it ends.
struct CNdisHook::PendingSend {
    PendingSend() = default;
    PendingSend(const PendingSend&) = delete;
    PendingSend& operator=(const PendingSend&) = delete;
    ~PendingSend() {
        if (event != nullptr) {
            CloseHandle(event);
        }
    }

    OVERLAPPED overlapped{};
    std::uint32_t count = 0;
    HANDLE event = nullptr;
};

CNdisHook::CNdisHook() = default;

CNdisHook::CNdisHook(const CNdisHook& other) : CNdisHook() {
    CopySettings(other);
    if (other.m_open) {
        OpenDriver(other.m_name);
    }
}

CNdisHook& CNdisHook::operator=(const CNdisHook& other) {
    if (this != &other) {
        CloseDriver();
        CopySettings(other);
        if (other.m_open) {
            OpenDriver(other.m_name);
        }
    }
    return *this;
}

CNdisHook::~CNdisHook() {
    if (m_open) {
        CloseDriver();
    }
}

void CNdisHook::CopySettings(const CNdisHook& other) {
    std::memcpy(m_name, other.m_name, sizeof m_name);
    m_medium = other.m_medium;
    m_currentAddress = other.m_currentAddress;
    m_permanentAddress = other.m_permanentAddress;
    m_callback = other.m_callback;
    m_callbackContext = other.m_callbackContext;
}

bool CNdisHook::OpenDriver(const char* name) {
    // Reopening closes first: the adapter in use, its events and its armed
    // receives are released before anything new is made.
    if (m_open) {
        CloseDriver();
    }
    const char* given = name != nullptr ? name : "";
    if (std::strlen(given) >= NameSize) {
        m_name[0] = '\0';
        TraceMessage("ERROR: Name too long");
        return false;
    }
    std::strcpy(m_name, given);
    if (m_name[0] == '\0') {
        TraceMessage("ERROR: Name==0");
        return false;
    }
    m_adapterRemoved = false;
    m_driverHandle = DriverLibrary::Get<w32n55abi::kOpenAdapter>()(m_name);
    if (m_driverHandle == w32n55abi::kNoHandle) {
        TraceOpenFailure(DriverLibrary::Get<w32n55abi::kLastError>()());
        return false;
    }
    SetHiResTimestamp();
    if (!m_request.Prepare()) {
        DriverLibrary::Get<w32n55abi::kCloseAdapter>()(m_driverHandle);
        m_driverHandle = w32n55abi::kNoHandle;
        TraceMessage("ERROR: Cannot create overlapped event");
        return false;
    }
    OidGeneralUpdateMedium();
    m_currentAddress = QueryAddress(OID_802_3_CURRENT_ADDRESS);
    m_permanentAddress = QueryAddress(OID_802_3_PERMANENT_ADDRESS);
    CreatePackages();
    m_open = true;
    return true;
}

bool CNdisHook::CloseDriver() {
    if (m_driverHandle != w32n55abi::kNoHandle) {
        DriverLibrary::Get<w32n55abi::kCloseAdapter>()(m_driverHandle);
    }
    m_driverHandle = w32n55abi::kNoHandle;
    DestroyPackages();
    m_request.Release();
    // The adapter is closed, so the driver has let go of these records.
    m_pendingSends.clear();
    m_open = false;
    return true;
}

bool CNdisHook::TestDriver(const char* name) {
    if (m_open) {
        return name != nullptr && std::strcmp(name, m_name) == 0;
    }
    if (!OpenDriver(name)) {
        return false;
    }
    CloseDriver();
    return true;
}

void* CNdisHook::GetHandle() {
    return reinterpret_cast<void*>(static_cast<std::intptr_t>(m_driverHandle));
}

void CNdisHook::SetCallback(FrameCallback callback, void* context) {
    m_callback = callback;
    m_callbackContext = context;
}

void CNdisHook::ResetCallback() {
    SetCallback(nullptr, nullptr);
}

void CNdisHook::ReadStartup() {
    for (CNetworkFrame& package : m_packages) {
        package.ReUse(m_callbackContext);
    }
}

void CNdisHook::CreatePackages() {
    DestroyPackages();
    m_packageEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    for (CNetworkFrame& package : m_packages) {
        package.Reset(this, m_packageEvent, m_medium);
    }
}

// The packages keep their frames and descriptions until the next reset;
// only their link to the closed adapter and event goes.
void CNdisHook::DestroyPackages() {
    if (m_packageEvent != nullptr) {
        CloseHandle(m_packageEvent);
        m_packageEvent = nullptr;
    }
    for (CNetworkFrame& package : m_packages) {
        package.Detach();
    }
}

// `value` travels little-endian both ways.
bool CNdisHook::Request(std::uint32_t type, std::uint32_t oid, std::uint32_t& value) {
    std::array<std::uint8_t, sizeof value> bytes{};
    w32n55abi::WriteLittleEndian(bytes.data(), value);
    _RETH_REQUEST request = qndis::NdisRequest::Make(type, oid, bytes.data(), bytes.size());
    if (m_request.Issue(w32n55abi::kRequest, m_driverHandle, request) != NDIS_STATUS_SUCCESS) {
        return false;
    }
    value = w32n55abi::ReadLittleEndian<std::uint32_t>(bytes.data());
    return true;
}

CMACAddr CNdisHook::QueryAddress(std::uint32_t oid) {
    std::array<std::uint8_t, qndis::NdisRequest::kAddressRoom> bytes{};
    _RETH_REQUEST request =
        qndis::NdisRequest::Make(NDIS_REQUEST_QUERY, oid, bytes.data(), bytes.size());
    if (m_request.Issue(w32n55abi::kRequest, m_driverHandle, request) != NDIS_STATUS_SUCCESS) {
        return CMACAddr::MACNull;
    }
    return CMACAddr(bytes.data());
}

// The answer is kept only when the adapter accepted the query, so a refused
// query leaves the medium unknown rather than half written.
bool CNdisHook::OidGeneralUpdateMedium() {
    m_medium = kNoMedium;
    std::uint32_t medium = kNoMedium;
    if (!Request(NDIS_REQUEST_QUERY, OID_GEN_MEDIA_IN_USE, medium)) {
        return false;
    }
    m_medium = medium;
    return true;
}

bool CNdisHook::SetPacketFilter(std::uint32_t filter) {
    return Request(NDIS_REQUEST_SET, OID_GEN_CURRENT_PACKET_FILTER, filter);
}

bool CNdisHook::StartPromiscuousReception() {
    if (IsEthernetLike(m_medium)) {
        return SetPacketFilter(kPromiscuousFilter);
    }
    if (m_medium == NdisMediumLocalTalk) {
        return SetPacketFilter(kLocalTalkPromiscuousFilter);
    }
    return false;
}

bool CNdisHook::StartNormalReception() {
    if (IsEthernetLike(m_medium) || m_medium == NdisMediumLocalTalk) {
        return SetPacketFilter(kNormalFilter);
    }
    return false;
}

bool CNdisHook::StopReception() {
    return SetPacketFilter(0);
}

bool CNdisHook::SetKernelFilter(const CFilter* filter) {
    namespace fi = w32n55abi::filter_instruction;
    using Instruction = CFilterProgram::Instruction;
    static_assert(sizeof(Instruction) == fi::kSize &&
                  offsetof(Instruction, code) == fi::kCodeOffset &&
                  offsetof(Instruction, jt) == fi::kJumpTrueOffset &&
                  offsetof(Instruction, jf) == fi::kJumpFalseOffset &&
                  offsetof(Instruction, k) == fi::kValueOffset);
    if (!m_open || m_medium != NdisMedium802_3) {
        return false;
    }
    w32n55abi::AttachFilterFn attach = nullptr;
    try {
        attach = DriverLibrary::Get<w32n55abi::kAttachFilter>();
    } catch (const CDriverLoadError&) {
        return false;
    }
    if (filter == nullptr) {
        return attach(m_driverHandle, nullptr, 0) == 0;
    }
    const CFilterProgram program(*filter, w32n55abi::receive_record::kDataCapacity);
    const auto& code = program.GetInstructions();
    return attach(m_driverHandle, reinterpret_cast<const std::uint8_t*>(code.data()),
                  static_cast<std::uint32_t>(code.size())) == 0;
}

bool CNdisHook::SetTimestampResolution(std::int32_t high) {
    return DriverLibrary::Get<w32n55abi::kTimestampResolution>()(m_driverHandle, high) != 0;
}

bool CNdisHook::SetHiResTimestamp() {
    return SetTimestampResolution(1);
}

bool CNdisHook::SetLoResTimestamp() {
    return SetTimestampResolution(0);
}

bool CNdisHook::ReadTimestamp(std::size_t offset, std::uint64_t& value) const {
    std::array<std::uint8_t, ts::kSize> record{};
    if (DriverLibrary::Get<w32n55abi::kReadTimestamp>()(m_driverHandle, record.data()) == 0) {
        return false;
    }
    value = w32n55abi::ReadLittleEndian<std::uint64_t>(record.data() + offset);
    return true;
}

QWORD CNdisHook::GetCurrentTimestamp() const {
    std::uint64_t value = 0;
    return ReadTimestamp(ts::kCounterOffset, value) ? QWORD(value) : QWORD();
}

QWORD CNdisHook::GetTimestampFrequency() const {
    std::uint64_t value = 0;
    return ReadTimestamp(ts::kFrequencyOffset, value) ? QWORD(value) : QWORD();
}

// A parked send whose event was signalled since is done with its record. A
// plain zero wait tests the event without running completion routines.
void CNdisHook::ReleaseFinishedSends() {
    std::erase_if(m_pendingSends, [](const std::unique_ptr<PendingSend>& send) {
        return WaitForSingleObjectEx(send->event, 0, FALSE) == WAIT_OBJECT_0;
    });
}

void CNdisHook::NoteReceiveFailure(std::uint32_t status) {
    if (status == NDIS_STATUS_ADAPTER_REMOVED) {
        m_adapterRemoved = true;
    }
}

// A send the driver accepted but did not finish within the wait keeps its
// record in the hook until the adapter is closed; one it refused signals
// nothing, so it is released at once without a wait.
bool CNdisHook::SendPacket(unsigned char* data, int length) {
    ReleaseFinishedSends();
    auto send = std::make_unique<PendingSend>();
    send->event = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    if (send->event == nullptr) {
        m_sendStatus = NDIS_STATUS_FAILURE;
        return false;
    }
    send->overlapped.hEvent = send->event;
    m_sendStatus = DriverLibrary::Get<w32n55abi::kSend>()(m_driverHandle, data, length,
                                                          &send->count, &send->overlapped);
    if (m_sendStatus != 0) {
        return false;
    }
    if (!WaitForSend(send->event)) {
        m_pendingSends.push_back(std::move(send));
    }
    return true;
}
