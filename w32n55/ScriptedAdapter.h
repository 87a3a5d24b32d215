#pragma once

#include "w32n55/Adapter.h"
#include "w32n55/AdapterEnumeration.h"
#include "w32n55/AdapterScript.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace w32n55 {

// An adapter that plays a script instead of a device, so that a caller of
// the driver-access library runs against the real ordinal table without a
// network. Scripts are registered by NDIS name; from Begin or the first
// registration until End, opening and enumerating see the scripted adapters
// only (their friendly names included), never the machine's interfaces;
// capture files still open by their prefix. Frames injected by name reach
// every open instance whose packet filter is nonzero, at the next wait of
// the threads that armed receives on it (on Windows those threads are woken
// for it); sends are refused, accepted, or left unfinished until finished
// by name; removing an adapter ends its armed receives with "adapter
// removed" and takes it off the list. The static calls may come from any
// thread.
class ScriptedAdapter final : public Adapter {
public:
    ~ScriptedAdapter() override;

    static void Begin();
    // Forgets every script; instances still open keep theirs.
    static void End();
    // Registering a name again replaces its script for instances already
    // open too. The script stays changeable through the reference until End
    // while no other thread uses the adapter.
    static AdapterScript& Register(const std::string& ndisName, AdapterScript script);
    // The script registered under the name, changeable like Register's;
    // null for none.
    static AdapterScript* ScriptOf(const std::string& ndisName);
    // Empty outside Begin and End: the machine's interfaces apply.
    static std::optional<std::vector<AdapterNames>> Listed();
    // Empty with `error` set to the script's open error, or ENODEV for a
    // name without a script.
    static std::unique_ptr<ScriptedAdapter> Open(const std::string& ndisName, int& error);

    // The number of open instances the frame was queued on.
    static int Inject(const std::string& ndisName, std::span<const std::uint8_t> frame,
                      std::uint64_t timestampNs);
    static void Remove(const std::string& ndisName);
    // Signals the events of the sends left unfinished on open instances.
    static void FinishSends(const std::string& ndisName);
    static std::size_t OpenInstances(const std::string& ndisName);
    // Of the instance opened last; none before the first set.
    static std::optional<std::uint32_t> PacketFilter(const std::string& ndisName);
    static std::vector<std::vector<std::uint8_t>> SentFrames(const std::string& ndisName);

    int PollDescriptor() const override { return -1; }
    int Dispatch(int limit, FrameSink& sink) override;
    int Send(std::span<const std::uint8_t> frame) override;
    void SignalWhenSent(HANDLE event) override;
    RequestOutcome Query(std::uint32_t oid, InformationBuffer& buffer) override;
    RequestOutcome Set(std::uint32_t oid, InformationBuffer& buffer) override;
    RequestOutcome PrivateQuery(std::uint32_t oid, InformationBuffer& buffer) override;
    bool IsRemoved() const override;
#if defined(_WIN32)
    void WakeWhenReady(const std::shared_ptr<ThreadWakeup>& thread) override;
#endif

private:
    struct Entry;
    struct Queued {
        std::vector<std::uint8_t> bytes;
        std::uint64_t timestampNs;
    };

    explicit ScriptedAdapter(std::shared_ptr<Entry> entry);

    // Callers hold the registry's lock.
    static bool& Scripting();
    static std::vector<std::shared_ptr<Entry>>& Entries();
    static std::shared_ptr<Entry> Find(const std::string& ndisName);
    std::optional<std::uint32_t> Refusal(std::uint32_t oid) const;
    // Callers hold the registry's lock.
    void WakeWaiters();

    std::shared_ptr<Entry> entry_;
    std::optional<std::uint32_t> packetFilter_;
    std::vector<Queued> frames_;
    std::vector<HANDLE> unfinishedSends_;
    bool removed_ = false;
#if defined(_WIN32)
    std::vector<std::weak_ptr<ThreadWakeup>> waiters_;
#endif
};

} // namespace w32n55
