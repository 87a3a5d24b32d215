#include "w32n55/DriverAccess.h"

#include "w32n55/HandleTable.h"
#include "w32n55/LastError.h"
#include "w32n55/ScriptedAdapter.h"
#include "w32n55/ThreadReceives.h"

#include <cerrno>
#include <chrono>
#include <string>
#if !defined(_WIN32)
#include "w32n55/FileAdapter.h"
#include "w32n55/LiveAdapter.h"
#endif

namespace w32n55 {
namespace {

HandleTable<Adapter>& Adapters() {
    static HandleTable<Adapter> table;
    return table;
}

HandleTable<AdapterEnumeration>& Enumerations() {
    static HandleTable<AdapterEnumeration> table;
    return table;
}

HandleTable<AdapterNames>& Entries() {
    static HandleTable<AdapterNames> table;
    return table;
}

std::shared_ptr<Adapter> FindAdapter(std::int32_t handle) {
    auto adapter = Adapters().Find(handle);
    if (!adapter) {
        LastError::Set(EBADF);
    }
    return adapter;
}

std::int32_t AddEntry(std::optional<AdapterNames> names) {
    if (!names) {
        return DriverAccess::kNoHandle;
    }
    return Entries().Add(std::make_shared<AdapterNames>(std::move(*names)));
}

#if defined(_WIN32)

// The Windows build stands in for the driver in tests: it has the scripted
// adapters only, and no adapter at all outside a script.
std::shared_ptr<Adapter> OpenMachineAdapter(std::string_view name, int& error) {
    return ScriptedAdapter::Open(std::string(name), error);
}

std::shared_ptr<AdapterEnumeration> EnumerateMachine(const std::string&) {
    return std::make_shared<AdapterEnumeration>(std::vector<AdapterNames>{});
}

#else

std::shared_ptr<Adapter> OpenMachineAdapter(std::string_view name, int& error) {
    if (name.starts_with(DriverAccess::kFilePrefix)) {
        return FileAdapter::Open(std::string(name.substr(DriverAccess::kFilePrefix.size())), error);
    }
    if (ScriptedAdapter::Listed()) {
        return ScriptedAdapter::Open(std::string(name), error);
    }
    return LiveAdapter::Open(std::string(name), error);
}

std::shared_ptr<AdapterEnumeration> EnumerateMachine(const std::string& root) {
    return std::make_shared<AdapterEnumeration>(root);
}

#endif

} // namespace

std::int32_t DriverAccess::OpenAdapter(const char* name) {
    if (name == nullptr || *name == '\0') {
        LastError::Set(ENODEV);
        return kNoHandle;
    }
    int error = 0;
    std::shared_ptr<Adapter> adapter = OpenMachineAdapter(name, error);
    if (!adapter) {
        LastError::Set(error);
        return kNoHandle;
    }
    return Adapters().Add(std::move(adapter));
}

void DriverAccess::CloseAdapter(std::int32_t handle) {
    const auto adapter = Adapters().Remove(handle);
    if (!adapter) {
        LastError::Set(EBADF);
        return;
    }
    adapter->MarkClosed();
    // The closing thread's own receives go at once, and with them the last
    // reference, so the capture socket closes now.
    ThreadReceives::ForThisThread().Forget(adapter.get());
}

RequestOutcome DriverAccess::Request(std::int32_t handle, RequestKind kind, std::uint32_t oid,
                                     InformationBuffer& buffer) {
    const auto adapter = FindAdapter(handle);
    if (!adapter) {
        return RequestOutcome::Refused(NDIS_STATUS_FAILURE);
    }
    switch (kind) {
    case RequestKind::Query:
        return adapter->Query(oid, buffer);
    case RequestKind::Set:
        return adapter->Set(oid, buffer);
    case RequestKind::Private:
        return adapter->PrivateQuery(oid, buffer);
    }
    return RequestOutcome::Refused(NDIS_STATUS_NOT_SUPPORTED);
}

void DriverAccess::StartReceive(std::int32_t handle, const ArmedReceive& receive) {
    if (receive.record == nullptr || receive.routine == nullptr) {
        LastError::Set(EINVAL);
        return;
    }
    ThreadReceives& receives = ThreadReceives::ForThisThread();
    if (receives.ArmAgain(handle, receive)) {
        return;
    }
    if (const auto adapter = FindAdapter(handle)) {
        receives.Arm(adapter, handle, receive);
    }
}

int DriverAccess::Send(std::int32_t handle, std::span<const std::uint8_t> frame, HANDLE event) {
    const auto adapter = FindAdapter(handle);
    const int error = adapter ? adapter->Send(frame) : EBADF;
    if (error == EINPROGRESS) {
        adapter->SignalWhenSent(event);
    } else if (error != 0) {
        LastError::Set(error);
    }
    return error;
}

int DriverAccess::AttachFilter(std::int32_t handle, std::span<const bpf_insn> program) {
    const auto adapter = FindAdapter(handle);
    const int error = adapter ? adapter->AttachFilter(program) : EBADF;
    if (error != 0) {
        LastError::Set(error);
    }
    return error;
}

bool DriverAccess::SetTimestampResolution(std::int32_t handle, bool high) {
    const auto adapter = FindAdapter(handle);
    if (adapter) {
        adapter->SetHighResolution(high);
    }
    return adapter != nullptr;
}

bool DriverAccess::ReadTimestamp(std::int32_t handle, std::uint64_t& now) {
    const auto adapter = FindAdapter(handle);
    if (!adapter) {
        return false;
    }
    const auto sinceEpoch = std::chrono::system_clock::now().time_since_epoch();
    now = adapter->Stamp(static_cast<std::uint64_t>(
        std::chrono::duration_cast<std::chrono::nanoseconds>(sinceEpoch).count()));
    return true;
}

std::int32_t DriverAccess::OpenEnumeration(const std::string& root) {
    if (auto scripted = ScriptedAdapter::Listed()) {
        return Enumerations().Add(std::make_shared<AdapterEnumeration>(std::move(*scripted)));
    }
    return Enumerations().Add(EnumerateMachine(root));
}

void DriverAccess::CloseEnumeration(std::int32_t handle) {
    if (!Enumerations().Remove(handle)) {
        LastError::Set(EBADF);
    }
}

std::int32_t DriverAccess::FirstAdapter(std::int32_t enumeration) {
    const auto found = Enumerations().Find(enumeration);
    if (!found) {
        LastError::Set(EBADF);
        return kNoHandle;
    }
    return AddEntry(found->First());
}

std::int32_t DriverAccess::NextAdapter(std::int32_t enumeration) {
    const auto found = Enumerations().Find(enumeration);
    if (!found) {
        LastError::Set(EBADF);
        return kNoHandle;
    }
    return AddEntry(found->Next());
}

void DriverAccess::ReleaseAdapter(std::int32_t entry) {
    if (!Entries().Remove(entry)) {
        LastError::Set(EBADF);
    }
}

int DriverAccess::FriendlyName(std::int32_t entry, char* buffer, std::uint32_t* length) {
    const auto names = Entries().Find(entry);
    const int error =
        names ? AdapterEnumeration::CopyName(names->friendlyName, buffer, length) : EBADF;
    if (error != 0) {
        LastError::Set(error);
    }
    return error;
}

int DriverAccess::NdisName(std::int32_t entry, char* buffer, std::uint32_t* length) {
    const auto names = Entries().Find(entry);
    const int error = names ? AdapterEnumeration::CopyName(names->ndisName, buffer, length) : EBADF;
    if (error != 0) {
        LastError::Set(error);
    }
    return error;
}

} // namespace w32n55
