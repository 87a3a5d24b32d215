#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qndis::test {

// What one run of the qndis program left behind.
struct QndisResult {
    int status = -1; // exit status; -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs the built qndis with `arguments`; `prefix` is put in front of the
// program (for example a command that changes its rights).
QndisResult RunQndis(const std::vector<std::string>& arguments,
                     const std::vector<std::string>& prefix = {});

// Runs any program and returns the same record.
QndisResult RunProgram(const std::vector<std::string>& command);

bool ProgramExists(const std::string& name);

// A directory of the test's own, removed with the object.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    std::string Path(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

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
