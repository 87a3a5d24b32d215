#include "tools/qndis/FrameLine.h"

#include "qndislib/addr/IPProtocolNames.h"
#include "qndislib/qndislib.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace qndis::tool {

namespace {

constexpr std::uint64_t NanosecondsPerSecond = 1'000'000'000;
constexpr unsigned MinimumIPv4Header = 20;

constexpr std::array<unsigned char, 6> IPv4Protocol{0, 0, 0, 0, 0x08, 0x00};

const char* IPProtocolName(unsigned protocol) {
    for (const NamedIPProtocol& entry : IPProtocolNames) {
        if (entry.number == protocol) {
            return entry.name;
        }
    }
    return nullptr;
}

unsigned ReadBigEndian16(const unsigned char* bytes) {
    return static_cast<unsigned>(bytes[0]) << 8 | bytes[1];
}

} // namespace

std::uint64_t StampToNanoseconds(std::uint64_t stamp, std::uint64_t frequency) {
    if (frequency == 0 || frequency == NanosecondsPerSecond) {
        return stamp;
    }
    // Whole seconds first, so the product cannot overflow for any counter
    // frequency up to 18 GHz.
    const std::uint64_t seconds = stamp / frequency;
    const std::uint64_t rest = stamp % frequency;
    return seconds * NanosecondsPerSecond + rest * NanosecondsPerSecond / frequency;
}

FrameTypeNames::FrameTypeNames(CMediaInfo& medium) {
    std::int32_t id = 0;
    for (const char* name = medium.GetFirstFrameType(id); name != nullptr;
         name = medium.GetNextFrameType(id)) {
        if (id >= 0 && id <= MaxId) {
            m_names[static_cast<std::size_t>(id)] = name;
            m_count = std::max(m_count, static_cast<int>(id));
        }
    }
}

const char* FrameTypeNames::Name(int id) const {
    if (id < 0 || id > MaxId || m_names[static_cast<std::size_t>(id)].empty()) {
        return "Unknown";
    }
    return m_names[static_cast<std::size_t>(id)].c_str();
}

void FrameLine::Append(const char* format, ...) {
    if (m_used >= m_line.size()) {
        return;
    }
    va_list arguments;
    va_start(arguments, format);
    const int written =
        std::vsnprintf(m_line.data() + m_used, m_line.size() - m_used, format, arguments);
    va_end(arguments);
    if (written > 0) {
        m_used = std::min(m_line.size() - 1, m_used + static_cast<std::size_t>(written));
    }
}

// localtime_r consults the time zone each call; frames come many per
// second, so the clock text is kept for the current second.
void FrameLine::AppendTime(std::uint64_t nanoseconds) {
    const auto second = static_cast<std::int64_t>(nanoseconds / NanosecondsPerSecond);
    if (second != m_cachedSecond) {
        const std::time_t seconds = static_cast<std::time_t>(second);
        std::tm local{};
        localtime_r(&seconds, &local);
        std::strftime(m_cachedClock.data(), m_cachedClock.size(), "%H:%M:%S", &local);
        m_cachedSecond = second;
    }
    Append("%s.%09u", m_cachedClock.data(),
           static_cast<unsigned>(nanoseconds % NanosecondsPerSecond));
}

void FrameLine::AppendIPv4(const unsigned char* data, unsigned length) {
    if (data == nullptr || length < MinimumIPv4Header || (data[0] >> 4) != 4) {
        return;
    }
    const unsigned headerLength = (data[0] & 0x0FU) * 4;
    const unsigned protocol = data[9];
    Append("  %u.%u.%u.%u -> %u.%u.%u.%u", data[12], data[13], data[14], data[15], data[16],
           data[17], data[18], data[19]);
    if (const char* name = IPProtocolName(protocol)) {
        Append(" %s", name);
    } else {
        Append(" proto %u", protocol);
    }
    // Only the first fragment carries the transport header.
    const bool firstFragment = (ReadBigEndian16(data + 6) & 0x1FFFU) == 0;
    if (!firstFragment || headerLength < MinimumIPv4Header) {
        return;
    }
    if ((protocol == 6 || protocol == 17) && length >= headerLength + 4) {
        Append(" %u -> %u", ReadBigEndian16(data + headerLength),
               ReadBigEndian16(data + headerLength + 2));
    } else if (protocol == 1 && length >= headerLength + 2) {
        Append(" type %u code %u", data[headerLength], data[headerLength + 1]);
    }
}

std::string_view FrameLine::Format(const CFrame& frame, std::uint64_t nanoseconds) {
    return Format(frame, nanoseconds, frame.GetLength());
}

std::string_view FrameLine::Format(const CFrame& frame, std::uint64_t nanoseconds,
                                   std::uint32_t length) {
    m_used = 0;
    const QWORD number = frame.GetPacketNumber();
    Append("%6llu ", static_cast<unsigned long long>(static_cast<std::int64_t>(number)));
    AppendTime(nanoseconds);
    const CMediaInfo* media = frame.GetMediaInfo();
    // The analysis reads missing header bytes as zero; what it found there
    // is not shown as if the frame had it.
    if (media != nullptr && frame.GetLength() < media->GetHeaderLen()) {
        Append("  [|%s] truncated header  %u", media->GetShorthand(),
               static_cast<unsigned>(length));
        return EndLine();
    }
    if (media != nullptr) {
        const unsigned char* source = media->GetSourceAddress();
        const unsigned char* destination = media->GetDestinationAddress();
        Append("  %-22s %02x:%02x:%02x:%02x:%02x:%02x -> %02x:%02x:%02x:%02x:%02x:%02x",
               m_names.Name(media->GetFrameType()), source[0], source[1], source[2], source[3],
               source[4], source[5], destination[0], destination[1], destination[2], destination[3],
               destination[4], destination[5]);
        // The identifier in the width this frame type carries it.
        const unsigned char* id = media->GetProtocolId();
        const int idLength = std::clamp(media->GeCProtocolIdLen(), 0, 6);
        Append("  ");
        if (idLength == 0) {
            Append("-");
        }
        for (int i = 6 - idLength; i < 6; ++i) {
            Append("%02X", id[i]);
        }
    }
    Append("  %u", static_cast<unsigned>(length));
    if (media != nullptr && std::equal(IPv4Protocol.begin(), IPv4Protocol.end(),
                                       static_cast<const unsigned char*>(media->GetProtocolId()))) {
        AppendIPv4(frame.GetData(), frame.GetDataLength());
    }
    if (const auto* ethernet = dynamic_cast<const CEthernetInfo*>(media);
        ethernet != nullptr && ethernet->IsVLANFrame()) {
        Append("  vlan %d", ethernet->GetVLANIdentifier());
    }
    return EndLine();
}

std::string_view FrameLine::EndLine() {
    if (m_used >= m_line.size() - 1) {
        m_used = m_line.size() - 2;
    }
    m_line[m_used++] = '\n';
    return {m_line.data(), m_used};
}

} // namespace qndis::tool
