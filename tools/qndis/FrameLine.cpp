#include "tools/qndis/FrameLine.h"

#include "qndislib/addr/IPProtocolNames.h"
#include "qndislib/media/ReadableBytes.h"
#include "qndislib/qndislib.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace qndis::tool {

namespace {

constexpr std::uint64_t NanosecondsPerSecond = 1'000'000'000;
constexpr unsigned MinimumIPv4Header = 20;
constexpr unsigned IPv4TotalLength = 2;
constexpr unsigned IPv4Id = 4;
constexpr unsigned IPv4TTL = 8;
static_assert(IPv4TTL < MinimumIPv4Header);
constexpr unsigned IPv6Header = 40;
constexpr unsigned IPv6NextHeader = 6;
constexpr unsigned IPv6Source = 8;
constexpr unsigned IPv6Destination = 24;
constexpr unsigned IPv6AddressLength = 16;
static_assert(IPv6Destination + IPv6AddressLength == IPv6Header);

constexpr unsigned TCPSequence = 4;
constexpr unsigned TCPAcknowledgement = 8;
constexpr unsigned TCPFlags = 13;
constexpr unsigned MinimumTCPHeader = 20;
static_assert(TCPFlags < MinimumTCPHeader);
constexpr unsigned TCPAck = 0x10;

struct FlagLetter {
    unsigned bit;
    char letter;
};
constexpr std::array<FlagLetter, 8> TCPFlagLetters{{
    {0x01, 'F'},
    {0x02, 'S'},
    {0x04, 'R'},
    {0x08, 'P'},
    {TCPAck, '.'},
    {0x20, 'U'},
    {0x40, 'E'},
    {0x80, 'W'},
}};

constexpr std::array<unsigned char, 6> IPv4Protocol{0, 0, 0, 0, 0x08, 0x00};
constexpr std::array<unsigned char, 6> IPv6Protocol{0, 0, 0, 0, 0x86, 0xDD};

const char* IPProtocolName(unsigned protocol) {
    for (const NamedIPProtocol& entry : IPProtocolNames) {
        if (entry.number == protocol) {
            return entry.name;
        }
    }
    return nullptr;
}

bool HasProtocolId(const CMediaInfo& media, const std::array<unsigned char, 6>& id) {
    const auto* own = static_cast<const unsigned char*>(media.GetProtocolId());
    return std::equal(id.begin(), id.end(), own);
}

using qndis::detail::ReadBig16;
using qndis::detail::ReadBig32;

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

void FrameLine::AppendTime(std::uint64_t nanoseconds) {
    if (!m_anyShown) {
        m_first = nanoseconds;
        m_previous = nanoseconds;
        m_anyShown = true;
    }
    switch (m_view.time) {
    case TimeView::None:
        break;
    case TimeView::Clock:
    case TimeView::Iso:
        AppendClock(nanoseconds);
        break;
    case TimeView::Epoch:
        AppendSeconds("", nanoseconds);
        break;
    case TimeView::Delta:
        AppendDifference(nanoseconds, m_previous);
        break;
    case TimeView::Relative:
        AppendDifference(nanoseconds, m_first);
        break;
    }
    m_previous = nanoseconds;
}

// localtime_r consults the time zone each call; frames come many per
// second, so the clock text is kept for the current second.
void FrameLine::AppendClock(std::uint64_t nanoseconds) {
    const auto second = static_cast<std::int64_t>(nanoseconds / NanosecondsPerSecond);
    if (second != m_cachedSecond) {
        const std::time_t seconds = static_cast<std::time_t>(second);
        std::tm broken{};
        if (m_view.time == TimeView::Iso) {
            gmtime_r(&seconds, &broken);
        } else {
            localtime_r(&seconds, &broken);
        }
        std::strftime(m_cachedClock.data(), m_cachedClock.size(),
                      m_view.time == TimeView::Iso ? "%Y-%m-%dT%H:%M:%S" : "%H:%M:%S", &broken);
        m_cachedSecond = second;
    }
    Append(" %s.%09u%s", m_cachedClock.data(),
           static_cast<unsigned>(nanoseconds % NanosecondsPerSecond),
           m_view.time == TimeView::Iso ? "Z" : "");
}

// Stamps of a file need not rise; a frame stamped before the one it is
// measured from shows a negative difference.
void FrameLine::AppendDifference(std::uint64_t later, std::uint64_t earlier) {
    const bool negative = later < earlier;
    AppendSeconds(negative ? "-" : "", negative ? earlier - later : later - earlier);
}

void FrameLine::AppendSeconds(const char* sign, std::uint64_t nanoseconds) {
    Append(" %s%llu.%09u", sign,
           static_cast<unsigned long long>(nanoseconds / NanosecondsPerSecond),
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
    AppendProtocolName(protocol);
    // Only the first fragment carries the transport header.
    const bool firstFragment = (ReadBig16(data + 6) & 0x1FFFU) == 0;
    if (firstFragment && headerLength >= MinimumIPv4Header && headerLength <= length) {
        AppendTransport(protocol, data + headerLength, length - headerLength);
    }
    if (m_view.verbose) {
        Append("  ttl %u id %u length %u", data[IPv4TTL], ReadBig16(data + IPv4Id),
               ReadBig16(data + IPv4TotalLength));
    }
}

// Extension headers are not followed: the next header is shown as the
// frame names it.
void FrameLine::AppendIPv6(const unsigned char* data, unsigned length) {
    if (data == nullptr || length < IPv6Header || (data[0] >> 4) != 6) {
        return;
    }
    std::array<char, INET6_ADDRSTRLEN> source{};
    std::array<char, INET6_ADDRSTRLEN> destination{};
    inet_ntop(AF_INET6, data + IPv6Source, source.data(), source.size());
    inet_ntop(AF_INET6, data + IPv6Destination, destination.data(), destination.size());
    Append("  %s -> %s", source.data(), destination.data());
    const unsigned protocol = data[IPv6NextHeader];
    AppendProtocolName(protocol);
    AppendTransport(protocol, data + IPv6Header, length - IPv6Header);
}

void FrameLine::AppendProtocolName(unsigned protocol) {
    if (const char* name = IPProtocolName(protocol)) {
        Append(" %s", name);
    } else {
        Append(" proto %u", protocol);
    }
}

void FrameLine::AppendTransport(unsigned protocol, const unsigned char* data, unsigned length) {
    if ((protocol == ip_protocol::TCP || protocol == ip_protocol::UDP) && length >= 4) {
        Append(" %u -> %u", ReadBig16(data), ReadBig16(data + 2));
        if (protocol == ip_protocol::TCP && m_view.verbose) {
            AppendTCPDetail(data, length);
        }
    } else if ((protocol == ip_protocol::ICMP || protocol == ip_protocol::ICMPv6) && length >= 2) {
        Append(" type %u code %u", data[0], data[1]);
    }
}

// The flags in the letters and order other capture tools show them.
void FrameLine::AppendTCPDetail(const unsigned char* data, unsigned length) {
    if (length < MinimumTCPHeader) {
        return;
    }
    const unsigned flags = data[TCPFlags];
    std::array<char, TCPFlagLetters.size() + 1> letters{};
    std::size_t used = 0;
    for (const auto& [bit, letter] : TCPFlagLetters) {
        if ((flags & bit) != 0) {
            letters[used++] = letter;
        }
    }
    Append(" [%s] seq %u", used == 0 ? "none" : letters.data(), ReadBig32(data + TCPSequence));
    if ((flags & TCPAck) != 0) {
        Append(" ack %u", ReadBig32(data + TCPAcknowledgement));
    }
}

// A cooked header holds the sender's address only; raw IP and loopback
// headers hold none.
void FrameLine::AppendLinkAddresses(const CMediaInfo& media) {
    if (media.GetAddressSize() == 0) {
        return;
    }
    AppendMac(" ", media.GetSourceAddress());
    if (dynamic_cast<const CLinuxCookedInfo*>(&media) == nullptr) {
        AppendMac(" -> ", media.GetDestinationAddress());
    }
}

void FrameLine::AppendMac(const char* before, const unsigned char* address) {
    Append("%s%02x:%02x:%02x:%02x:%02x:%02x", before, address[0], address[1], address[2],
           address[3], address[4], address[5]);
}

// The identifier in the width this frame type carries it.
void FrameLine::AppendProtocolId(const CMediaInfo& media) {
    const unsigned char* id = media.GetProtocolId();
    const int idLength = std::clamp(media.GeCProtocolIdLen(), 0, 6);
    Append("  ");
    if (idLength == 0) {
        Append("-");
    }
    for (int i = 6 - idLength; i < 6; ++i) {
        Append("%02X", id[i]);
    }
}

std::string_view FrameLine::Format(const CFrame& frame, std::uint64_t nanoseconds) {
    return Format(frame, nanoseconds, frame.GetLength());
}

std::string_view FrameLine::Format(const CFrame& frame, std::uint64_t nanoseconds,
                                   std::uint32_t length) {
    m_used = 0;
    const QWORD number = frame.GetPacketNumber();
    Append("%6llu", static_cast<unsigned long long>(static_cast<std::int64_t>(number)));
    AppendTime(nanoseconds);
    const CMediaInfo* media = frame.GetMediaInfo();
    // The analysis reads missing header bytes as zero; what it found there
    // is not shown as if the frame had it.
    if (media != nullptr && frame.GetLength() < media->GetHeaderLen()) {
        Append("  [|%s] truncated header  %u", media->GetShorthand(),
               static_cast<unsigned>(length));
        return EndLine();
    }
    const bool ipv4 = media != nullptr && HasProtocolId(*media, IPv4Protocol);
    const bool ipv6 = media != nullptr && HasProtocolId(*media, IPv6Protocol);
    if (media != nullptr) {
        if (!m_view.quick) {
            Append("  %-22s", m_names.Name(media->GetFrameType()));
        }
        if (m_view.linkAddresses) {
            AppendLinkAddresses(*media);
        }
        // The addresses of an IP packet say what the identifier would.
        if (!m_view.quick || !(ipv4 || ipv6)) {
            AppendProtocolId(*media);
        }
    }
    Append("  %u", static_cast<unsigned>(length));
    if (ipv4) {
        AppendIPv4(frame.GetData(), frame.GetDataLength());
    } else if (ipv6) {
        AppendIPv6(frame.GetData(), frame.GetDataLength());
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
