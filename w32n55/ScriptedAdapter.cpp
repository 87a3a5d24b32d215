#include "w32n55/ScriptedAdapter.h"

#include "qndislib/w32n55abi/EventSignal.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#if defined(_WIN32)
#include "w32n55/ThreadWakeup.h"
#endif

namespace w32n55 {

struct ScriptedAdapter::Entry {
    std::string ndisName;
    AdapterScript script;
    std::vector<ScriptedAdapter*> open;
    std::vector<std::vector<std::uint8_t>> sent;
};

namespace {

std::mutex& Lock() {
    static std::mutex mutex;
    return mutex;
}

} // namespace

std::vector<std::shared_ptr<ScriptedAdapter::Entry>>& ScriptedAdapter::Entries() {
    static std::vector<std::shared_ptr<Entry>> entries;
    return entries;
}

std::shared_ptr<ScriptedAdapter::Entry> ScriptedAdapter::Find(const std::string& ndisName) {
    auto& entries = Entries();
    const auto found = std::find_if(entries.begin(), entries.end(),
                                    [&](const auto& entry) { return entry->ndisName == ndisName; });
    return found == entries.end() ? nullptr : *found;
}

std::optional<std::uint32_t> ScriptedAdapter::Refusal(std::uint32_t oid) const {
    const auto& refusals = entry_->script.refusals;
    const auto found = refusals.find(oid);
    return found == refusals.end() ? std::nullopt : std::optional(found->second);
}

ScriptedAdapter::ScriptedAdapter(std::shared_ptr<Entry> entry) : entry_(std::move(entry)) {}

ScriptedAdapter::~ScriptedAdapter() {
    const std::lock_guard lock(Lock());
    std::erase(entry_->open, this);
}

bool& ScriptedAdapter::Scripting() {
    static bool scripting = false;
    return scripting;
}

void ScriptedAdapter::Begin() {
    const std::lock_guard lock(Lock());
    Scripting() = true;
}

void ScriptedAdapter::End() {
    const std::lock_guard lock(Lock());
    Scripting() = false;
    Entries().clear();
}

AdapterScript& ScriptedAdapter::Register(const std::string& ndisName, AdapterScript script) {
    const std::lock_guard lock(Lock());
    Scripting() = true;
    auto entry = Find(ndisName);
    if (!entry) {
        entry = Entries().emplace_back(std::make_shared<Entry>(Entry{ndisName, {}, {}, {}}));
    }
    entry->script = std::move(script);
    return entry->script;
}

AdapterScript* ScriptedAdapter::ScriptOf(const std::string& ndisName) {
    const std::lock_guard lock(Lock());
    const auto entry = Find(ndisName);
    return entry ? &entry->script : nullptr;
}

std::optional<std::vector<AdapterNames>> ScriptedAdapter::Listed() {
    const std::lock_guard lock(Lock());
    if (!Scripting()) {
        return std::nullopt;
    }
    std::vector<AdapterNames> names;
    for (const auto& entry : Entries()) {
        names.push_back({entry->ndisName, entry->script.friendlyName});
    }
    return names;
}

std::unique_ptr<ScriptedAdapter> ScriptedAdapter::Open(const std::string& ndisName, int& error) {
    const std::lock_guard lock(Lock());
    const auto entry = Find(ndisName);
    error = entry ? entry->script.openError : ENODEV;
    if (error != 0) {
        return nullptr;
    }
    std::unique_ptr<ScriptedAdapter> adapter(new ScriptedAdapter(entry));
    entry->open.push_back(adapter.get());
    return adapter;
}

int ScriptedAdapter::Inject(const std::string& ndisName, std::span<const std::uint8_t> frame,
                            std::uint64_t timestampNs) {
    const std::lock_guard lock(Lock());
    const auto entry = Find(ndisName);
    int queued = 0;
    for (ScriptedAdapter* adapter : entry ? entry->open : std::vector<ScriptedAdapter*>{}) {
        if (adapter->packetFilter_.value_or(0) != 0) {
            adapter->frames_.push_back({{frame.begin(), frame.end()}, timestampNs});
            adapter->WakeWaiters();
            ++queued;
        }
    }
    return queued;
}

void ScriptedAdapter::Remove(const std::string& ndisName) {
    const std::lock_guard lock(Lock());
    const auto entry = Find(ndisName);
    if (!entry) {
        return;
    }
    for (ScriptedAdapter* adapter : entry->open) {
        adapter->removed_ = true;
        adapter->WakeWaiters();
    }
    std::erase(Entries(), entry);
}

void ScriptedAdapter::FinishSends(const std::string& ndisName) {
    const std::lock_guard lock(Lock());
    const auto entry = Find(ndisName);
    for (ScriptedAdapter* adapter : entry ? entry->open : std::vector<ScriptedAdapter*>{}) {
        for (const HANDLE event : adapter->unfinishedSends_) {
            w32n55abi::SignalEvent(event);
        }
        adapter->unfinishedSends_.clear();
    }
}

std::size_t ScriptedAdapter::OpenInstances(const std::string& ndisName) {
    const std::lock_guard lock(Lock());
    const auto entry = Find(ndisName);
    return entry ? entry->open.size() : 0;
}

std::optional<std::uint32_t> ScriptedAdapter::PacketFilter(const std::string& ndisName) {
    const std::lock_guard lock(Lock());
    const auto entry = Find(ndisName);
    if (!entry || entry->open.empty()) {
        return std::nullopt;
    }
    return entry->open.back()->packetFilter_;
}

std::vector<std::vector<std::uint8_t>> ScriptedAdapter::SentFrames(const std::string& ndisName) {
    const std::lock_guard lock(Lock());
    const auto entry = Find(ndisName);
    return entry ? entry->sent : std::vector<std::vector<std::uint8_t>>{};
}

int ScriptedAdapter::Dispatch(int limit, FrameSink& sink) {
    std::vector<Queued> ready;
    {
        const std::lock_guard lock(Lock());
        if (removed_) {
            return -1;
        }
        const auto count = std::min(frames_.size(), static_cast<std::size_t>(std::max(limit, 0)));
        ready.assign(std::make_move_iterator(frames_.begin()),
                     std::make_move_iterator(frames_.begin() + static_cast<std::ptrdiff_t>(count)));
        frames_.erase(frames_.begin(), frames_.begin() + static_cast<std::ptrdiff_t>(count));
    }
    for (const Queued& frame : ready) {
        const auto length = static_cast<std::uint32_t>(frame.bytes.size());
        sink.Deliver({frame.bytes.data(), length, length, frame.timestampNs});
    }
    return static_cast<int>(ready.size());
}

int ScriptedAdapter::Send(std::span<const std::uint8_t> frame) {
    const std::lock_guard lock(Lock());
    const AdapterScript& script = entry_->script;
    if (script.sendError != 0) {
        return script.sendError;
    }
    entry_->sent.emplace_back(frame.begin(), frame.end());
    return script.sendsPending ? EINPROGRESS : 0;
}

void ScriptedAdapter::SignalWhenSent(HANDLE event) {
    const std::lock_guard lock(Lock());
    if (event != nullptr) {
        unfinishedSends_.push_back(event);
    }
}

RequestOutcome ScriptedAdapter::Query(std::uint32_t oid, InformationBuffer& buffer) {
    const std::lock_guard lock(Lock());
    const AdapterScript& script = entry_->script;
    if (const auto refused = Refusal(oid)) {
        return RequestOutcome::Refused(*refused);
    }
    if (oid == OID_GEN_CURRENT_PACKET_FILTER && packetFilter_) {
        return buffer.PutULong(*packetFilter_);
    }
    const auto answer = script.answers.find(oid);
    return answer == script.answers.end() ? RequestOutcome::Refused(NDIS_STATUS_NOT_SUPPORTED)
                                          : buffer.PutBytes(answer->second);
}

RequestOutcome ScriptedAdapter::Set(std::uint32_t oid, InformationBuffer& buffer) {
    const std::lock_guard lock(Lock());
    AdapterScript& script = entry_->script;
    if (const auto refused = Refusal(oid)) {
        return RequestOutcome::Refused(*refused);
    }
    const auto value = buffer.GetULong();
    if (!value) {
        return {NDIS_STATUS_INVALID_LENGTH, 0, 4};
    }
    if (oid == OID_GEN_CURRENT_PACKET_FILTER) {
        packetFilter_ = *value;
        if (*value == 0) {
            frames_.clear();
        }
    } else {
        script.AnswerULong(oid, *value);
    }
    return {NDIS_STATUS_SUCCESS, 4, 0};
}

RequestOutcome ScriptedAdapter::PrivateQuery(std::uint32_t oid, InformationBuffer& buffer) {
    const std::lock_guard lock(Lock());
    const AdapterScript& script = entry_->script;
    if (const auto refused = Refusal(oid)) {
        return RequestOutcome::Refused(*refused);
    }
    const auto answer = script.privateAnswers.find(oid);
    return answer == script.privateAnswers.end()
               ? RequestOutcome::Refused(NDIS_STATUS_NOT_SUPPORTED)
               : buffer.PutBytes(answer->second);
}

#if defined(_WIN32)

void ScriptedAdapter::WakeWhenReady(const std::shared_ptr<ThreadWakeup>& thread) {
    const std::lock_guard lock(Lock());
    if (!frames_.empty() || removed_) {
        thread->Wake();
        return;
    }
    const bool known = std::any_of(waiters_.begin(), waiters_.end(), [&](const auto& waiter) {
        return !waiter.owner_before(thread) && !thread.owner_before(waiter);
    });
    if (!known) {
        waiters_.push_back(thread);
    }
}

// Each waiter is woken once; the receives it still has pending after the
// wake-up register it again.
void ScriptedAdapter::WakeWaiters() {
    for (const auto& waiter : waiters_) {
        if (const auto thread = waiter.lock()) {
            thread->Wake();
        }
    }
    waiters_.clear();
}

#else

// Threads find their frames in their next alertable wait.
void ScriptedAdapter::WakeWaiters() {}

#endif

bool ScriptedAdapter::IsRemoved() const {
    const std::lock_guard lock(Lock());
    return removed_;
}

} // namespace w32n55
