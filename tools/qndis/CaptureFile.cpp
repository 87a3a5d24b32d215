#include "tools/qndis/CaptureFile.h"

#include "qndislib/frame/BufferFrame.h"
#include "tools/qndis/ToolError.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <pcap/pcap.h>
#include <sys/stat.h>

namespace qndis::tool {

namespace {

void CheckPath(const std::string& path) {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        throw ToolError("cannot read '" + path + "': " + std::strerror(errno) + ".");
    }
    if (S_ISDIR(status.st_mode)) {
        throw ToolError("'" + path + "' is a directory, not a capture file.");
    }
}

pcap* Open(const std::string& path, const std::string& name) {
    std::array<char, PCAP_ERRBUF_SIZE> error{};
    pcap* handle = nullptr;
    if (path == "-") {
        handle = pcap_fopen_offline_with_tstamp_precision(stdin, PCAP_TSTAMP_PRECISION_NANO,
                                                          error.data());
    } else {
        CheckPath(path);
        handle = pcap_open_offline_with_tstamp_precision(path.c_str(), PCAP_TSTAMP_PRECISION_NANO,
                                                         error.data());
    }
    if (handle == nullptr) {
        throw ToolError(name + " is not a capture file libpcap can read (" + error.data() + ").");
    }
    return handle;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '.' || text.back() == '\n')) {
        text.pop_back();
    }
    return text;
}

} // namespace

void CaptureFile::PcapClose::operator()(pcap* handle) const {
    pcap_close(handle);
}

CaptureFile::CaptureFile(const std::string& path)
    : m_name(path == "-" ? "the standard input" : "'" + path + "'"), m_handle(Open(path, m_name)) {
    const int linkType = pcap_datalink(m_handle.get());
    if (linkType != DLT_EN10MB) {
        throw ToolError(m_name + " holds frames of link type " + std::to_string(linkType) +
                        ", but only Ethernet frames can be analysed.");
    }
    m_offset = Position();
}

CaptureFile::~CaptureFile() = default;

std::uint64_t CaptureFile::Position() const {
    const long position = std::ftell(pcap_file(m_handle.get()));
    return position < 0 ? 0 : static_cast<std::uint64_t>(position);
}

std::optional<FileRecord> CaptureFile::Next() {
    if (!m_damage.empty()) {
        return std::nullopt;
    }
    pcap_pkthdr* header = nullptr;
    const u_char* data = nullptr;
    const int result = pcap_next_ex(m_handle.get(), &header, &data);
    if (result == 1 && header->caplen <= CBufferFrame::MaxLength) {
        ++m_frames;
        m_offset = Position();
        // With nanosecond precision libpcap puts nanoseconds in the field
        // named for microseconds.
        return FileRecord{{data, header->caplen},
                          header->len,
                          static_cast<std::uint64_t>(header->ts.tv_sec),
                          static_cast<std::uint32_t>(header->ts.tv_usec)};
    }
    if (result == PCAP_ERROR_BREAK) {
        return std::nullopt;
    }
    // libpcap bounds lengths by the link type; a frame longer than any
    // reader takes is refused here too, should that bound ever grow.
    const std::string reason =
        result == 1 ? "longer than " + std::to_string(CBufferFrame::MaxLength) + " bytes"
                    : Trimmed(pcap_geterr(m_handle.get()));
    const std::string where =
        m_offset != 0 ? " at byte offset " + std::to_string(m_offset) : std::string();
    m_damage = m_name + " is damaged: frame " + std::to_string(m_frames + 1) + where +
               " cannot be read (" + reason + ").";
    return std::nullopt;
}

} // namespace qndis::tool
