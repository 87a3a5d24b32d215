#pragma once

#include "w32n55/AdapterEnumeration.h"
#include "w32n55/ArmedReceive.h"
#include "w32n55/FilterInstruction.h"
#include "w32n55/InformationBuffer.h"

#include <cstdint>
#include <span>

namespace w32n55 {

// The calls of the driver-access library in C++ terms; the ordinal table
// turns the caller's records into these arguments. Failures leave their
// errno-style code in LastError.
class DriverAccess {
public:
    static constexpr std::int32_t kNoHandle = -1;
    // An NDIS name of this form opens a capture file as an adapter.
    static constexpr std::string_view kFilePrefix = "file:";

    static std::int32_t OpenAdapter(const char* name);
    static void CloseAdapter(std::int32_t handle);

    enum class RequestKind { Query, Set, Private };
    static RequestOutcome Request(std::int32_t handle, RequestKind kind, std::uint32_t oid,
                                  InformationBuffer& buffer);

    // The receive completes on the calling thread, in one of its alertable
    // waits; a receive on an unknown handle never completes.
    static void StartReceive(std::int32_t handle, const ArmedReceive& receive);
    // 0 when the frame went out, EINPROGRESS when `event` is signalled once
    // it has, else an errno code.
    static int Send(std::int32_t handle, std::span<const std::uint8_t> frame, HANDLE event);
    // 0 when the program is attached (empty: detached), else an errno code.
    static int AttachFilter(std::int32_t handle, std::span<const bpf_insn> program);

    static bool SetTimestampResolution(std::int32_t handle, bool high);
    // Nanoseconds since the Unix epoch, the clock of the frames' stamps.
    static bool ReadTimestamp(std::int32_t handle, std::uint64_t& now);

    // The root is a parameter so that tests can enumerate a fake tree.
    static std::int32_t OpenEnumeration(const std::string& root);
    static void CloseEnumeration(std::int32_t handle);
    static std::int32_t FirstAdapter(std::int32_t enumeration);
    static std::int32_t NextAdapter(std::int32_t enumeration);
    static void ReleaseAdapter(std::int32_t entry);
    static int FriendlyName(std::int32_t entry, char* buffer, std::uint32_t* length);
    static int NdisName(std::int32_t entry, char* buffer, std::uint32_t* length);
};

} // namespace w32n55
