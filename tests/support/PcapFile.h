#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qndis::test {

// One frame of a capture file.
struct PcapRecord {
    std::vector<unsigned char> bytes;
    std::uint64_t nanoseconds = 0;
    // Before capture cut the frame; never less than the bytes when written.
    std::uint32_t originalLength = 0;

    bool operator==(const PcapRecord&) const = default;
};

void WritePcap(const std::string& path, const std::vector<PcapRecord>& records);
// Every frame of a pcap or pcapng file, read with libpcap at nanosecond
// precision; fails the test when libpcap cannot read it, or when it is not
// of Ethernet frames unless `linkType` is given to receive its link type.
std::vector<PcapRecord> ReadPcap(const std::string& path, int* linkType = nullptr);

} // namespace qndis::test
