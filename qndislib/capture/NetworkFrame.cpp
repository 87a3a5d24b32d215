#include "qndislib/capture/NetworkFrame.h"

#include "qndislib/capture/DriverLibrary.h"
#include "qndislib/capture/NdisHook.h"
#include "qndislib/media/EthernetInfo.h"
#include "qndislib/w32n55abi/LittleEndian.h"

#include <algorithm>
#include <cstring>

namespace {

namespace rr = w32n55abi::receive_record;
using w32n55abi::ReadLittleEndian;
using w32n55abi::WriteLittleEndian;

static_assert(rr::kDataOffset + rr::kDataCapacity <= rr::kBufferSize);

// A package finds itself through its overlapped record: in OffsetHigh, as
// on the original, where a pointer fits there; 64-bit Windows keeps that
// field at 32 bits, so there the record's pointer member holds it.
void StorePackage(OVERLAPPED& overlapped, CNetworkFrame* package) {
#if defined(_WIN64)
    overlapped.Pointer = package;
#else
    overlapped.OffsetHigh = reinterpret_cast<ULONG_PTR>(package);
#endif
}

CNetworkFrame* PackageOf(const OVERLAPPED* overlapped) {
    if (overlapped == nullptr) {
        return nullptr;
    }
#if defined(_WIN64)
    return static_cast<CNetworkFrame*>(overlapped->Pointer);
#else
    return reinterpret_cast<CNetworkFrame*>(overlapped->OffsetHigh);
#endif
}

bool AsksSingleArgumentCompletion() {
    return qndis::DriverLibrary::Get<w32n55abi::kCompletionStyle>()() != 0;
}

} // namespace

void CNetworkFrame::DeliverThreeArgument(std::uint32_t status, std::uint32_t /*bytes*/,
                                         OVERLAPPED* overlapped) {
    if (CNetworkFrame* package = PackageOf(overlapped)) {
        package->Complete(status);
    }
}

std::uint32_t CNetworkFrame::DeliverSingleArgument(OVERLAPPED* overlapped) {
    if (CNetworkFrame* package = PackageOf(overlapped)) {
        package->Complete(static_cast<std::uint32_t>(overlapped->Internal));
    }
    return 0;
}

void CNetworkFrame::Complete(std::uint32_t status) {
    if (status == NDIS_STATUS_SUCCESS) {
        Callback();
    } else if (m_hook != nullptr) {
        m_hook->NoteReceiveFailure(status);
    }
}

CNetworkFrame::CNetworkFrame()
    : m_buffer{}, m_singleArgumentCompletion(AsksSingleArgumentCompletion()) {}

CNetworkFrame::CNetworkFrame(const CNetworkFrame& other)
    : CFrame(other), m_buffer{}, m_singleArgumentCompletion(other.m_singleArgumentCompletion) {
    CopyFrom(other);
}

CNetworkFrame& CNetworkFrame::operator=(const CNetworkFrame& other) {
    if (this != &other) {
        CopyFrom(other);
    }
    return *this;
}

CNetworkFrame::~CNetworkFrame() = default;

// Cloning before deleting keeps this package intact should the clone throw.
void CNetworkFrame::CopyFrom(const CNetworkFrame& other) {
    m_medium.reset(other.m_medium != nullptr ? other.m_medium->Clone() : nullptr);
    std::memcpy(m_buffer, other.m_buffer, sizeof m_buffer);
    m_byteCount = other.m_byteCount;
    m_overlapped = other.m_overlapped;
    StorePackage(m_overlapped, this);
    m_driverHandle = other.m_driverHandle;
    m_startReceive = other.m_startReceive;
    m_hook = other.m_hook;
    m_context = other.m_context;
    m_singleArgumentCompletion = other.m_singleArgumentCompletion;
}

void CNetworkFrame::Reset(CNdisHook* hook, void* event, std::uint32_t medium) {
    m_medium.reset();
    std::memset(m_buffer, 0, sizeof m_buffer);
    m_byteCount = 0;
    m_overlapped = OVERLAPPED{};
    m_hook = hook;
    m_driverHandle = hook != nullptr ? hook->m_driverHandle : w32n55abi::kNoHandle;
    m_startReceive = qndis::DriverLibrary::Get<w32n55abi::kStartReceive>();
    if (medium == NdisMedium802_3) {
        auto ethernet = std::make_unique<CEthernetInfo>();
        if (hook != nullptr) {
            ethernet->SetCurrentAddress(hook->m_currentAddress);
            ethernet->SetPermanentAddress(hook->m_permanentAddress);
        }
        m_medium = std::move(ethernet);
    }
    WriteLittleEndian<std::uint32_t>(m_buffer + rr::kCapacityOffset, rr::kDataCapacity);
    StorePackage(m_overlapped, this);
    m_overlapped.hEvent = m_singleArgumentCompletion ? event : nullptr;
}

void CNetworkFrame::ReUse(void* context) {
    if (m_overlapped.hEvent != nullptr) {
        ResetEvent(m_overlapped.hEvent);
    }
    m_context = context;
    m_overlapped.Internal = NDIS_STATUS_SUCCESS;
    void* routine = m_singleArgumentCompletion ? reinterpret_cast<void*>(&DeliverSingleArgument)
                                               : reinterpret_cast<void*>(&DeliverThreeArgument);
    const w32n55abi::StartReceiveFn start =
        m_startReceive != nullptr ? m_startReceive
                                  : qndis::DriverLibrary::Get<w32n55abi::kStartReceive>();
    start(m_driverHandle, m_buffer, &m_byteCount, &m_overlapped, routine);
}

// The callback is read from the hook at each frame, so a change of callback
// takes effect on the next completed package.
void CNetworkFrame::Callback() {
    if (m_hook != nullptr && m_hook->m_callback != nullptr) {
        m_hook->m_callback(this, m_context);
    }
}

// The length-aware analysis: bytes past this frame's length are left over
// from earlier frames in the reused record and read as zero instead. The
// record is this package's own whatever class derives from it, so its bytes
// are read without asking the frame virtually.
CMediaInfo* CNetworkFrame::AnalyzeFrame() {
    if (m_medium == nullptr) {
        return nullptr;
    }
    m_medium->AnalyzeFrame(CNetworkFrame::GetFrame(), CNetworkFrame::GetLength());
    return m_medium.get();
}

const CMediaInfo* CNetworkFrame::GetMediaInfo() const {
    return m_medium.get();
}

QWORD CNetworkFrame::GetPacketNumber() const {
    return QWORD(ReadLittleEndian<std::uint64_t>(m_buffer + rr::kPacketNumberOffset));
}

QWORD CNetworkFrame::GetTimeStamp() const {
    return QWORD(ReadLittleEndian<std::uint64_t>(m_buffer + rr::kTimestampOffset));
}

const unsigned char* CNetworkFrame::GetFrame() const {
    return m_buffer + rr::kDataOffset;
}

// The driver never reports more than the capacity; capping here keeps a
// reader inside the buffer whatever the record says.
unsigned short CNetworkFrame::GetLength() const {
    const auto length = ReadLittleEndian<std::uint16_t>(m_buffer + rr::kLengthOffset);
    return std::min<unsigned short>(length, static_cast<unsigned short>(rr::kDataCapacity));
}

std::uint32_t CNetworkFrame::GetWireLength() const {
    return ReadLittleEndian<std::uint32_t>(m_buffer + rr::kWireLengthOffset);
}

void CNetworkFrame::Detach() {
    m_driverHandle = w32n55abi::kNoHandle;
    m_startReceive = nullptr;
    m_overlapped.hEvent = nullptr;
}
