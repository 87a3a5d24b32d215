#include "tests/support/FakeDriver.h"

#include "qndislib/capture/DriverLibrary.h"

#include <algorithm>
#include <cstring>
#include <poll.h>
#include <stdexcept>
#include <unistd.h>

namespace qndis::test {

namespace {

FakeDriver* g_active = nullptr;

constexpr std::uint32_t kNoSuchAdapter = 2;
constexpr std::uint32_t kBadHandle = 6;
constexpr std::uint32_t kMoreData = 234;

template <typename T> void PutLittleEndian(std::uint8_t* bytes, T value) {
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        bytes[i] = static_cast<std::uint8_t>(static_cast<std::uint64_t>(value) >> (8 * i));
    }
}

template <typename T> T GetLittleEndian(const std::uint8_t* bytes) {
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < sizeof(T); ++i) {
        value |= std::uint64_t{bytes[i]} << (8 * i);
    }
    return static_cast<T>(value);
}

template <typename T> std::vector<std::uint8_t> LittleEndianBytes(T value) {
    std::vector<std::uint8_t> bytes(sizeof(T));
    PutLittleEndian(bytes.data(), value);
    return bytes;
}

std::vector<std::uint8_t> AddressBytes(const CMACAddr& address) {
    const unsigned char* bytes = address;
    return {bytes, bytes + 6};
}

void Signal(HANDLE event) {
    const int fd = EventFd(event);
    const std::uint64_t one = 1;
    if (fd >= 0) {
        [[maybe_unused]] const auto written = ::write(fd, &one, sizeof one);
    }
}

// Writes `answer` the way a miniport does: never past the buffer, naming
// the room needed when it is short.
std::uint32_t WriteAnswer(_RETH_REQUEST& request, const std::vector<std::uint8_t>& answer) {
    const auto size = static_cast<std::uint32_t>(answer.size());
    if (request.InformationBuffer == nullptr || request.InformationBufferLength < size) {
        request.BytesNeeded = size;
        return NDIS_STATUS_BUFFER_TOO_SHORT;
    }
    std::memcpy(request.InformationBuffer, answer.data(), answer.size());
    request.BytesWritten = size;
    return NDIS_STATUS_SUCCESS;
}

bool IsReadable(int fd) {
    if (fd < 0) {
        return false;
    }
    pollfd descriptor{fd, POLLIN, 0};
    return ::poll(&descriptor, 1, 0) > 0 && (descriptor.revents & POLLIN) != 0;
}

} // namespace

FakeAdapter& FakeAdapter::AnswerULong(std::uint32_t oid, std::uint32_t value) {
    answers[oid] = LittleEndianBytes(value);
    return *this;
}

FakeAdapter& FakeAdapter::AnswerQuad(std::uint32_t oid, std::uint64_t value) {
    answers[oid] = LittleEndianBytes(value);
    return *this;
}

FakeAdapter& FakeAdapter::AnswerBytes(std::uint32_t oid, std::span<const std::uint8_t> bytes) {
    answers[oid].assign(bytes.begin(), bytes.end());
    return *this;
}

FakeAdapter& FakeAdapter::AnswerText(std::uint32_t oid, const std::string& text) {
    std::vector<std::uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    answers[oid] = std::move(bytes);
    return *this;
}

FakeAdapter& FakeAdapter::AnswerPrivateULong(std::uint32_t oid, std::uint32_t value) {
    privateAnswers[oid] = LittleEndianBytes(value);
    return *this;
}

FakeAdapter& FakeAdapter::Refuse(std::uint32_t oid, std::uint32_t status) {
    refusals[oid] = status;
    return *this;
}

FakeDriver::FakeDriver() {
    if (g_active != nullptr) {
        throw std::logic_error("one FakeDriver at a time");
    }
    g_active = this;
    DriverLibrary::UseLookupForTesting(&FakeDriver::Lookup);
}

FakeDriver::~FakeDriver() {
    DriverLibrary::UseLookupForTesting(nullptr);
    g_active = nullptr;
}

FakeDriver& FakeDriver::Active() {
    if (g_active == nullptr) {
        throw std::logic_error("no FakeDriver installed");
    }
    return *g_active;
}

FakeAdapter& FakeDriver::AddAdapter(const std::string& ndisName, std::uint32_t medium,
                                    CMACAddr current, CMACAddr permanent) {
    FakeAdapter& adapter = m_adapters.emplace_back();
    adapter.ndisName = ndisName;
    adapter.friendlyName = ndisName;
    adapter.medium = medium;
    adapter.currentAddress = current;
    adapter.permanentAddress = permanent;
    return adapter;
}

FakeAdapter* FakeDriver::FindAdapter(const std::string& ndisName) {
    const auto found = std::find_if(m_adapters.begin(), m_adapters.end(),
                                    [&](const FakeAdapter& a) { return a.ndisName == ndisName; });
    return found == m_adapters.end() ? nullptr : &*found;
}

void FakeDriver::SetTimestampCounter(std::uint64_t counter, std::uint64_t frequency) {
    m_counter = counter;
    m_frequency = frequency;
}

int FakeDriver::InjectFrame(const std::string& ndisName, std::span<const std::uint8_t> frame,
                            std::optional<std::uint64_t> timestamp) {
    const std::uint64_t stamp = timestamp.value_or(m_frameClock++);
    int queued = 0;
    for (auto& [handle, open] : m_handles) {
        if (open.adapter->ndisName == ndisName && open.packetFilter.value_or(0) != 0) {
            open.frames.emplace_back(std::vector<std::uint8_t>(frame.begin(), frame.end()), stamp);
            ++queued;
        }
    }
    return queued;
}

std::size_t FakeDriver::CallCount(w32n55abi::Ordinal ordinal) const {
    return static_cast<std::size_t>(std::count_if(
        m_calls.begin(), m_calls.end(), [&](const FakeCall& c) { return c.ordinal == ordinal; }));
}

std::vector<FakeCall> FakeDriver::CallsOf(w32n55abi::Ordinal ordinal) const {
    std::vector<FakeCall> calls;
    std::copy_if(m_calls.begin(), m_calls.end(), std::back_inserter(calls),
                 [&](const FakeCall& c) { return c.ordinal == ordinal; });
    return calls;
}

std::optional<std::uint32_t> FakeDriver::PacketFilter(std::int32_t handle) const {
    const auto found = m_handles.find(handle);
    return found == m_handles.end() ? std::nullopt : found->second.packetFilter;
}

FakeCall& FakeDriver::Log(w32n55abi::Ordinal ordinal, std::int32_t handle) {
    FakeCall& call = m_calls.emplace_back();
    call.ordinal = ordinal;
    call.handle = handle;
    return call;
}

void* FakeDriver::Lookup(std::uint32_t ordinal) {
    using namespace w32n55abi;
    switch (ordinal) {
    case kCompletionStyle:
        return reinterpret_cast<void*>(&CompletionStyle);
    case kLastError:
        return reinterpret_cast<void*>(&LastError);
    case kRequest:
        return reinterpret_cast<void*>(&Request);
    case kPrivateRequest:
        return reinterpret_cast<void*>(&PrivateRequest);
    case kStartReceive:
        return reinterpret_cast<void*>(&StartReceive);
    case kSend:
        return reinterpret_cast<void*>(&Send);
    case kOpenAdapter:
        return reinterpret_cast<void*>(&OpenAdapter);
    case kCloseAdapter:
        return reinterpret_cast<void*>(&CloseAdapter);
    case kTimestampResolution:
        return reinterpret_cast<void*>(&TimestampResolution);
    case kReadTimestamp:
        return reinterpret_cast<void*>(&ReadTimestamp);
    case kOpenEnumeration:
        return reinterpret_cast<void*>(&OpenEnumeration);
    case kCloseEnumeration:
        return reinterpret_cast<void*>(&CloseEnumeration);
    case kFirstAdapter:
        return reinterpret_cast<void*>(&FirstAdapter);
    case kNextAdapter:
        return reinterpret_cast<void*>(&NextAdapter);
    case kReleaseAdapter:
        return reinterpret_cast<void*>(&ReleaseAdapter);
    case kFriendlyName:
        return reinterpret_cast<void*>(&FriendlyName);
    case kNdisName:
        return reinterpret_cast<void*>(&NdisName);
    case kAlertableWait:
        return reinterpret_cast<void*>(&AlertableWait);
    default:
        return nullptr;
    }
}

std::uint8_t FakeDriver::CompletionStyle() {
    FakeDriver& fake = Active();
    fake.Log(w32n55abi::kCompletionStyle, w32n55abi::kNoHandle);
    return fake.m_singleArgument ? 1 : 0;
}

std::uint32_t FakeDriver::LastError() {
    FakeDriver& fake = Active();
    fake.Log(w32n55abi::kLastError, w32n55abi::kNoHandle);
    return fake.m_lastError;
}

std::uint32_t FakeDriver::Request(w32n55abi::Handle adapter, _RETH_REQUEST* request,
                                  OVERLAPPED* /*overlapped*/, std::int32_t /*wait*/) {
    return request == nullptr ? NDIS_STATUS_FAILURE : Active().Answer(false, adapter, *request);
}

std::uint32_t FakeDriver::PrivateRequest(w32n55abi::Handle adapter, _RETH_REQUEST* request,
                                         OVERLAPPED* /*overlapped*/, std::int32_t /*wait*/) {
    return request == nullptr ? NDIS_STATUS_FAILURE : Active().Answer(true, adapter, *request);
}

std::uint32_t FakeDriver::Answer(bool isPrivate, w32n55abi::Handle handle, _RETH_REQUEST& request) {
    FakeCall& call = Log(isPrivate ? w32n55abi::kPrivateRequest : w32n55abi::kRequest, handle);
    call.oid = request.Oid;
    call.requestType = request.RequestType;
    const bool isSet = !isPrivate && request.RequestType == NDIS_REQUEST_SET;
    if (isSet && request.InformationBuffer != nullptr && request.InformationBufferLength >= 4) {
        call.value = GetLittleEndian<std::uint32_t>(
            static_cast<const std::uint8_t*>(request.InformationBuffer));
    }
    request.BytesWritten = 0;
    request.BytesNeeded = 0;
    const auto open = m_handles.find(handle);
    if (open == m_handles.end()) {
        return NDIS_STATUS_FAILURE;
    }
    const FakeAdapter& adapter = *open->second.adapter;
    if (const auto refused = adapter.refusals.find(request.Oid);
        refused != adapter.refusals.end()) {
        return refused->second;
    }
    return isSet ? Set(open->second, request) : Query(adapter, isPrivate, request);
}

std::uint32_t FakeDriver::Query(const FakeAdapter& adapter, bool isPrivate,
                                _RETH_REQUEST& request) const {
    const auto& answers = isPrivate ? adapter.privateAnswers : adapter.answers;
    if (const auto found = answers.find(request.Oid); found != answers.end()) {
        return WriteAnswer(request, found->second);
    }
    if (isPrivate) {
        return NDIS_STATUS_NOT_SUPPORTED;
    }
    switch (request.Oid) {
    case OID_GEN_MEDIA_IN_USE:
    case OID_GEN_MEDIA_SUPPORTED:
        return WriteAnswer(request, LittleEndianBytes(adapter.medium));
    case OID_802_3_CURRENT_ADDRESS:
        return WriteAnswer(request, AddressBytes(adapter.currentAddress));
    case OID_802_3_PERMANENT_ADDRESS:
        return WriteAnswer(request, AddressBytes(adapter.permanentAddress));
    default:
        return NDIS_STATUS_NOT_SUPPORTED;
    }
}

std::uint32_t FakeDriver::Set(OpenHandle& open, _RETH_REQUEST& request) {
    if (request.InformationBuffer == nullptr || request.InformationBufferLength < 4) {
        request.BytesNeeded = 4;
        return NDIS_STATUS_INVALID_LENGTH;
    }
    const auto value =
        GetLittleEndian<std::uint32_t>(static_cast<const std::uint8_t*>(request.InformationBuffer));
    if (request.Oid == OID_GEN_CURRENT_PACKET_FILTER) {
        open.packetFilter = value;
        if (value == 0) {
            open.frames.clear();
        }
    }
    return NDIS_STATUS_SUCCESS;
}

void FakeDriver::StartReceive(w32n55abi::Handle adapter, void* record, std::uint32_t* /*count*/,
                              OVERLAPPED* overlapped, void* routine) {
    FakeDriver& fake = Active();
    fake.Log(w32n55abi::kStartReceive, adapter);
    if (fake.m_handles.count(adapter) == 0 || record == nullptr || routine == nullptr) {
        fake.m_lastError = kBadHandle;
        return;
    }
    fake.m_armed.push_back({adapter, static_cast<std::uint8_t*>(record), overlapped, routine});
}

std::uint32_t FakeDriver::Send(w32n55abi::Handle adapter, const std::uint8_t* data,
                               std::int32_t length, std::uint32_t* count, OVERLAPPED* overlapped) {
    FakeDriver& fake = Active();
    fake.Log(w32n55abi::kSend, adapter).value = length;
    if (fake.m_sendFailure != 0) {
        return fake.m_sendFailure;
    }
    if (fake.m_handles.count(adapter) == 0 || data == nullptr || length < 0) {
        return NDIS_STATUS_FAILURE;
    }
    fake.m_sent.emplace_back(data, data + length);
    if (fake.m_sendsStayPending) {
        if (overlapped != nullptr) {
            fake.m_pendingSends.emplace_back(adapter, overlapped->hEvent);
        }
        return NDIS_STATUS_SUCCESS;
    }
    if (count != nullptr) {
        *count = static_cast<std::uint32_t>(length);
    }
    if (overlapped != nullptr) {
        Signal(overlapped->hEvent);
    }
    return NDIS_STATUS_SUCCESS;
}

w32n55abi::Handle FakeDriver::OpenAdapter(const char* name) {
    FakeDriver& fake = Active();
    FakeCall& call = fake.Log(w32n55abi::kOpenAdapter, w32n55abi::kNoHandle);
    call.text = name != nullptr ? name : "";
    FakeAdapter* adapter = fake.FindAdapter(call.text);
    if (adapter == nullptr || adapter->openError != 0) {
        fake.m_lastError = adapter == nullptr ? kNoSuchAdapter : adapter->openError;
        return w32n55abi::kNoHandle;
    }
    const w32n55abi::Handle handle = fake.m_nextHandle++;
    fake.m_handles[handle].adapter = adapter;
    call.handle = handle;
    return handle;
}

// Closing forgets the handle's receives and queued frames, so the records
// may go once the call has returned.
void FakeDriver::CloseAdapter(w32n55abi::Handle adapter) {
    FakeDriver& fake = Active();
    fake.Log(w32n55abi::kCloseAdapter, adapter);
    if (fake.m_handles.erase(adapter) == 0) {
        fake.m_lastError = kBadHandle;
        return;
    }
    std::erase_if(fake.m_armed, [&](const Armed& a) { return a.handle == adapter; });
    std::erase_if(fake.m_pendingSends, [&](const auto& send) { return send.first == adapter; });
}

void FakeDriver::CompletePendingSends() {
    for (const auto& [handle, event] : m_pendingSends) {
        Signal(event);
    }
    m_pendingSends.clear();
}

std::uint8_t FakeDriver::TimestampResolution(w32n55abi::Handle adapter, std::int32_t high) {
    FakeDriver& fake = Active();
    fake.Log(w32n55abi::kTimestampResolution, adapter).value = high;
    return fake.m_handles.count(adapter) != 0 ? 1 : 0;
}

std::uint8_t FakeDriver::ReadTimestamp(w32n55abi::Handle adapter, std::uint8_t* record) {
    FakeDriver& fake = Active();
    fake.Log(w32n55abi::kReadTimestamp, adapter);
    if (fake.m_timestampsFail || record == nullptr || fake.m_handles.count(adapter) == 0) {
        return 0;
    }
    PutLittleEndian(record + w32n55abi::timestamp_record::kCounterOffset, fake.m_counter);
    PutLittleEndian(record + w32n55abi::timestamp_record::kFrequencyOffset, fake.m_frequency);
    return 1;
}

w32n55abi::Handle FakeDriver::OpenEnumeration() {
    FakeDriver& fake = Active();
    FakeCall& call = fake.Log(w32n55abi::kOpenEnumeration, w32n55abi::kNoHandle);
    if (fake.m_enumerationFails) {
        return w32n55abi::kNoHandle;
    }
    const w32n55abi::Handle handle = fake.m_nextHandle++;
    fake.m_enumerations[handle] = 0;
    call.handle = handle;
    return handle;
}

void FakeDriver::CloseEnumeration(w32n55abi::Handle enumeration) {
    FakeDriver& fake = Active();
    fake.Log(w32n55abi::kCloseEnumeration, enumeration);
    fake.m_enumerations.erase(enumeration);
}

w32n55abi::Handle FakeDriver::NextEntry(w32n55abi::Handle enumeration) {
    const auto found = m_enumerations.find(enumeration);
    if (found == m_enumerations.end()) {
        m_lastError = kBadHandle;
        return w32n55abi::kNoHandle;
    }
    if (found->second >= m_adapters.size()) {
        return w32n55abi::kNoHandle;
    }
    const w32n55abi::Handle entry = m_nextHandle++;
    m_entries[entry] = &m_adapters[found->second++];
    return entry;
}

w32n55abi::Handle FakeDriver::FirstAdapter(w32n55abi::Handle enumeration) {
    FakeDriver& fake = Active();
    fake.Log(w32n55abi::kFirstAdapter, enumeration);
    if (const auto found = fake.m_enumerations.find(enumeration);
        found != fake.m_enumerations.end()) {
        found->second = 0;
    }
    return fake.NextEntry(enumeration);
}

w32n55abi::Handle FakeDriver::NextAdapter(w32n55abi::Handle enumeration) {
    FakeDriver& fake = Active();
    fake.Log(w32n55abi::kNextAdapter, enumeration);
    return fake.NextEntry(enumeration);
}

void FakeDriver::ReleaseAdapter(w32n55abi::Handle entry) {
    FakeDriver& fake = Active();
    fake.Log(w32n55abi::kReleaseAdapter, entry);
    fake.m_entries.erase(entry);
}

std::uint32_t FakeDriver::CopyName(w32n55abi::Handle entry, bool friendly, char* buffer,
                                   std::uint32_t* length) {
    const auto found = m_entries.find(entry);
    if (found == m_entries.end() || buffer == nullptr || length == nullptr) {
        return kBadHandle;
    }
    const std::string& name = friendly ? found->second->friendlyName : found->second->ndisName;
    if (name.size() > *length) {
        *length = static_cast<std::uint32_t>(name.size());
        return kMoreData;
    }
    std::memcpy(buffer, name.c_str(), name.size() + 1);
    *length = static_cast<std::uint32_t>(name.size());
    return 0;
}

std::uint32_t FakeDriver::FriendlyName(w32n55abi::Handle entry, char* buffer,
                                       std::uint32_t* length) {
    FakeDriver& fake = Active();
    fake.Log(w32n55abi::kFriendlyName, entry);
    return fake.CopyName(entry, true, buffer, length);
}

std::uint32_t FakeDriver::NdisName(w32n55abi::Handle entry, char* buffer, std::uint32_t* length) {
    FakeDriver& fake = Active();
    fake.Log(w32n55abi::kNdisName, entry);
    return fake.CopyName(entry, false, buffer, length);
}

bool FakeDriver::CompleteOne() {
    const auto ready = std::find_if(m_armed.begin(), m_armed.end(), [&](const Armed& a) {
        const auto open = m_handles.find(a.handle);
        return open != m_handles.end() && !open->second.frames.empty();
    });
    if (ready == m_armed.end()) {
        return false;
    }
    const Armed receive = *ready;
    m_armed.erase(ready);
    OpenHandle& open = m_handles[receive.handle];
    auto [frame, stamp] = std::move(open.frames.front());
    open.frames.pop_front();

    namespace rr = w32n55abi::receive_record;
    const auto capacity = GetLittleEndian<std::uint32_t>(receive.record + rr::kCapacityOffset);
    const auto length = static_cast<std::uint16_t>(
        std::min<std::size_t>({frame.size(), capacity, rr::kDataCapacity}));
    PutLittleEndian(receive.record + rr::kPacketNumberOffset, ++open.packetNumber);
    PutLittleEndian(receive.record + rr::kTimestampOffset, stamp);
    PutLittleEndian(receive.record + rr::kLengthOffset, length);
    std::memcpy(receive.record + rr::kDataOffset, frame.data(), length);

    // The routine may arm receives again, so the list is not held across it.
    if (m_singleArgument) {
        if (receive.overlapped != nullptr) {
            Signal(receive.overlapped->hEvent);
        }
        reinterpret_cast<w32n55abi::SingleArgumentCompletion>(receive.routine)(receive.overlapped);
    } else {
        reinterpret_cast<w32n55abi::ThreeArgumentCompletion>(receive.routine)(0, length,
                                                                              receive.overlapped);
    }
    return true;
}

std::uint32_t FakeDriver::AlertableWait(int eventFd, std::int32_t timeoutMs) {
    FakeDriver& fake = Active();
    fake.Log(w32n55abi::kAlertableWait, eventFd).value = timeoutMs;
    bool completed = false;
    while (fake.CompleteOne()) {
        completed = true;
    }
    if (completed) {
        return WAIT_IO_COMPLETION;
    }
    if (IsReadable(eventFd)) {
        return WAIT_OBJECT_0;
    }
    if (fake.m_waitsEndAtOnce) {
        return WAIT_FAILED;
    }
    pollfd descriptor{eventFd, POLLIN, 0};
    const int ready = ::poll(&descriptor, eventFd >= 0 ? 1 : 0, timeoutMs);
    return ready > 0 ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
}

} // namespace qndis::test
