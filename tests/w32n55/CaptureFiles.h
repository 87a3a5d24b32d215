#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace w32n55::test {

struct RecordedFrame {
    std::vector<std::uint8_t> bytes;
    std::uint64_t timestampNs;
    // Bytes on the wire; larger than bytes.size() for a cut frame.
    std::uint32_t wireLength;
};

// A file in a private temporary directory, removed with the object.
class TemporaryFile {
public:
    explicit TemporaryFile(const std::string& name);
    ~TemporaryFile();
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    const std::string& Path() const { return path_; }

private:
    std::string directory_;
    std::string path_;
};

// Classic pcap through libpcap's own writer, nanosecond precision.
void WritePcap(const std::string& path, const std::vector<RecordedFrame>& frames, int linkType = 1);
// pcapng with one interface in nanosecond resolution and enhanced packet
// blocks.
void WritePcapng(const std::string& path, const std::vector<RecordedFrame>& frames);

// Frames with distinct contents and sizes from 14 bytes up to `maxLength`.
std::vector<RecordedFrame> SampleFrames(std::size_t count, std::size_t maxLength = 1514);

} // namespace w32n55::test
