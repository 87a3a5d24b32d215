#include "tools/qndis/DemoFrames.h"

#include "qndislib/addr/IPProtocolNames.h"
#include "qndislib/qndislib.h"
#include "tools/qndis/ToolError.h"

#include <algorithm>
#include <array>
#include <memory>
#include <new>

namespace qndis::tool {

namespace {

constexpr std::size_t IPv4HeaderLength = 20;
constexpr std::size_t MinimumPayload = 46;
constexpr std::array<std::uint8_t, 4> SourceIp{10, 1, 0, 1};
constexpr std::array<std::uint8_t, 4> DestinationIp{10, 1, 0, 2};

void Put16(std::vector<unsigned char>& bytes, std::size_t offset, unsigned value) {
    bytes[offset] = static_cast<unsigned char>(value >> 8);
    bytes[offset + 1] = static_cast<unsigned char>(value);
}

void Append(std::vector<unsigned char>& bytes, std::string_view text) {
    bytes.insert(bytes.end(), text.begin(), text.end());
}

// The internet checksum, so that tools reading the capture see sound packets.
unsigned Checksum(const unsigned char* bytes, std::size_t length) {
    std::uint32_t sum = 0;
    for (std::size_t i = 0; i + 1 < length; i += 2) {
        sum += static_cast<std::uint32_t>(bytes[i] << 8 | bytes[i + 1]);
    }
    if (length % 2 != 0) {
        sum += static_cast<std::uint32_t>(bytes[length - 1] << 8);
    }
    while (sum >> 16 != 0) {
        sum = (sum & 0xFFFF) + (sum >> 16);
    }
    return ~sum & 0xFFFF;
}

// An IPv4 packet whose transport header is `transport` followed by `text`.
std::vector<unsigned char> IPv4(std::uint8_t protocol, std::vector<unsigned char> transport,
                                std::string_view text) {
    std::vector<unsigned char> packet(IPv4HeaderLength + transport.size() + text.size());
    packet[0] = 0x45;
    packet[8] = 64;
    packet[9] = protocol;
    std::copy(SourceIp.begin(), SourceIp.end(), packet.begin() + 12);
    std::copy(DestinationIp.begin(), DestinationIp.end(), packet.begin() + 16);
    const auto body = std::copy(transport.begin(), transport.end(),
                                packet.begin() + static_cast<std::ptrdiff_t>(IPv4HeaderLength));
    std::copy(text.begin(), text.end(), body);
    Put16(packet, 2, static_cast<unsigned>(packet.size()));
    Put16(packet, 10, Checksum(packet.data(), IPv4HeaderLength));
    return packet;
}

std::vector<unsigned char> UdpPacket(unsigned sourcePort, unsigned destinationPort,
                                     std::string_view text) {
    std::vector<unsigned char> header(8);
    Put16(header, 0, sourcePort);
    Put16(header, 2, destinationPort);
    Put16(header, 4, static_cast<unsigned>(header.size() + text.size()));
    return IPv4(ip_protocol::UDP, header, text);
}

std::vector<unsigned char> TcpPacket(unsigned sourcePort, unsigned destinationPort,
                                     std::string_view text) {
    std::vector<unsigned char> header(20);
    Put16(header, 0, sourcePort);
    Put16(header, 2, destinationPort);
    header[12] = 0x50; // header length 5 words
    header[13] = 0x18; // PSH, ACK
    Put16(header, 14, 0xFFFF);
    return IPv4(ip_protocol::TCP, header, text);
}

std::vector<unsigned char> EchoRequest(std::string_view text) {
    std::vector<unsigned char> message{8, 0, 0, 0, 0x51, 0x4E, 0, 1};
    Append(message, text);
    Put16(message, 2, Checksum(message.data(), message.size()));
    return IPv4(
        ip_protocol::ICMP, {message.begin(), message.begin() + 8},
        std::string_view(reinterpret_cast<const char*>(message.data()) + 8, message.size() - 8));
}

std::vector<unsigned char> Text(std::string_view text, bool rawMark) {
    std::vector<unsigned char> bytes;
    if (rawMark) {
        // A raw 802.3 frame is told apart by data that begins FF FF.
        bytes = {0xFF, 0xFF};
    }
    Append(bytes, text);
    return bytes;
}

struct Recipe {
    int type;
    const char* protocol;
    const char* what;
    std::vector<unsigned char> payload;
};

} // namespace

std::vector<DemoFrame> BuildDemoFrames(const CMACAddr& source, const CMACAddr& destination) {
    const std::vector<Recipe> recipes{
        {1, "", "raw 802.3 data", Text("qndis demo: raw 802.3", true)},
        {2, "0800", "IPv4 UDP to port 53", UdpPacket(1024, 53, "qndis demo: DNS-sized")},
        {3, "0000000800", "IPv4 TCP to port 80", TcpPacket(40000, 80, "GET / HTTP/1.0\r\n\r\n")},
        {4, "42", "802.2 LLC data", Text("qndis demo: 802.2 type I", false)},
        {5, "E0", "802.2 LLC type II data", Text("qndis demo: 802.2 type II", false)},
        {6, "0800", "tagged IPv4 ICMP echo request", EchoRequest("qndis demo ping")},
        {7, "0000000800", "tagged SNAP IPv4 UDP to port 5000",
         UdpPacket(5000, 5000, "qndis demo: tagged SNAP")},
    };
    CEthernetInfo ethernet;
    std::vector<DemoFrame> frames;
    for (const Recipe& recipe : recipes) {
        std::vector<unsigned char> payload = recipe.payload;
        if (payload.size() < MinimumPayload) {
            payload.resize(MinimumPayload, 0);
        }
        std::int32_t length = 0;
        struct Release {
            void operator()(unsigned char* bytes) const { ::operator delete(bytes); }
        };
        const std::unique_ptr<unsigned char, Release> bytes(ethernet.CreateFrame(
            length, recipe.type, payload.data(), static_cast<std::int32_t>(payload.size()), source,
            destination, CProtocolId(recipe.protocol)));
        if (!bytes) {
            throw ToolError("the Ethernet medium could not build a frame of type " +
                            std::to_string(recipe.type) + ".");
        }
        frames.push_back({recipe.type, recipe.what,
                          std::vector<unsigned char>(bytes.get(), bytes.get() + length)});
    }
    return frames;
}

} // namespace qndis::tool
