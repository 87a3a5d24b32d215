#include "w32n55/OrdinalTable.h"

#include "qndislib/w32n55abi/EventSignal.h"
#include "qndislib/w32n55abi/LittleEndian.h"
#include "qndislib/w32n55abi/W32N55.h"
#include "w32n55/DriverAccess.h"
#include "w32n55/FilterInstruction.h"
#include "w32n55/LastError.h"
#include "w32n55/ReceiveCompletion.h"
#include "w32n55/SysfsInterface.h"
#include "w32n55/ThreadReceives.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <new>
#include <type_traits>
#include <vector>

namespace w32n55 {
namespace {

namespace abi = w32n55abi;
using abi::Handle;

// No C++ exception may cross into a caller that reached us by address; a
// failed allocation is reported like any other failure.
template <typename Result, typename Call> Result Guarded(Result failure, Call call) {
    try {
        return call();
    } catch (const std::bad_alloc&) {
        LastError::Set(ENOMEM);
        return failure;
    }
}

// Requests complete before the call returns, so the overlapped record and
// the wait argument have nothing left to do. As in NDIS, a query reports the
// bytes it wrote and a set the bytes it read in the same field, and a
// buffer that is too short reports the bytes needed.
std::uint32_t Answer(Handle adapter, _RETH_REQUEST* request, bool privateRequest) {
    if (request == nullptr) {
        LastError::Set(EINVAL);
        return NDIS_STATUS_FAILURE;
    }
    request->BytesWritten = 0;
    request->BytesNeeded = 0;
    DriverAccess::RequestKind kind = DriverAccess::RequestKind::Query;
    if (request->RequestType == NDIS_REQUEST_SET && !privateRequest) {
        kind = DriverAccess::RequestKind::Set;
    } else if (request->RequestType != NDIS_REQUEST_QUERY) {
        return NDIS_STATUS_NOT_SUPPORTED;
    } else if (privateRequest) {
        kind = DriverAccess::RequestKind::Private;
    }
    InformationBuffer buffer(request->InformationBuffer, request->InformationBufferLength);
    const RequestOutcome outcome = Guarded(RequestOutcome::Refused(NDIS_STATUS_FAILURE), [&] {
        return DriverAccess::Request(adapter, kind, request->Oid, buffer);
    });
    request->BytesWritten = outcome.bytesWritten;
    request->BytesNeeded = outcome.bytesNeeded;
    return outcome.status;
}

} // namespace

// The entry points have names of their own so that the Windows build can
// export them by ordinal from its module-definition file.
extern "C" {

std::uint8_t W32N55_CompletionStyle() {
    return ReceiveCompletion::SingleArgumentStyle() ? 1 : 0;
}

std::uint32_t W32N55_LastError() {
    return LastError::Get();
}

std::uint32_t W32N55_Request(Handle adapter, _RETH_REQUEST* request, OVERLAPPED*, std::int32_t) {
    return Answer(adapter, request, false);
}

std::uint32_t W32N55_PrivateRequest(Handle adapter, _RETH_REQUEST* request, OVERLAPPED*,
                                    std::int32_t) {
    return Answer(adapter, request, true);
}

void W32N55_StartReceive(Handle adapter, void* record, std::uint32_t* count, OVERLAPPED* overlapped,
                         void* routine) {
    const ArmedReceive receive{static_cast<std::uint8_t*>(record),       count, overlapped, routine,
                               ReceiveCompletion::SingleArgumentStyle(), 0,     0};
    Guarded(0, [&] {
        DriverAccess::StartReceive(adapter, receive);
        return 0;
    });
}

// The frame is on its way when the call returns, so an accepted send
// completes at once: the count holds the bytes sent and the event is set.
// A refused send completes nothing and signals nothing; one the adapter
// sends later signals the event then.
std::uint32_t W32N55_Send(Handle adapter, const std::uint8_t* data, std::int32_t length,
                          std::uint32_t* count, OVERLAPPED* overlapped) {
    if (data == nullptr || length <= 0) {
        LastError::Set(EINVAL);
        return EINVAL;
    }
    const HANDLE event = overlapped != nullptr ? overlapped->hEvent : nullptr;
    const int error = DriverAccess::Send(adapter, {data, static_cast<std::size_t>(length)}, event);
    if (error == EINPROGRESS) {
        return 0;
    }
    if (error != 0) {
        return static_cast<std::uint32_t>(error);
    }
    if (count != nullptr) {
        *count = static_cast<std::uint32_t>(length);
    }
    if (overlapped != nullptr) {
        overlapped->Internal = 0;
        overlapped->InternalHigh = static_cast<ULONG_PTR>(length);
        abi::SignalEvent(overlapped->hEvent);
    }
    return 0;
}

namespace fi = abi::filter_instruction;

std::uint32_t W32N55_AttachFilter(Handle adapter, const std::uint8_t* program,
                                  std::uint32_t count) {
    if ((program == nullptr && count != 0) || count > kMaxFilterInstructions) {
        LastError::Set(EINVAL);
        return EINVAL;
    }
    return Guarded<std::uint32_t>(ENOMEM, [&] {
        std::vector<bpf_insn> code(count);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::uint8_t* record = program + std::size_t{i} * fi::kSize;
            std::memcpy(&code[i].code, record + fi::kCodeOffset, sizeof code[i].code);
            code[i].jt = record[fi::kJumpTrueOffset];
            code[i].jf = record[fi::kJumpFalseOffset];
            std::memcpy(&code[i].k, record + fi::kValueOffset, sizeof code[i].k);
        }
        return static_cast<std::uint32_t>(DriverAccess::AttachFilter(adapter, code));
    });
}

Handle W32N55_OpenAdapter(const char* name) {
    return Guarded(abi::kNoHandle, [name] { return DriverAccess::OpenAdapter(name); });
}

void W32N55_CloseAdapter(Handle adapter) {
    DriverAccess::CloseAdapter(adapter);
}

std::uint8_t W32N55_TimestampResolution(Handle adapter, std::int32_t high) {
    return DriverAccess::SetTimestampResolution(adapter, high != 0) ? 1 : 0;
}

// The counter runs in nanoseconds of the frames' own clock.
std::uint8_t W32N55_ReadTimestamp(Handle adapter, std::uint8_t* record) {
    constexpr std::uint64_t kFrequency = 1000000000;
    std::uint64_t now = 0;
    if (record == nullptr) {
        LastError::Set(EINVAL);
        return 0;
    }
    if (!DriverAccess::ReadTimestamp(adapter, now)) {
        return 0;
    }
    std::memset(record, 0, abi::timestamp_record::kSize);
    abi::WriteLittleEndian(record + abi::timestamp_record::kCounterOffset, now);
    abi::WriteLittleEndian(record + abi::timestamp_record::kFrequencyOffset, kFrequency);
    return 1;
}

Handle W32N55_OpenEnumeration() {
    return Guarded(abi::kNoHandle, [] {
        return DriverAccess::OpenEnumeration(std::string(SysfsInterface::kDefaultRoot));
    });
}

void W32N55_CloseEnumeration(Handle enumeration) {
    DriverAccess::CloseEnumeration(enumeration);
}

Handle W32N55_FirstAdapter(Handle enumeration) {
    return Guarded(abi::kNoHandle,
                   [enumeration] { return DriverAccess::FirstAdapter(enumeration); });
}

Handle W32N55_NextAdapter(Handle enumeration) {
    return Guarded(abi::kNoHandle,
                   [enumeration] { return DriverAccess::NextAdapter(enumeration); });
}

void W32N55_ReleaseAdapter(Handle entry) {
    DriverAccess::ReleaseAdapter(entry);
}

std::uint32_t W32N55_FriendlyName(Handle entry, char* buffer, std::uint32_t* length) {
    return static_cast<std::uint32_t>(DriverAccess::FriendlyName(entry, buffer, length));
}

std::uint32_t W32N55_NdisName(Handle entry, char* buffer, std::uint32_t* length) {
    return static_cast<std::uint32_t>(DriverAccess::NdisName(entry, buffer, length));
}

#if !defined(_WIN32)
// Completion routines are the caller's code; what they throw reaches the
// caller of the wait unchanged.
std::uint32_t W32N55_AlertableWait(int eventFd, std::int32_t timeoutMs) {
    return ThreadReceives::ForThisThread().Wait(eventFd, timeoutMs);
}
#endif

} // extern "C"

namespace {

// Checks each entry against the call form its ordinal promises.
template <abi::Ordinal O> void* EntryOf(typename abi::Entry<O>::Fn function) {
    return reinterpret_cast<void*>(function);
}

} // namespace

void* OrdinalTable::Lookup(std::uint32_t ordinal) {
    switch (ordinal) {
    case abi::kCompletionStyle:
        return EntryOf<abi::kCompletionStyle>(&W32N55_CompletionStyle);
    case abi::kLastError:
        return EntryOf<abi::kLastError>(&W32N55_LastError);
    case abi::kRequest:
        return EntryOf<abi::kRequest>(&W32N55_Request);
    case abi::kPrivateRequest:
        return EntryOf<abi::kPrivateRequest>(&W32N55_PrivateRequest);
    case abi::kStartReceive:
        return EntryOf<abi::kStartReceive>(&W32N55_StartReceive);
    case abi::kSend:
        return EntryOf<abi::kSend>(&W32N55_Send);
    case abi::kOpenAdapter:
        return EntryOf<abi::kOpenAdapter>(&W32N55_OpenAdapter);
    case abi::kCloseAdapter:
        return EntryOf<abi::kCloseAdapter>(&W32N55_CloseAdapter);
    case abi::kTimestampResolution:
        return EntryOf<abi::kTimestampResolution>(&W32N55_TimestampResolution);
    case abi::kReadTimestamp:
        return EntryOf<abi::kReadTimestamp>(&W32N55_ReadTimestamp);
    case abi::kOpenEnumeration:
        return EntryOf<abi::kOpenEnumeration>(&W32N55_OpenEnumeration);
    case abi::kCloseEnumeration:
        return EntryOf<abi::kCloseEnumeration>(&W32N55_CloseEnumeration);
    case abi::kFirstAdapter:
        return EntryOf<abi::kFirstAdapter>(&W32N55_FirstAdapter);
    case abi::kNextAdapter:
        return EntryOf<abi::kNextAdapter>(&W32N55_NextAdapter);
    case abi::kReleaseAdapter:
        return EntryOf<abi::kReleaseAdapter>(&W32N55_ReleaseAdapter);
    case abi::kFriendlyName:
        return EntryOf<abi::kFriendlyName>(&W32N55_FriendlyName);
    case abi::kNdisName:
        return EntryOf<abi::kNdisName>(&W32N55_NdisName);
#if !defined(_WIN32)
    case abi::kAlertableWait:
        return EntryOf<abi::kAlertableWait>(&W32N55_AlertableWait);
#endif
    case abi::kAttachFilter:
        return EntryOf<abi::kAttachFilter>(&W32N55_AttachFilter);
    default:
        return nullptr;
    }
}

} // namespace w32n55

#if !defined(_WIN32)
static_assert(std::is_same_v<decltype(&W32N55_GetProcAddress), W32N55_GetProcAddressFn>);

extern "C" void* W32N55_GetProcAddress(std::uint32_t ordinal) {
    return w32n55::OrdinalTable::Lookup(ordinal);
}
#endif
