#include "CaptureFiles.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <pcap/pcap.h>
#include <stdexcept>

namespace w32n55::test {
namespace {

void Put32(std::vector<std::uint8_t>& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    }
}

void Put16(std::vector<std::uint8_t>& out, std::uint16_t value) {
    out.push_back(static_cast<std::uint8_t>(value));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

void Pad(std::vector<std::uint8_t>& out) {
    while (out.size() % 4 != 0) {
        out.push_back(0);
    }
}

// A block: type, total length, body, total length again.
void PutBlock(std::vector<std::uint8_t>& out, std::uint32_t type,
              const std::vector<std::uint8_t>& body) {
    const auto total = static_cast<std::uint32_t>(12 + body.size());
    Put32(out, type);
    Put32(out, total);
    out.insert(out.end(), body.begin(), body.end());
    Put32(out, total);
}

} // namespace

TemporaryFile::TemporaryFile(const std::string& name) {
    std::string pattern = (std::filesystem::temp_directory_path() / "w32n55-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot make a temporary directory");
    }
    directory_ = pattern;
    path_ = directory_ + "/" + name;
}

TemporaryFile::~TemporaryFile() {
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

void WritePcap(const std::string& path, const std::vector<RecordedFrame>& frames, int linkType) {
    pcap_t* dead =
        pcap_open_dead_with_tstamp_precision(linkType, 65535, PCAP_TSTAMP_PRECISION_NANO);
    pcap_dumper_t* dumper = pcap_dump_open(dead, path.c_str());
    if (dumper == nullptr) {
        pcap_close(dead);
        throw std::runtime_error("cannot write " + path);
    }
    for (const RecordedFrame& frame : frames) {
        pcap_pkthdr header{};
        header.ts.tv_sec = static_cast<time_t>(frame.timestampNs / 1000000000);
        header.ts.tv_usec = static_cast<suseconds_t>(frame.timestampNs % 1000000000);
        header.caplen = static_cast<bpf_u_int32>(frame.bytes.size());
        header.len = frame.wireLength;
        pcap_dump(reinterpret_cast<u_char*>(dumper), &header, frame.bytes.data());
    }
    pcap_dump_close(dumper);
    pcap_close(dead);
}

void WritePcapng(const std::string& path, const std::vector<RecordedFrame>& frames) {
    std::vector<std::uint8_t> file;
    std::vector<std::uint8_t> section;
    Put32(section, 0x1A2B3C4D); // byte-order magic
    Put16(section, 1);
    Put16(section, 0);
    Put32(section, 0xFFFFFFFF); // section length unknown
    Put32(section, 0xFFFFFFFF);
    PutBlock(file, 0x0A0D0D0A, section);

    std::vector<std::uint8_t> interface;
    Put16(interface, 1); // Ethernet
    Put16(interface, 0);
    Put32(interface, 65535);
    Put16(interface, 9); // if_tsresol: 10^-9
    Put16(interface, 1);
    interface.push_back(9);
    Pad(interface);
    Put32(interface, 0); // end of options
    PutBlock(file, 0x00000001, interface);

    for (const RecordedFrame& frame : frames) {
        std::vector<std::uint8_t> packet;
        Put32(packet, 0);
        Put32(packet, static_cast<std::uint32_t>(frame.timestampNs >> 32));
        Put32(packet, static_cast<std::uint32_t>(frame.timestampNs));
        Put32(packet, static_cast<std::uint32_t>(frame.bytes.size()));
        Put32(packet, frame.wireLength);
        packet.insert(packet.end(), frame.bytes.begin(), frame.bytes.end());
        Pad(packet);
        PutBlock(file, 0x00000006, packet);
    }
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr || std::fwrite(file.data(), 1, file.size(), out) != file.size()) {
        throw std::runtime_error("cannot write " + path);
    }
    std::fclose(out);
}

std::vector<RecordedFrame> SampleFrames(std::size_t count, std::size_t maxLength) {
    std::vector<RecordedFrame> frames;
    constexpr std::uint64_t kStart = 1700000000123456789ULL;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t length = 14 + (i * 97) % (maxLength - 13);
        RecordedFrame frame{std::vector<std::uint8_t>(length), kStart + i * 1001, 0};
        for (std::size_t b = 0; b < length; ++b) {
            frame.bytes[b] = static_cast<std::uint8_t>(i * 31 + b);
        }
        frame.wireLength = static_cast<std::uint32_t>(length);
        frames.push_back(std::move(frame));
    }
    return frames;
}

} // namespace w32n55::test
