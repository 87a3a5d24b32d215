// Parsed filters deciding on real frames: the text must mean what it says.
#include "qndislib/filter/FilterParser.h"
#include "qndislib/filter/ResourceStrings.h"
#include "qndislib/frame/QuorelFrame.h"
#include "qndislib/media/EthernetInfo.h"

#include <array>
#include <cstdint>
#include <gtest/gtest.h>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

std::vector<unsigned char> IPv4(const std::array<unsigned char, 4>& source,
                                const std::array<unsigned char, 4>& destination,
                                unsigned char protocol,
                                const std::vector<unsigned char>& transport) {
    std::vector<unsigned char> packet{0x45, 0, 0, 0, 0, 0, 0x40, 0, 64, protocol, 0, 0};
    packet.insert(packet.end(), source.begin(), source.end());
    packet.insert(packet.end(), destination.begin(), destination.end());
    const std::size_t total = packet.size() + transport.size();
    packet[2] = static_cast<unsigned char>(total >> 8);
    packet[3] = static_cast<unsigned char>(total);
    packet.insert(packet.end(), transport.begin(), transport.end());
    return packet;
}

std::vector<unsigned char> Ports(unsigned source, unsigned destination, std::string payload) {
    std::vector<unsigned char> header{static_cast<unsigned char>(source >> 8),
                                      static_cast<unsigned char>(source),
                                      static_cast<unsigned char>(destination >> 8),
                                      static_cast<unsigned char>(destination),
                                      0,
                                      8,
                                      0,
                                      0};
    // Grown first and then filled: an insert here trips a false array-bounds
    // warning of the compiler.
    header.resize(header.size() + payload.size());
    std::copy(payload.begin(), payload.end(),
              header.end() - static_cast<std::ptrdiff_t>(payload.size()));
    return header;
}

struct Frames {
    std::map<std::string, std::unique_ptr<CQuorelFrame>> byName;

    void Add(const std::string& name, std::int32_t type, const char* protocol,
             std::vector<unsigned char> payload, const char* destination = "02:00:00:00:00:02") {
        AddOn("Ethernet", name, type, protocol, std::move(payload), destination);
    }

    void AddOn(const char* medium, const std::string& name, std::int32_t type, const char* protocol,
               std::vector<unsigned char> payload, const char* destination = "02:00:00:00:00:02") {
        const std::unique_ptr<CMediaInfo> description(CreateMedium(medium));
        ASSERT_NE(description, nullptr) << medium;
        std::int32_t length = 0;
        unsigned char* bytes = description->CreateFrame(
            length, type, payload.data(), static_cast<std::int32_t>(payload.size()),
            CMACAddr("02:00:00:00:00:01"), CMACAddr(destination), CProtocolId(protocol));
        ASSERT_NE(bytes, nullptr);
        auto frame = std::make_unique<CQuorelFrame>(bytes, static_cast<unsigned short>(length),
                                                    description.get());
        ::operator delete(bytes);
        ASSERT_TRUE(frame->AnalyzeFrame());
        byName[name] = std::move(frame);
    }

    // Bytes as given, however short, with no Ethernet header built around them.
    void AddRaw(const std::string& name, std::vector<unsigned char> bytes) {
        CEthernetInfo ethernet;
        bytes.reserve(1);
        auto frame = std::make_unique<CQuorelFrame>(
            bytes.data(), static_cast<unsigned short>(bytes.size()), &ethernet);
        ASSERT_TRUE(frame->AnalyzeFrame());
        byName[name] = std::move(frame);
    }

    const CFrame* operator[](const std::string& name) const { return byName.at(name).get(); }
};

class FilterVerdict : public ::testing::Test {
protected:
    void SetUp() override {
        CResourceStrings::Instance().SetModule(GetLibraryStringModule());
        frames.Add("dns", 2, "0800", IPv4({10, 0, 0, 1}, {10, 0, 0, 2}, 17, Ports(5353, 53, "q")));
        frames.Add("http", 2, "0800",
                   IPv4({192, 168, 1, 5}, {10, 1, 1, 1}, 6, Ports(40000, 80, "GET / HTTP/1.0")));
        frames.Add("ping", 2, "0800",
                   IPv4({10, 0, 0, 1}, {10, 0, 0, 2}, 1, {8, 0, 0, 0, 0, 1, 0, 1}));
        frames.Add("arp", 2, "0806", std::vector<unsigned char>(28, 0), "ff:ff:ff:ff:ff:ff");
        frames.Add("tagged", 6, "0800",
                   IPv4({10, 0, 0, 9}, {10, 0, 0, 2}, 17, Ports(1000, 53, "t")));
        frames.Add("snap", 3, "0000000800",
                   IPv4({10, 0, 0, 1}, {10, 0, 0, 2}, 6, Ports(22, 2222, "")));
    }

    // Frames too short for the fields that the words read.
    void AddShortFrames() {
        const std::vector<unsigned char> header{2, 0, 0, 0, 0, 2, 2, 0, 0, 0, 0, 1, 0x08, 0x00};
        frames.AddRaw("0 bytes", {});
        frames.AddRaw("6 bytes", {header.begin(), header.begin() + 6});
        frames.AddRaw("14 bytes", header);
        std::vector<unsigned char> twenty = header;
        twenty.insert(twenty.end(), {0x45, 0, 0, 40, 0, 0});
        frames.AddRaw("20 bytes", twenty);
        std::vector<unsigned char> cut = header;
        const auto udpHeader = IPv4({10, 0, 0, 1}, {10, 0, 0, 2}, 17, {0x13});
        cut.insert(cut.end(), udpHeader.begin(), udpHeader.end());
        frames.AddRaw("udp cut before its ports", cut);
    }

    struct Selection {
        const char* text;
        std::vector<std::string> matching;
    };

    // Each text passes exactly the frames it names.
    template <std::size_t N> void ExpectMatches(const Selection (&cases)[N]) {
        for (const Selection& c : cases) {
            for (const auto& [name, frame] : frames.byName) {
                const bool expected =
                    std::find(c.matching.begin(), c.matching.end(), name) != c.matching.end();
                EXPECT_EQ(Verdict(c.text, name), expected) << c.text << " on " << name;
            }
        }
    }

    bool Verdict(const std::string& text, const std::string& frame) {
        CFilterParser parser;
        const auto filter = parser.Parse(text);
        EXPECT_NE(filter, nullptr) << text << ": " << parser.GetError();
        return filter != nullptr && filter->CheckFrame(frames[frame]);
    }

    Frames frames;
};

TEST_F(FilterVerdict, FiltersSelectTheFramesTheirTextNames) {
    const Selection cases[] = {
        {"proto ip and ipproto udp and dst port 53", {"dns", "tagged"}},
        {"proto arp", {"arp"}},
        {"proto ip", {"dns", "http", "ping", "tagged", "snap"}},
        {"dst mac ff:ff:ff:ff:ff:ff", {"arp"}},
        {"src mac 02:00:00:00:00:01 and not dst mac ff:ff:ff:ff:ff:ff",
         {"dns", "http", "ping", "tagged", "snap"}},
        {"proto ip and src ip < 10.0.0.2", {"dns", "ping", "snap"}},
        {"proto ip and src ip >= 192.168.1.5", {"http"}},
        {"proto ip and dst ip > 10.0.0.2", {"http"}},
        {"proto ip and ipproto tcp and src port > 1023 and dst port <= 80", {"http"}},
        {"proto ip and src port != 5353 and ipproto udp", {"tagged"}},
        {"contains \"GET \"", {"http"}},
        {"contains 08:06 at 12", {"arp"}},
        {"contains 81:00 at 12 or contains aa:aa:03 at 14", {"tagged", "snap"}},
        {"proto ip and ipproto icmp and icmp type echo", {"ping"}},
        {"proto ip and (dst port 22 or src port 22 or dst port 80)", {"http", "snap"}},
    };
    ExpectMatches(cases);
}

// Frames of other media carry the same packets behind other link headers;
// the words that read past the link header must find them there.
TEST_F(FilterVerdict, WordsReadThePacketBehindAnyLinkHeader) {
    frames.byName.clear();
    frames.AddOn("LinuxCooked", "cooked dns", 1, "0800",
                 IPv4({10, 0, 0, 1}, {10, 0, 0, 2}, 17, Ports(5353, 53, "q")));
    frames.AddOn("LinuxCooked2", "cooked2 arp", 1, "0806", std::vector<unsigned char>(28, 0));
    frames.AddOn("RawIP", "raw http", 1, "",
                 IPv4({192, 168, 1, 5}, {10, 1, 1, 1}, 6, Ports(40000, 80, "GET / HTTP/1.0")));
    frames.AddOn("Null", "null ping", 1, "",
                 IPv4({10, 0, 0, 1}, {10, 0, 0, 2}, 1, {8, 0, 0, 0, 0, 1, 0, 1}));
    frames.AddOn("Loop", "loop ipv6", 2, "", std::vector<unsigned char>(40, 0x60));
    const Selection cases[] = {
        {"ip", {"cooked dns", "raw http", "null ping"}},
        {"ip6", {"loop ipv6"}},
        {"arp", {"cooked2 arp"}},
        {"udp and dst port 53 and src ip 10.0.0.1", {"cooked dns"}},
        {"tcp and src port > 1023 and dst ip 10.1.1.1", {"raw http"}},
        {"icmp type echo", {"null ping"}},
        {"src mac 02:00:00:00:00:01", {"cooked dns", "cooked2 arp"}},
        {"contains \"GET \"", {"raw http"}},
    };
    ExpectMatches(cases);
}

// A negated group is rewritten before it is returned; the rewrite must
// decide every frame exactly opposite to the group.
TEST_F(FilterVerdict, NotOfAGroupDecidesOppositeToTheGroup) {
    const char* texts[] = {
        "proto ip and ipproto udp",
        "dst port 53 or contains \"GET\"",
        "proto ip and (src ip < 10.0.0.5 or not dst port 80) and not ipproto icmp",
        "not (proto arp or dst mac ff:ff:ff:ff:ff:ff) and (src port 22 or dst port != 53)",
    };
    for (const char* text : texts) {
        for (const auto& [name, frame] : frames.byName) {
            EXPECT_NE(Verdict(std::string("not (") + text + ")", name), Verdict(text, name))
                << text << " on " << name;
        }
    }
}

// No frame too short to hold a field passes a comparison of it, whatever
// the relation; only "not" around the comparison passes such frames.
TEST_F(FilterVerdict, ComparisonsNeverPassFramesWithoutTheField) {
    AddShortFrames();
    const char* relations[] = {"=", "!=", "<", "<=", ">", ">="};
    const struct {
        const char* field;
        std::array<const char*, 3> values;
        std::vector<const char*> framesWithout;
    } fields[] = {
        {"src port",
         {"0", "1234", "65535"},
         {"0 bytes", "6 bytes", "14 bytes", "20 bytes", "udp cut before its ports"}},
        {"dst port",
         {"0", "1234", "65535"},
         {"0 bytes", "6 bytes", "14 bytes", "20 bytes", "udp cut before its ports"}},
        {"src ip",
         {"0.0.0.0", "10.0.0.1", "255.255.255.255"},
         {"0 bytes", "6 bytes", "14 bytes", "20 bytes"}},
        {"dst ip",
         {"0.0.0.0", "10.0.0.1", "255.255.255.255"},
         {"0 bytes", "6 bytes", "14 bytes", "20 bytes"}},
    };
    for (const auto& f : fields) {
        for (const char* frame : f.framesWithout) {
            for (const char* relation : relations) {
                for (const char* value : f.values) {
                    const std::string text = std::string(f.field) + " " + relation + " " + value;
                    EXPECT_FALSE(Verdict(text, frame)) << text << " on " << frame;
                    EXPECT_TRUE(Verdict("not " + text, frame)) << "not " << text << " on " << frame;
                }
            }
        }
    }
}

} // namespace
