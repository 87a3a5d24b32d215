#include "tools/qndis/AdapterCommands.h"

#include "qndislib/adapter/NDISRequesterProxy.h"
#include "qndislib/adapter/NdisAdapters.h"
#include "qndislib/addr/StrictHexText.h"
#include "qndislib/capture/NdisHook.h"
#include "qndislib/qndislib.h"
#include "tools/qndis/AdapterAccess.h"
#include "tools/qndis/AdapterStatistics.h"
#include "tools/qndis/CommandLine.h"
#include "tools/qndis/Privileges.h"
#include "tools/qndis/ToolError.h"

#include <array>
#include <cstdio>

namespace qndis::tool {

namespace {

constexpr std::array<OptionSpec, 1> AdapterOption{{{"interface", 'i', true}}};

constexpr std::array<OptionSpec, 7> SendOptions{{
    {"interface", 'i', true},
    {"type", 0, true},
    {"src", 0, true},
    {"dst", 0, true},
    {"proto", 0, true},
    {"payload", 0, true},
    {"count", 'c', true},
}};

constexpr std::string_view SendUsage =
    "qndis send -i ADAPTER --type N --src MAC --dst MAC --proto ID [--payload HEX] [-c COUNT]";

// The builder pads nothing, so the default payload fills the smallest
// Ethernet frame; the largest is what one frame on the wire can carry.
constexpr std::size_t DefaultPayload = 46;
constexpr std::size_t MaxPayload = 1500;
constexpr std::size_t MaxProtocolIdLength = 6;
constexpr int RawFrameType = 1;
constexpr int MaxFrameType = 7;

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

CProtocolId ProtocolOption(const CommandLine& line) {
    const std::string text = Required(line, "proto", SendUsage);
    const auto bytes = qndis::ParseHexBytes(text);
    if (!bytes || bytes->size() > MaxProtocolIdLength) {
        throw UsageError("'" + text +
                         "' is not a protocol id (up to six hexadecimal bytes such "
                         "as 0800 or 0000000800).");
    }
    return CProtocolId(static_cast<int>(bytes->size()), bytes->data());
}

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
    if (!bytes || bytes->size() > MaxPayload) {
        throw UsageError("the payload must be at most " + std::to_string(MaxPayload) +
                         " hexadecimal bytes.");
    }
    return std::move(*bytes);
}

struct FrameBytes {
    void operator()(unsigned char* bytes) const { ::operator delete(bytes); }
};

std::unique_ptr<CNdisHook> AdapterOf(const CommandLine& line, std::string_view usage) {
    return OpenAdapter(Required(line, "interface", usage));
}

} // namespace

int RunAdaptersCommand(std::span<const std::string> arguments) {
    const CommandLine line(arguments, {});
    line.ExpectOperands(0, 0, "qndis adapters");
    CNdisAdapters adapters;
    adapters.ReadAdapters();
    for (const CNdisAdapter* adapter : adapters) {
        std::printf("%s\n  %s\n  address %s, medium %s, link speed %s\n",
                    adapter->GetNdisName().c_str(), adapter->GetFullDescription().c_str(),
                    std::string(adapter->GetAddress()).c_str(), adapter->GetMediumAsString(),
                    adapter->GetLinkSpeedString().empty() ? "unknown"
                                                          : adapter->GetLinkSpeedString().c_str());
    }
    if (adapters.empty()) {
        std::printf("no adapters\n");
    }
    if (!adapters.empty() && !CanCapture()) {
        std::fprintf(stderr,
                     "qndis: note: the adapters could not be opened, so their properties are "
                     "unknown; %s\n",
                     CapturePermissionHelp(ProgramPath()).c_str());
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
    const auto typeValue = line.Integer("type", 1, MaxFrameType);
    if (!typeValue) {
        throw UsageError("missing '--type'; usage: " + std::string(SendUsage));
    }
    const auto type = static_cast<std::int32_t>(*typeValue);
    const CMACAddr source = MacOption(line, "src");
    const CMACAddr destination = MacOption(line, "dst");
    const CProtocolId protocol = ProtocolOption(line);
    const std::vector<unsigned char> payload = PayloadOption(line, type);
    const long long count = line.Integer("count", 1, 1'000'000).value_or(1);

    CEthernetInfo ethernet;
    std::int32_t length = 0;
    const std::unique_ptr<unsigned char, FrameBytes> frame(ethernet.CreateFrame(
        length, type, payload.data(), static_cast<std::int32_t>(payload.size()), source,
        destination, protocol));
    if (!frame) {
        throw ToolError("the Ethernet medium cannot build a frame of type " + std::to_string(type) +
                        " from these values.");
    }
    const std::unique_ptr<CNdisHook> hook = AdapterOf(line, SendUsage);
    for (long long i = 0; i < count; ++i) {
        if (!hook->SendPacket(frame.get(), length)) {
            throw ToolError("the adapter '" + std::string(hook->GetAdapterName()) +
                            "' refused to send frame " + std::to_string(i + 1) + ".");
        }
    }
    std::printf("sent %lld frame%s of %d bytes on %s\n", count, count == 1 ? "" : "s", length,
                hook->GetAdapterName());
    return 0;
}

} // namespace qndis::tool
