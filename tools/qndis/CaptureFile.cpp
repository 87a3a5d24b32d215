#include "tools/qndis/CaptureFile.h"

#include "qndislib/frame/BufferFrame.h"
#include "qndislib/media/LinkTypes.h"
#include "tools/qndis/PcapBlockReader.h"
#include "tools/qndis/ToolError.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <pcap/pcap.h>
#include <sys/stat.h>

namespace qndis::tool {

namespace {

constexpr std::uint32_t LinkTypeRaw = 101;

// Reads go to the system in blocks this large rather than stdio's 4 KiB.
constexpr std::size_t ReadBufferSize = std::size_t{1} << 20;

std::FILE* OpenStream(const std::string& path) {
    if (path == "-") {
        return stdin;
    }
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        throw ToolError("'" + path + "' is a directory, not a capture file.");
    }
    std::FILE* stream = std::fopen(path.c_str(), "rb");
    if (stream == nullptr) {
        throw ToolError("cannot read '" + path + "': " + std::strerror(errno) + ".");
    }
    return stream;
}

std::string Trimmed(std::string text) {
    while (!text.empty() && (text.back() == '.' || text.back() == '\n')) {
        text.pop_back();
    }
    return text;
}

} // namespace

pcap* CaptureFile::Open(const std::string& path) {
    std::FILE* stream = OpenStream(path);
    // Standard input keeps its own buffer: it outlives this object.
    if (stream != stdin) {
        m_buffer = std::make_unique<char[]>(ReadBufferSize);
        std::setvbuf(stream, m_buffer.get(), _IOFBF, ReadBufferSize);
    }
    std::array<char, PCAP_ERRBUF_SIZE> error{};
    // Once open, libpcap owns the stream and closes it.
    pcap* handle =
        pcap_fopen_offline_with_tstamp_precision(stream, PCAP_TSTAMP_PRECISION_NANO, error.data());
    if (handle == nullptr) {
        if (stream != stdin) {
            std::fclose(stream);
        }
        throw ToolError(m_name + " is not a capture file libpcap can read (" + error.data() + ").");
    }
    return handle;
}

void CaptureFile::PcapClose::operator()(pcap* handle) const {
    pcap_close(handle);
}

CaptureFile::CaptureFile(const std::string& path)
    : m_name(path == "-" ? "the standard input" : "'" + path + "'"), m_handle(Open(path)) {
    const int linkType = pcap_datalink(m_handle.get());
    // libpcap hands the raw-IP link type out under the system's own number.
    m_linkType = linkType == DLT_RAW ? LinkTypeRaw : static_cast<std::uint32_t>(linkType);
    m_medium = MediumOfLinkType(m_linkType);
    if (m_medium == nullptr) {
        const char* name = pcap_datalink_val_to_name(linkType);
        throw ToolError(m_name + " holds frames of link type " + std::to_string(m_linkType) +
                        (name != nullptr ? std::string(" (") + name + ")" : std::string()) +
                        ", which qndis cannot analyse.");
    }
    // Standard I/O learns a stream's position only from a seek, and without
    // one asks the system on every ftell: a seek to where the stream stands
    // lets it count the position from then on. A pipe has none to tell.
    std::FILE* stream = pcap_file(m_handle.get());
    m_seekable = std::fseek(stream, 0, SEEK_CUR) == 0;
    m_offset = Position();
    if (m_seekable && stream != stdin) {
        m_blocks = PcapBlockReader::Open(fileno(stream),
                                         static_cast<std::uint32_t>(pcap_snapshot(m_handle.get())));
    }
}

CaptureFile::~CaptureFile() = default;

std::uint64_t CaptureFile::Position() const {
    const long position = m_seekable ? std::ftell(pcap_file(m_handle.get())) : -1;
    return position < 0 ? 0 : static_cast<std::uint64_t>(position);
}

// Where the block reader stops, libpcap's stream goes on from the same
// record: it reads the end of the file, or says what is wrong there.
void CaptureFile::LeaveBlocks() {
    m_blocks.reset();
    if (std::fseek(pcap_file(m_handle.get()), static_cast<long>(m_offset), SEEK_SET) != 0) {
        m_damage = m_name + " cannot be read at byte offset " + std::to_string(m_offset) + " (" +
                   std::strerror(errno) + ").";
    }
}

// While the block reader reads, nothing is damaged yet.
std::optional<FileRecord> CaptureFile::Next() {
    if (m_blocks) {
        if (auto record = m_blocks->Next()) {
            ++m_frames;
            m_offset = m_blocks->Offset();
            return record;
        }
        LeaveBlocks();
    }
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
