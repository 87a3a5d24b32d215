#include "tests/support/PcapFile.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <pcap/pcap.h>

namespace qndis::test {

void WritePcap(const std::string& path, const std::vector<PcapRecord>& records) {
    pcap_t* dead =
        pcap_open_dead_with_tstamp_precision(DLT_EN10MB, 262144, PCAP_TSTAMP_PRECISION_NANO);
    ASSERT_NE(dead, nullptr);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    ASSERT_NE(dumper, nullptr) << pcap_geterr(dead);
    for (const PcapRecord& record : records) {
        pcap_pkthdr header{};
        header.ts.tv_sec = static_cast<time_t>(record.nanoseconds / 1'000'000'000);
        header.ts.tv_usec = static_cast<suseconds_t>(record.nanoseconds % 1'000'000'000);
        header.caplen = static_cast<bpf_u_int32>(record.bytes.size());
        header.len = std::max(header.caplen, record.originalLength);
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, record.bytes.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

std::vector<PcapRecord> ReadPcap(const std::string& path, int* linkType) {
    std::vector<PcapRecord> records;
    char error[PCAP_ERRBUF_SIZE] = {};
    pcap_t* file =
        pcap_open_offline_with_tstamp_precision(path.c_str(), PCAP_TSTAMP_PRECISION_NANO, error);
    EXPECT_NE(file, nullptr) << path << ": " << error;
    if (file == nullptr) {
        return records;
    }
    if (linkType != nullptr) {
        *linkType = pcap_datalink(file);
    } else {
        EXPECT_EQ(pcap_datalink(file), DLT_EN10MB);
    }
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    while (pcap_next_ex(file, &header, &data) == 1) {
        records.push_back({std::vector<unsigned char>(data, data + header->caplen),
                           static_cast<std::uint64_t>(header->ts.tv_sec) * 1'000'000'000 +
                               static_cast<std::uint64_t>(header->ts.tv_usec),
                           header->len});
    }
    pcap_close(file);
    return records;
}

} // namespace qndis::test
