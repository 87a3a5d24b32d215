#pragma once

#include <array>
#include <cstdint>
#include <string>

class CFrame;
class CMediaInfo;

namespace qndis::tool {

// The names of a medium's frame types, indexed by id, read once from the
// medium's own table.
class FrameTypeNames {
public:
    explicit FrameTypeNames(CMediaInfo& medium);
    const char* Name(int id) const;
    int Count() const { return m_count; }

    static constexpr int MaxId = 15;

private:
    std::array<std::string, MaxId + 1> m_names;
    int m_count = 0;
};

// A time stamp of the driver's counter in nanoseconds since the epoch. A
// frequency of 0 (the counter could not be read) takes the stamp as it is.
std::uint64_t StampToNanoseconds(std::uint64_t stamp, std::uint64_t frequency);

enum class TimeView { Clock, None, Iso, Epoch, Delta, Relative };

// What a frame line shows beyond the summary; the clock is local time, the
// other stamps are UTC or differences.
struct LineView {
    TimeView time = TimeView::Clock;
    bool verbose = false;       // IPv4 TTL, id and length; TCP flags and numbers
    bool linkAddresses = false; // the link header's addresses, where it has any
    bool quick = false;         // no frame type, and no link protocol for IP
};

// Formats the one-line summary of an analysed frame: packet number, local
// time, frame type, link protocol id, length, and for IP the addresses,
// protocol and ports; the view adds or leaves out parts. Kept free of streams and
// allocation because it runs for every frame shown.
class FrameLine {
public:
    explicit FrameLine(const FrameTypeNames& names, LineView view = {})
        : m_names(names), m_view(view) {}

    // The line, terminated by a newline, valid until the next call.
    std::string_view Format(const CFrame& frame, std::uint64_t nanoseconds);
    // The same, showing `length` as the frame's length: a frame longer than
    // the interface's 16-bit length can tell.
    std::string_view Format(const CFrame& frame, std::uint64_t nanoseconds, std::uint32_t length);

private:
    void AppendTime(std::uint64_t nanoseconds);
    void AppendClock(std::uint64_t nanoseconds);
    void AppendDifference(std::uint64_t later, std::uint64_t earlier);
    void AppendSeconds(const char* sign, std::uint64_t nanoseconds);
    void AppendLinkAddresses(const CMediaInfo& media);
    void AppendMac(const char* before, const unsigned char* address);
    void AppendProtocolId(const CMediaInfo& media);
    void AppendIPv4(const unsigned char* data, unsigned length);
    void AppendIPv6(const unsigned char* data, unsigned length);
    void AppendProtocolName(unsigned protocol);
    void AppendTransport(unsigned protocol, const unsigned char* data, unsigned length);
    void AppendTCPDetail(const unsigned char* data, unsigned length);
    std::string_view EndLine();
    void Append(const char* format, ...) __attribute__((format(printf, 2, 3)));

    const FrameTypeNames& m_names;
    LineView m_view;
    std::array<char, 512> m_line{};
    std::size_t m_used = 0;
    std::int64_t m_cachedSecond = -1;
    std::array<char, 32> m_cachedClock{};
    std::uint64_t m_first = 0;    // stamps of the first and the previous
    std::uint64_t m_previous = 0; // frame shown, for the differences
    bool m_anyShown = false;
};

} // namespace qndis::tool
