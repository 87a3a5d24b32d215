#include "tools/qndis/AdapterCommands.h"

#include "qndislib/adapter/NDISRequesterProxy.h"
#include "qndislib/adapter/NdisAdapters.h"
#include "qndislib/addr/LinkProtocolNames.h"
#include "qndislib/addr/StrictHexText.h"
#include "qndislib/capture/NdisHook.h"
#include "qndislib/qndislib.h"
#include "tools/qndis/AdapterAccess.h"
#include "tools/qndis/AdapterStatistics.h"
#include "tools/qndis/CommandLine.h"
#include "tools/qndis/Privileges.h"
#include "tools/qndis/ToolError.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace qndis::tool {

namespace {

constexpr std::array<OptionSpec, 1> AdapterOption{{{"interface", 'i', true}}};
constexpr std::array<OptionSpec, 1> ListOption{{{"list-interfaces", 'D', false}}};

constexpr std::array<OptionSpec, 8> SendOptions{{
    {"interface", 'i', true},
    {"type", 0, true},
    {"vlan", 0, true},
    {"src", 0, true},
    {"dst", 0, true},
    {"proto", 0, true},
    {"payload", 0, true},
    {"count", 'c', true},
}};

constexpr std::string_view SendUsage =
    "qndis send -i ADAPTER|N --type N [--vlan ID] [--src MAC] --dst MAC --proto ID|NAME "
    "[--payload HEX] [-c COUNT]";

// The builder pads nothing, so the default payload fills the smallest
// Ethernet frame.
constexpr std::size_t DefaultPayload = 46;
constexpr std::size_t MaxProtocolIdLength = 6;
constexpr int RawFrameType = 1;
constexpr int TaggedFrameType = 6;
constexpr int TaggedSnapFrameType = 7;
constexpr int MaxFrameType = 7;
// 4095 is reserved; 0 tags a frame with a priority only.
constexpr long long MaxVlanId = 4094;

// The largest frame of each type, header included, and what sets it: an
// 802.3 length field counts at most 1,500 bytes after itself, an Ethernet
// frame carries at most 1,500 bytes after its type (and its tag).
struct FrameLimit {
    std::size_t largestFrame;
    const char* reason;
};
constexpr const char* LengthFieldLimit = "its 802.3 length field counts at most 1500 bytes";
constexpr std::array<FrameLimit, MaxFrameType + 1> FrameLimits{{
    {0, ""},
    {1514, LengthFieldLimit},
    {1514, "an Ethernet II frame is at most 1514 bytes"},
    {1514, LengthFieldLimit},
    {1514, LengthFieldLimit},
    {1514, LengthFieldLimit},
    {1518, "a tagged Ethernet II frame is at most 1518 bytes"},
    {1514, LengthFieldLimit},
}};

std::string Required(const CommandLine& line, std::string_view name, std::string_view usage) {
    const auto value = line.Value(name);
    if (!value) {
        throw UsageError("missing '--" + std::string(name) + "'; usage: " + std::string(usage));
    }
    return *value;
}

CMACAddr MacOption(const CommandLine& line, std::string_view name) {
    const std::string text = Required(line, name, SendUsage);
    const auto bytes = qndis::ParseMacAddress(text);
    if (!bytes) {
        throw UsageError("'" + text +
                         "' is not a hardware address (six hexadecimal bytes such as "
                         "00:a0:c9:14:c8:29).");
    }
    return CMACAddr(bytes->data());
}

std::string LinkProtocolWords() {
    std::string words;
    for (const NamedLinkProtocol& entry : LinkProtocolNames) {
        words += std::string(words.empty() ? "" : ", ") + std::string(entry.name);
    }
    return words;
}

// A link protocol by the name the filters give it, or as hexadecimal bytes.
CProtocolId ProtocolOption(const CommandLine& line) {
    const std::string text = Required(line, "proto", SendUsage);
    if (const auto etherType = LinkProtocolByName(text)) {
        const std::array<unsigned char, 2> bytes{static_cast<unsigned char>(*etherType >> 8),
                                                 static_cast<unsigned char>(*etherType)};
        return CProtocolId(static_cast<int>(bytes.size()), bytes.data());
    }
    const auto bytes = qndis::ParseHexBytes(text);
    if (!bytes || bytes->size() > MaxProtocolIdLength) {
        throw UsageError("'" + text + "' is not a protocol id (" + LinkProtocolWords() +
                         ", or up to six hexadecimal bytes such as 0800 or 0000000800).");
    }
    return CProtocolId(static_cast<int>(bytes->size()), bytes->data());
}

// --vlan alone means a tagged Ethernet II frame.
std::int32_t FrameTypeOption(const CommandLine& line) {
    const auto type = line.Integer("type", 1, MaxFrameType);
    const bool tagged = line.Has("vlan");
    if (!type && !tagged) {
        throw UsageError("missing '--type'; usage: " + std::string(SendUsage));
    }
    if (!type) {
        return TaggedFrameType;
    }
    if (tagged && *type != TaggedFrameType && *type != TaggedSnapFrameType) {
        throw UsageError("'--vlan' needs a tagged frame type, 6 or 7, not " +
                         std::to_string(*type) + ".");
    }
    return static_cast<std::int32_t>(*type);
}

// The payload of --payload, or a default one; its size is checked against
// the frame type once the header size is known.
std::vector<unsigned char> PayloadOption(const CommandLine& line, int frameType) {
    const auto text = line.Value("payload");
    if (!text) {
        std::vector<unsigned char> payload(DefaultPayload);
        if (frameType == RawFrameType) {
            // What marks a raw 802.3 frame: its data begins FF FF.
            payload[0] = payload[1] = 0xFF;
        }
        return payload;
    }
    if (text->empty()) {
        return {};
    }
    auto bytes = qndis::ParseHexBytes(*text);
    if (!bytes) {
        throw UsageError("the payload is not hexadecimal bytes (two digits per byte, such as "
                         "0a1b2c).");
    }
    return std::move(*bytes);
}

void CheckPayloadFits(int frameType, std::int32_t frameLength, std::size_t payloadLength) {
    const FrameLimit& limit = FrameLimits[static_cast<std::size_t>(frameType)];
    if (static_cast<std::size_t>(frameLength) > limit.largestFrame) {
        const std::size_t header = static_cast<std::size_t>(frameLength) - payloadLength;
        throw UsageError("a payload of " + std::to_string(payloadLength) +
                         " bytes is too long for a frame of type " + std::to_string(frameType) +
                         ", which carries at most " + std::to_string(limit.largestFrame - header) +
                         ": " + limit.reason + ".");
    }
}

struct FrameBytes {
    void operator()(unsigned char* bytes) const { ::operator delete(bytes); }
};

// The driver answers a refused send with the system's errno code; another
// driver might answer with an NDIS status, which has the top bits set.
std::string RefusalReason(std::uint32_t status) {
    constexpr std::uint32_t LargestErrno = 4095;
    if (status == EPERM && !CanCapture()) {
        return CapturePermissionHelp(ProgramPath()) + ".";
    }
    if (status > LargestErrno) {
        std::array<char, 32> text{};
        std::snprintf(text.data(), text.size(), "NDIS status 0x%08X.", status);
        return text.data();
    }
    return std::string(std::strerror(static_cast<int>(status))) + ".";
}

std::unique_ptr<CNdisHook> AdapterOf(const CommandLine& line, std::string_view usage) {
    return OpenAdapter(AdapterByNameOrNumber(Required(line, "interface", usage)));
}

// One line per adapter, numbered from 1 as `-i N` counts them.
void PrintNumberedList(const CNdisAdapters& adapters) {
    int number = 0;
    for (const CNdisAdapter* adapter : adapters) {
        const std::string& speed = adapter->GetLinkSpeedString();
        std::printf("%d.%s [%s, %s%s%s]\n", ++number, adapter->GetNdisName().c_str(),
                    adapter->GetTypeAsString(), std::string(adapter->GetAddress()).c_str(),
                    speed.empty() ? "" : ", ", speed.c_str());
    }
    std::printf("%d.%.*s [every adapter at once, Linux cooked frames]\n", number + 1,
                static_cast<int>(AllAdaptersName.size()), AllAdaptersName.data());
}

void PrintDescriptions(const CNdisAdapters& adapters) {
    for (const CNdisAdapter* adapter : adapters) {
        std::printf("%s\n  %s\n  address %s, medium %s, link speed %s\n",
                    adapter->GetNdisName().c_str(), adapter->GetFullDescription().c_str(),
                    std::string(adapter->GetAddress()).c_str(), adapter->GetMediumAsString(),
                    adapter->GetLinkSpeedString().empty() ? "unknown"
                                                          : adapter->GetLinkSpeedString().c_str());
    }
}

} // namespace

int RunAdaptersCommand(std::span<const std::string> arguments) {
    const CommandLine line(arguments, ListOption);
    line.ExpectOperands(0, 0, "qndis adapters [-D]");
    CNdisAdapters adapters;
    adapters.ReadAdapters();
    if (line.Has("list-interfaces")) {
        PrintNumberedList(adapters);
    } else if (adapters.empty()) {
        std::printf("no adapters\n");
    } else {
        PrintDescriptions(adapters);
    }
    return 0;
}

int RunStatsCommand(std::span<const std::string> arguments) {
    const CommandLine line(arguments, AdapterOption);
    line.ExpectOperands(0, 0, "qndis stats -i ADAPTER");
    const std::unique_ptr<CNdisHook> hook = AdapterOf(line, "qndis stats -i ADAPTER");
    CNDISRequesterProxy proxy(hook.get());
    std::printf("%s: current address %s, permanent address %s\n", hook->GetAdapterName(),
                std::string(hook->GetCurrentAddress()).c_str(),
                std::string(hook->GetPermanentAddress()).c_str());
    PrintStatistics(proxy, stdout);
    return 0;
}

int RunSendCommand(std::span<const std::string> arguments) {
    const CommandLine line(arguments, SendOptions);
    line.ExpectOperands(0, 0, SendUsage);
    const std::int32_t type = FrameTypeOption(line);
    const std::optional<CMACAddr> source =
        line.Has("src") ? std::optional(MacOption(line, "src")) : std::nullopt;
    const CMACAddr destination = MacOption(line, "dst");
    const CProtocolId protocol = ProtocolOption(line);
    const std::vector<unsigned char> payload = PayloadOption(line, type);
    const long long count = line.Integer("count", 1, 1'000'000).value_or(1);
    const auto vlan = line.Integer("vlan", 0, MaxVlanId);

    const std::unique_ptr<CNdisHook> hook = AdapterOf(line, SendUsage);
    CEthernetInfo ethernet;
    if (vlan) {
        ethernet.SetBuiltTagControl(static_cast<std::uint16_t>(*vlan));
    }
    std::int32_t length = 0;
    const std::unique_ptr<unsigned char, FrameBytes> frame(ethernet.CreateFrame(
        length, type, payload.data(), static_cast<std::int32_t>(payload.size()),
        source.value_or(hook->GetCurrentAddress()), destination, protocol));
    if (!frame) {
        throw ToolError("the Ethernet medium cannot build a frame of type " + std::to_string(type) +
                        " from these values.");
    }
    CheckPayloadFits(type, length, payload.size());
    for (long long i = 0; i < count; ++i) {
        if (!hook->SendPacket(frame.get(), length)) {
            throw ToolError("the adapter '" + std::string(hook->GetAdapterName()) +
                            "' refused to send frame " + std::to_string(i + 1) + ": " +
                            RefusalReason(hook->GetSendStatus()));
        }
    }
    std::printf("sent %lld frame%s of %d bytes on %s\n", count, count == 1 ? "" : "s", length,
                hook->GetAdapterName());
    return 0;
}

} // namespace qndis::tool
