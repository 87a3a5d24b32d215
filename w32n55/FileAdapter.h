#pragma once

#include "w32n55/Adapter.h"

#include <memory>
#include <pcap/pcap.h>
#include <string>

namespace w32n55 {

// A pcap or pcapng file of Ethernet frames, played back as an adapter: its
// frames reach armed receives in file order with their recorded time stamps.
class FileAdapter final : public Adapter {
public:
    // Empty with `error` set to an errno code when the file cannot be read
    // or holds frames of another medium (EMEDIUMTYPE).
    static std::unique_ptr<FileAdapter> Open(const std::string& path, int& error);

    // Frames are read as receives wait, never waited for.
    int PollDescriptor() const override { return -1; }
    int Dispatch(int limit, FrameSink& sink) override;
    int Send(std::span<const std::uint8_t> frame) override;
    RequestOutcome Query(std::uint32_t oid, InformationBuffer& buffer) override;
    RequestOutcome Set(std::uint32_t oid, InformationBuffer& buffer) override;
    RequestOutcome PrivateQuery(std::uint32_t oid, InformationBuffer& buffer) override;

private:
    struct PcapCloser {
        void operator()(pcap_t* p) const { pcap_close(p); }
    };

    explicit FileAdapter(std::unique_ptr<pcap_t, PcapCloser> capture);

    bool HasFramesToPlay() const;

    std::unique_ptr<pcap_t, PcapCloser> capture_;
    std::uint32_t packetFilter_ = 0;
    bool finished_ = false;
};

} // namespace w32n55
