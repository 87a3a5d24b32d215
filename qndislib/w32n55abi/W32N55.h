#pragma once

// The contract between qndislib and the driver-access library (libw32n55.so,
// W32N55.dll on Windows): its ordinals with their call forms, the records
// exchanged through them and the published NDIS constants both sides use.
// Both libraries compile this header, so a change here is a change of the
// binary interface.

#include "qndislib/w32n55abi/Kernel.h"

#include <cstddef>
#include <cstdint>

// The lookup through which the driver-access library hands out the entry
// point of an ordinal, null for an ordinal the library does not have. On
// Windows the library exports its calls by ordinal and the loader's own
// lookup serves them; elsewhere the library exports this one function.
extern "C" {
using W32N55_GetProcAddressFn = void* (*)(std::uint32_t ordinal);
}
#if defined(_WIN32)
inline constexpr const char* kW32N55LibraryName = "W32N55.dll";
#else
inline constexpr const char* kW32N55LibraryName = "libw32n55.so";
#endif
inline constexpr const char* kW32N55LookupSymbol = "W32N55_GetProcAddress";

// The NDIS request record, field order as on the original.
struct _RETH_REQUEST {
    std::uint8_t Reserved[20];
    std::uint32_t RequestType; // 0 query, 1 set
    std::uint32_t Oid;
    void* InformationBuffer;
    std::uint32_t InformationBufferLength;
    std::uint32_t BytesWritten;
    std::uint32_t BytesNeeded;
    std::uint8_t Reserved2[512];
};
// Its byte offsets: those of the original with 32-bit pointers; with 64-bit
// ones the buffer pointer is aligned to 8 bytes and widens the record.
namespace reth_request_layout {
inline constexpr bool kWidePointers = sizeof(void*) == 8;
static_assert(kWidePointers || sizeof(void*) == 4);
inline constexpr std::size_t kRequestTypeOffset = 20;
inline constexpr std::size_t kOidOffset = 24;
inline constexpr std::size_t kBufferOffset = kWidePointers ? 32 : 28;
inline constexpr std::size_t kBufferLengthOffset = kWidePointers ? 40 : 32;
inline constexpr std::size_t kBytesWrittenOffset = kWidePointers ? 44 : 36;
inline constexpr std::size_t kBytesNeededOffset = kWidePointers ? 48 : 40;
inline constexpr std::size_t kSize = kWidePointers ? 568 : 556;
} // namespace reth_request_layout
static_assert(offsetof(_RETH_REQUEST, RequestType) == reth_request_layout::kRequestTypeOffset);
static_assert(offsetof(_RETH_REQUEST, Oid) == reth_request_layout::kOidOffset);
static_assert(offsetof(_RETH_REQUEST, InformationBuffer) == reth_request_layout::kBufferOffset);
static_assert(offsetof(_RETH_REQUEST, InformationBufferLength) ==
              reth_request_layout::kBufferLengthOffset);
static_assert(offsetof(_RETH_REQUEST, BytesWritten) == reth_request_layout::kBytesWrittenOffset);
static_assert(offsetof(_RETH_REQUEST, BytesNeeded) == reth_request_layout::kBytesNeededOffset);
static_assert(sizeof(_RETH_REQUEST) == reth_request_layout::kSize);

namespace w32n55abi {

using Handle = std::int32_t;
inline constexpr Handle kNoHandle = -1;

enum Ordinal : std::uint32_t {
    kCompletionStyle = 3,
    kLastError = 8,
    kRequest = 10,
    kPrivateRequest = 11,
    kStartReceive = 13,
    kSend = 15,
    kOpenAdapter = 17,
    kCloseAdapter = 19,
    kTimestampResolution = 22,
    kReadTimestamp = 23,
    kOpenEnumeration = 71,
    kCloseEnumeration = 72,
    kFirstAdapter = 73,
    kNextAdapter = 74,
    kReleaseAdapter = 75,
    kFriendlyName = 76,
    kNdisName = 78,
    // Not on the original platform: serves the alertable waits of
    // qndislib's platform layer (see AlertableWaitFn).
    kAlertableWait = 200,
    // Not on the original platform: a kernel packet filter for an adapter.
    kAttachFilter = 201,
};

// Completion routines handed to kStartReceive; which one is chosen by the
// result of kCompletionStyle.
using ThreeArgumentCompletion = void (*)(std::uint32_t error, std::uint32_t bytes,
                                         OVERLAPPED* overlapped);
using SingleArgumentCompletion = std::uint32_t (*)(OVERLAPPED* overlapped);

using CompletionStyleFn = std::uint8_t (*)();
using LastErrorFn = std::uint32_t (*)();
// NDIS status, 0 = success. The last argument is always 1.
using RequestFn = std::uint32_t (*)(Handle adapter, _RETH_REQUEST* request, OVERLAPPED* overlapped,
                                    std::int32_t wait);
// `routine` is one of the two completion forms above, cast to void*. A
// receive completes with a frame and status 0, or without one (0 bytes) and
// NDIS_STATUS_ADAPTER_REMOVED once the adapter has vanished; the status is
// the three-argument routine's error and the overlapped record's Internal.
using StartReceiveFn = void (*)(Handle adapter, void* record, std::uint32_t* count,
                                OVERLAPPED* overlapped, void* routine);
// 0 = accepted; the overlapped's event is signalled when the send completes.
// A refused send signals nothing and returns the system's reason (an errno
// code).
using SendFn = std::uint32_t (*)(Handle adapter, const std::uint8_t* data, std::int32_t length,
                                 std::uint32_t* count, OVERLAPPED* overlapped);
using OpenAdapterFn = Handle (*)(const char* ndisName);
using CloseAdapterFn = void (*)(Handle adapter);
using TimestampResolutionFn = std::uint8_t (*)(Handle adapter, std::int32_t high);
using ReadTimestampFn = std::uint8_t (*)(Handle adapter, std::uint8_t* record);
using OpenEnumerationFn = Handle (*)();
using CloseEnumerationFn = void (*)(Handle enumeration);
using FirstAdapterFn = Handle (*)(Handle enumeration);
using NextAdapterFn = Handle (*)(Handle enumeration);
using ReleaseAdapterFn = void (*)(Handle entry);
// 0 = success; `length` holds the room (999) on entry.
using AdapterNameFn = std::uint32_t (*)(Handle entry, char* buffer, std::uint32_t* length);
// Waits up to `timeoutMs` (-1: no limit) for the eventfd `eventFd` (-1: none)
// while completing the receives this thread armed. Returns WAIT_OBJECT_0,
// WAIT_TIMEOUT, WAIT_IO_COMPLETION or WAIT_FAILED. It never consumes the
// event: an auto-reset event is consumed by the caller.
using AlertableWaitFn = std::uint32_t (*)(int eventFd, std::int32_t timeoutMs);
// Attaches `count` classic packet-filter instructions (filter_instruction
// records) to the adapter's capture: frames the program rejects are dropped
// before they are copied, after the NDIS packet filter has passed them.
// Count 0 detaches. 0 = done, else an errno code (EINVAL: the kernel
// refused the program; EOPNOTSUPP: the adapter has no kernel filter); on
// failure the filter in place stays.
using AttachFilterFn = std::uint32_t (*)(Handle adapter, const std::uint8_t* program,
                                         std::uint32_t count);

// The call form of each ordinal, for typed lookups.
template <Ordinal> struct Entry;
template <> struct Entry<kCompletionStyle> { using Fn = CompletionStyleFn; };
template <> struct Entry<kLastError> { using Fn = LastErrorFn; };
template <> struct Entry<kRequest> { using Fn = RequestFn; };
template <> struct Entry<kPrivateRequest> { using Fn = RequestFn; };
template <> struct Entry<kStartReceive> { using Fn = StartReceiveFn; };
template <> struct Entry<kSend> { using Fn = SendFn; };
template <> struct Entry<kOpenAdapter> { using Fn = OpenAdapterFn; };
template <> struct Entry<kCloseAdapter> { using Fn = CloseAdapterFn; };
template <> struct Entry<kTimestampResolution> { using Fn = TimestampResolutionFn; };
template <> struct Entry<kReadTimestamp> { using Fn = ReadTimestampFn; };
template <> struct Entry<kOpenEnumeration> { using Fn = OpenEnumerationFn; };
template <> struct Entry<kCloseEnumeration> { using Fn = CloseEnumerationFn; };
template <> struct Entry<kFirstAdapter> { using Fn = FirstAdapterFn; };
template <> struct Entry<kNextAdapter> { using Fn = NextAdapterFn; };
template <> struct Entry<kReleaseAdapter> { using Fn = ReleaseAdapterFn; };
template <> struct Entry<kFriendlyName> { using Fn = AdapterNameFn; };
template <> struct Entry<kNdisName> { using Fn = AdapterNameFn; };
template <> struct Entry<kAlertableWait> { using Fn = AlertableWaitFn; };
template <> struct Entry<kAttachFilter> { using Fn = AttachFilterFn; };

inline constexpr std::uint32_t kAdapterNameRoom = 1000;
inline constexpr std::uint32_t kAdapterNameLengthOnEntry = 999;

// The time-stamp record of kReadTimestamp: 20 bytes, two unaligned 64-bit
// little-endian values.
namespace timestamp_record {
inline constexpr std::size_t kSize = 20;
inline constexpr std::size_t kCounterOffset = 2;
inline constexpr std::size_t kFrequencyOffset = 10;
} // namespace timestamp_record

// One instruction of kAttachFilter's program, 8 bytes in host byte order:
// the layout of the kernel's classic socket-filter instruction.
namespace filter_instruction {
inline constexpr std::size_t kSize = 8;
inline constexpr std::size_t kCodeOffset = 0; // 16 bits
inline constexpr std::size_t kJumpTrueOffset = 2;
inline constexpr std::size_t kJumpFalseOffset = 3;
inline constexpr std::size_t kValueOffset = 4; // 32 bits
} // namespace filter_instruction

// The receive record of kStartReceive, little-endian and with the byte
// layout of the original: no pointer in it.
namespace receive_record {
inline constexpr std::size_t kPacketNumberOffset = 28;
inline constexpr std::size_t kTimestampOffset = 36;
inline constexpr std::size_t kLengthOffset = 44;
// Bytes the original layout leaves unread: the driver-access library keeps
// there the frame's length on the wire (32 bits, 0 where unknown), which
// exceeds the stored length when the frame was cut to the capacity.
inline constexpr std::size_t kWireLengthOffset = 46;
inline constexpr std::size_t kCapacityOffset = 52;
inline constexpr std::size_t kDataOffset = 56;
inline constexpr std::size_t kHeaderSize = 57;
inline constexpr std::uint32_t kDataCapacity = 2000;
inline constexpr std::size_t kBufferSize = kHeaderSize + kDataCapacity;
static_assert(kBufferSize == 2057);
static_assert(kWireLengthOffset == kLengthOffset + 2 && kWireLengthOffset + 4 <= kCapacityOffset);
} // namespace receive_record

} // namespace w32n55abi

inline constexpr std::uint32_t NDIS_REQUEST_QUERY = 0;
inline constexpr std::uint32_t NDIS_REQUEST_SET = 1;

// NDIS statuses.
inline constexpr std::uint32_t NDIS_STATUS_SUCCESS = 0x00000000;
inline constexpr std::uint32_t NDIS_STATUS_NOT_SUPPORTED = 0xC00000BB;
inline constexpr std::uint32_t NDIS_STATUS_INVALID_OID = 0xC0010017;
inline constexpr std::uint32_t NDIS_STATUS_INVALID_LENGTH = 0xC0010014;
inline constexpr std::uint32_t NDIS_STATUS_BUFFER_TOO_SHORT = 0xC0010016;
inline constexpr std::uint32_t NDIS_STATUS_FAILURE = 0xC0000001;
inline constexpr std::uint32_t NDIS_STATUS_ADAPTER_NOT_READY = 0xC0010011;
inline constexpr std::uint32_t NDIS_STATUS_ADAPTER_REMOVED = 0xC0010018;

// Packet-filter bits.
inline constexpr std::uint32_t NDIS_PACKET_TYPE_DIRECTED = 0x01;
inline constexpr std::uint32_t NDIS_PACKET_TYPE_MULTICAST = 0x02;
inline constexpr std::uint32_t NDIS_PACKET_TYPE_ALL_MULTICAST = 0x04;
inline constexpr std::uint32_t NDIS_PACKET_TYPE_BROADCAST = 0x08;
inline constexpr std::uint32_t NDIS_PACKET_TYPE_PROMISCUOUS = 0x20;
inline constexpr std::uint32_t NDIS_PACKET_TYPE_ALL_LOCAL = 0x80;

// NDIS_MEDIUM values.
inline constexpr std::uint32_t NdisMedium802_3 = 0;
inline constexpr std::uint32_t NdisMedium802_5 = 1;
inline constexpr std::uint32_t NdisMediumFddi = 2;
inline constexpr std::uint32_t NdisMediumWan = 3;
inline constexpr std::uint32_t NdisMediumLocalTalk = 4;
inline constexpr std::uint32_t NdisMediumDix = 5;
inline constexpr std::uint32_t NdisMediumArcnetRaw = 6;
inline constexpr std::uint32_t NdisMediumArcnet878_2 = 7;
inline constexpr std::uint32_t NdisMediumAtm = 8;
inline constexpr std::uint32_t NdisMediumWirelessWan = 9;
inline constexpr std::uint32_t NdisMediumIrda = 10;
inline constexpr std::uint32_t NdisMedium1394 = 13;

// NDIS_PHYSICAL_MEDIUM values.
inline constexpr std::uint32_t NdisPhysicalMediumUnspecified = 0;
inline constexpr std::uint32_t NdisPhysicalMediumWirelessLan = 1;
inline constexpr std::uint32_t NdisPhysicalMediumFibreChannel = 6;
inline constexpr std::uint32_t NdisPhysicalMedium1394 = 7;
inline constexpr std::uint32_t NdisPhysicalMediumWirelessWan = 8;

// General OIDs.
inline constexpr std::uint32_t OID_GEN_HARDWARE_STATUS = 0x00010102;
inline constexpr std::uint32_t OID_GEN_MEDIA_SUPPORTED = 0x00010103;
inline constexpr std::uint32_t OID_GEN_MEDIA_IN_USE = 0x00010104;
inline constexpr std::uint32_t OID_GEN_MAXIMUM_LOOKAHEAD = 0x00010105;
inline constexpr std::uint32_t OID_GEN_MAXIMUM_FRAME_SIZE = 0x00010106;
inline constexpr std::uint32_t OID_GEN_LINK_SPEED = 0x00010107;
inline constexpr std::uint32_t OID_GEN_TRANSMIT_BUFFER_SPACE = 0x00010109;
inline constexpr std::uint32_t OID_GEN_RECEIVE_BUFFER_SPACE = 0x0001010A;
inline constexpr std::uint32_t OID_GEN_VENDOR_ID = 0x0001010C;
inline constexpr std::uint32_t OID_GEN_VENDOR_DESCRIPTION = 0x0001010D;
inline constexpr std::uint32_t OID_GEN_CURRENT_PACKET_FILTER = 0x0001010E;
inline constexpr std::uint32_t OID_GEN_CURRENT_LOOKAHEAD = 0x0001010F;
inline constexpr std::uint32_t OID_GEN_DRIVER_VERSION = 0x00010110;
inline constexpr std::uint32_t OID_GEN_MAXIMUM_TOTAL_SIZE = 0x00010111;
inline constexpr std::uint32_t OID_GEN_PROTOCOL_OPTIONS = 0x00010112;
inline constexpr std::uint32_t OID_GEN_MAC_OPTIONS = 0x00010113;
inline constexpr std::uint32_t OID_GEN_PHYSICAL_MEDIUM = 0x00010202;

inline constexpr std::uint32_t OID_GEN_XMIT_OK = 0x00020101;
inline constexpr std::uint32_t OID_GEN_RCV_OK = 0x00020102;
inline constexpr std::uint32_t OID_GEN_XMIT_ERROR = 0x00020103;
inline constexpr std::uint32_t OID_GEN_RCV_ERROR = 0x00020104;
inline constexpr std::uint32_t OID_GEN_RCV_NO_BUFFER = 0x00020105;
inline constexpr std::uint32_t OID_GEN_DIRECTED_BYTES_XMIT = 0x00020201;
inline constexpr std::uint32_t OID_GEN_DIRECTED_FRAMES_XMIT = 0x00020202;
inline constexpr std::uint32_t OID_GEN_MULTICAST_BYTES_XMIT = 0x00020203;
inline constexpr std::uint32_t OID_GEN_MULTICAST_FRAMES_XMIT = 0x00020204;
inline constexpr std::uint32_t OID_GEN_BROADCAST_BYTES_XMIT = 0x00020205;
inline constexpr std::uint32_t OID_GEN_BROADCAST_FRAMES_XMIT = 0x00020206;
inline constexpr std::uint32_t OID_GEN_DIRECTED_BYTES_RCV = 0x00020207;
inline constexpr std::uint32_t OID_GEN_DIRECTED_FRAMES_RCV = 0x00020208;
inline constexpr std::uint32_t OID_GEN_MULTICAST_BYTES_RCV = 0x00020209;
inline constexpr std::uint32_t OID_GEN_MULTICAST_FRAMES_RCV = 0x0002020A;
inline constexpr std::uint32_t OID_GEN_BROADCAST_BYTES_RCV = 0x0002020B;
inline constexpr std::uint32_t OID_GEN_BROADCAST_FRAMES_RCV = 0x0002020C;
inline constexpr std::uint32_t OID_GEN_RCV_CRC_ERROR = 0x0002020D;

// 802.3 OIDs.
inline constexpr std::uint32_t OID_802_3_PERMANENT_ADDRESS = 0x01010101;
inline constexpr std::uint32_t OID_802_3_CURRENT_ADDRESS = 0x01010102;
inline constexpr std::uint32_t OID_802_3_RCV_ERROR_ALIGNMENT = 0x01020101;
inline constexpr std::uint32_t OID_802_3_XMIT_ONE_COLLISION = 0x01020102;
inline constexpr std::uint32_t OID_802_3_XMIT_MORE_COLLISIONS = 0x01020103;
inline constexpr std::uint32_t OID_802_3_XMIT_DEFERRED = 0x01020201;
inline constexpr std::uint32_t OID_802_3_XMIT_MAX_COLLISIONS = 0x01020202;
inline constexpr std::uint32_t OID_802_3_RCV_OVERRUN = 0x01020203;
inline constexpr std::uint32_t OID_802_3_XMIT_UNDERRUN = 0x01020204;
inline constexpr std::uint32_t OID_802_3_XMIT_HEARTBEAT_FAILURE = 0x01020205;
inline constexpr std::uint32_t OID_802_3_XMIT_TIMES_CRS_LOST = 0x01020206;
inline constexpr std::uint32_t OID_802_3_XMIT_LATE_COLLISIONS = 0x01020207;

// The private OID of the driver-access library: frames the host's software
// dropped before the capture saw them. Served by kPrivateRequest only.
inline constexpr std::uint32_t OID_W32N55_SOFT_MISSED_FRAMES = 0xF0020102;
