#include "w32n55/ScriptedAdapter.h"

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <unistd.h>

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

void Signal(int eventFd) {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(eventFd, &one, sizeof one);
}

} // namespace

AdapterScript& AdapterScript::AnswerULong(std::uint32_t oid, std::uint32_t value) {
    std::vector<std::uint8_t> bytes(sizeof value);
    InformationBuffer(bytes.data(), sizeof value).PutULong(value);
    answers[oid] = std::move(bytes);
    return *this;
}

AdapterScript& AdapterScript::AnswerULongs(std::uint32_t oid,
                                           std::span<const std::uint32_t> values) {
    std::vector<std::uint8_t> bytes(values.size_bytes());
    InformationBuffer(bytes.data(), static_cast<std::uint32_t>(bytes.size())).PutULongs(values);
    answers[oid] = std::move(bytes);
    return *this;
}

AdapterScript& AdapterScript::AnswerCounter(std::uint32_t oid, std::uint64_t value) {
    std::vector<std::uint8_t> bytes(sizeof value);
    InformationBuffer(bytes.data(), sizeof value).PutCounter(value);
    answers[oid] = std::move(bytes);
    return *this;
}

AdapterScript& AdapterScript::AnswerBytes(std::uint32_t oid, std::span<const std::uint8_t> bytes) {
    answers[oid].assign(bytes.begin(), bytes.end());
    return *this;
}

AdapterScript& AdapterScript::AnswerText(std::uint32_t oid, const std::string& text) {
    answers[oid].assign(text.begin(), text.end());
    answers[oid].push_back(0);
    return *this;
}

AdapterScript& AdapterScript::AnswerPrivateULong(std::uint32_t oid, std::uint32_t value) {
    privateAnswers[oid] = AdapterScript().AnswerULong(oid, value).answers[oid];
    return *this;
}

AdapterScript& AdapterScript::Refuse(std::uint32_t oid, std::uint32_t status) {
    refusals[oid] = status;
    return *this;
}

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
    }
    std::erase(Entries(), entry);
}

void ScriptedAdapter::FinishSends(const std::string& ndisName) {
    const std::lock_guard lock(Lock());
    const auto entry = Find(ndisName);
    for (ScriptedAdapter* adapter : entry ? entry->open : std::vector<ScriptedAdapter*>{}) {
        std::for_each(adapter->unfinishedSends_.begin(), adapter->unfinishedSends_.end(), Signal);
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

void ScriptedAdapter::SignalWhenSent(int eventFd) {
    const std::lock_guard lock(Lock());
    if (eventFd >= 0) {
        unfinishedSends_.push_back(eventFd);
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

bool ScriptedAdapter::IsRemoved() const {
    const std::lock_guard lock(Lock());
    return removed_;
}

} // namespace w32n55
