#include "tools/qndis/DemoCommand.h"

#include "qndislib/adapter/NDISRequesterProxy.h"
#include "qndislib/adapter/NdisAdapters.h"
#include "qndislib/capture/NdisHook.h"
#include "qndislib/qndislib.h"
#include "tools/qndis/AdapterAccess.h"
#include "tools/qndis/AdapterStatistics.h"
#include "tools/qndis/CommandLine.h"
#include "tools/qndis/DemoFrames.h"
#include "tools/qndis/FilterText.h"
#include "tools/qndis/FrameLine.h"
#include "tools/qndis/PcapWriter.h"
#include "tools/qndis/PrivateNetwork.h"
#include "tools/qndis/Privileges.h"
#include "tools/qndis/ToolError.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <unistd.h>

namespace qndis::tool {

namespace {

// Locally administered addresses, so the frames can be told from anyone
// else's on a shared loopback.
constexpr std::array<unsigned char, 6> DemoSource{0x02, 0x51, 0x4E, 0x44, 0x49, 0x53};
constexpr std::array<unsigned char, 6> DemoDestination{0x02, 0x51, 0x4E, 0x44, 0x49, 0x54};
constexpr auto CaptureTimeLimit = std::chrono::seconds(3);
constexpr std::uint32_t PumpWaitMs = 20;

struct DemoFilter {
    const char* text;
    const char* passes; // the numbers of the frames it must pass
};

constexpr std::array<DemoFilter, 6> DemoFilters{{
    {"proto ip", "2367"},
    {"dst port 53 or icmp type 8", "26"},
    {"src mac 02:51:4e:44:49:53 and not proto ip", "145"},
    {"contains \"GET \"", "3"},
    {"src ip 10.1.0.1 and dst port > 1023", "7"},
    {"vlan and udp", "7"},
}};

// Where the frames travel.
struct Path {
    std::string sendAdapter;    // empty when they are played back from a file
    std::string captureAdapter; // an NDIS name, "file:..." for the file
    std::string description;
    // A loopback others may use too: only broadcast frames are taken in, and
    // the demonstration sends nothing else, so no one else's frames are read.
    bool shared = false;
};

void Heading(const char* text) {
    std::printf("\n== %s\n", text);
}

std::string TemporaryCaptureFile() {
    const char* directory = std::getenv("TMPDIR");
    std::string pattern =
        std::string(directory != nullptr ? directory : "/tmp") + "/qndis-demo-XXXXXX.pcap";
    const int descriptor = mkstemps(pattern.data(), 5);
    if (descriptor < 0) {
        throw ToolError("cannot create a temporary capture file in " + pattern + ".");
    }
    close(descriptor);
    return pattern;
}

Path ChoosePath() {
    std::string why;
    if (const auto network = EnterPrivateNetwork(why)) {
        return {network->sendAdapter, network->captureAdapter,
                "a veth pair " + network->sendAdapter + " -> " + network->captureAdapter +
                    " in a private network namespace"};
    }
    if (CanCapture()) {
        // Perhaps in a fresh namespace already, whose loopback starts down.
        BringUpLoopback();
        return {"lo", "lo", "loopback (no private veth pair: " + why + ")", true};
    }
    return {"", "",
            "a capture file played back through the offline adapter (no capture "
            "rights: CAP_NET_RAW is missing)"};
}

std::uint64_t NowNanoseconds() {
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    return static_cast<std::uint64_t>(now.tv_sec) * 1'000'000'000ULL +
           static_cast<std::uint64_t>(now.tv_nsec);
}

struct Capture {
    std::vector<CQuorelFrame> frames;
    std::size_t wanted = 0;
};

void OnFrame(CNetworkFrame* frame, void* context) {
    auto* capture = static_cast<Capture*>(context);
    const CMediaInfo* medium = frame->AnalyzeFrame();
    if (medium != nullptr && medium->GetSourceAddress() == CMACAddr(DemoSource.data()) &&
        capture->frames.size() < capture->wanted) {
        capture->frames.emplace_back(frame);
    }
    frame->ReUse(context);
}

void ShowAdapters() {
    Heading("Adapters");
    CNdisAdapters adapters;
    adapters.ReadAdapters();
    for (const CNdisAdapter* adapter : adapters) {
        std::printf("  %-10s %s, address %s\n", adapter->GetNdisName().c_str(),
                    adapter->GetFullDescription().c_str(),
                    std::string(adapter->GetAddress()).c_str());
    }
}

// Opens the capturing adapter, arms its packages and sends (or has the
// file deliver) every frame, pumping with alertable waits in this thread.
std::unique_ptr<CNdisHook> CaptureFrames(Path& path, const std::vector<DemoFrame>& frames,
                                         Capture& capture) {
    if (path.sendAdapter.empty()) {
        path.captureAdapter = std::string(FileAdapterPrefix) + TemporaryCaptureFile();
        PcapWriter writer(path.captureAdapter.substr(FileAdapterPrefix.size()));
        const std::uint64_t start = NowNanoseconds();
        for (std::size_t i = 0; i < frames.size(); ++i) {
            const auto length = static_cast<std::uint32_t>(frames[i].bytes.size());
            writer.Write(frames[i].bytes.data(), length, length, start + i * 1000);
        }
        writer.Close();
    }
    std::unique_ptr<CNdisHook> hook = OpenAdapter(path.captureAdapter);
    capture.wanted = frames.size();
    hook->SetCallback(&OnFrame, &capture);
    hook->ReadStartup();
    const bool started = path.shared ? hook->SetPacketFilter(NDIS_PACKET_TYPE_BROADCAST)
                                     : hook->StartPromiscuousReception();
    if (!started) {
        throw ToolError("the adapter '" + path.captureAdapter + "' refused to start reception.");
    }
    if (!path.sendAdapter.empty()) {
        const std::unique_ptr<CNdisHook> sender = OpenAdapter(path.sendAdapter);
        for (const DemoFrame& frame : frames) {
            std::vector<unsigned char> bytes = frame.bytes;
            if (!sender->SendPacket(bytes.data(), static_cast<int>(bytes.size()))) {
                throw ToolError("the adapter '" + path.sendAdapter + "' refused to send.");
            }
        }
    }
    const auto deadline = std::chrono::steady_clock::now() + CaptureTimeLimit;
    while (capture.frames.size() < frames.size() && std::chrono::steady_clock::now() < deadline) {
        SleepEx(PumpWaitMs, TRUE);
    }
    hook->StopReception();
    hook->ResetCallback();
    if (IsFileAdapter(path.captureAdapter)) {
        std::remove(path.captureAdapter.substr(FileAdapterPrefix.size()).c_str());
    }
    return hook;
}

// The number of frames that came back classified as they were built.
std::size_t ShowClassification(const std::vector<DemoFrame>& sent, const Capture& capture,
                               const FrameTypeNames& names, std::uint64_t frequency) {
    std::size_t asBuilt = 0;
    Heading("Frames built by the library, sent and captured through the hook");
    FrameLine line(names, {.linkAddresses = true});
    for (std::size_t i = 0; i < sent.size(); ++i) {
        std::printf("  %zu. built as %-24s (%s, %zu bytes)\n", i + 1, names.Name(sent[i].type),
                    sent[i].what.c_str(), sent[i].bytes.size());
        if (i >= capture.frames.size()) {
            std::printf("     not captured\n");
            continue;
        }
        const CMediaInfo* medium = capture.frames[i].GetMediaInfo();
        const int type = medium != nullptr ? medium->GetFrameType() : 0;
        const auto stamp =
            static_cast<std::uint64_t>(static_cast<std::int64_t>(capture.frames[i].GetTimeStamp()));
        const std::string_view text =
            line.Format(capture.frames[i], StampToNanoseconds(stamp, frequency));
        std::printf("     captured: %.*s", static_cast<int>(text.size()), text.data());
        std::printf("     classified as %s: %s\n", names.Name(type),
                    type == sent[i].type ? "as built" : "DIFFERENT FROM WHAT WAS BUILT");
        asBuilt += type == sent[i].type ? 1 : 0;
    }
    std::printf("  %zu of %zu frames captured\n", capture.frames.size(), sent.size());
    return asBuilt;
}

// The number of verdicts that differ from what the frames carry; each is
// marked in the table.
std::size_t ShowVerdicts(const std::vector<std::unique_ptr<CFilter>>& filters,
                         const Capture& capture) {
    std::size_t wrong = 0;
    for (std::size_t f = 0; f < filters.size(); ++f) {
        std::printf("  %-44s", DemoFilters[f].text);
        for (std::size_t i = 0; i < capture.frames.size(); ++i) {
            const bool passed = filters[f]->CheckFrame(&capture.frames[i]);
            const bool wanted =
                std::string_view(DemoFilters[f].passes).find(static_cast<char>('1' + i)) !=
                std::string_view::npos;
            std::printf(" %s%s", passed ? "pass" : " -  ", passed == wanted ? "" : "!");
            wrong += passed == wanted ? 0 : 1;
        }
        std::printf("\n");
    }
    if (wrong != 0) {
        std::printf("  ! %zu verdicts differ from what the frames carry\n", wrong);
    }
    return wrong;
}

std::vector<std::unique_ptr<CFilter>> ShowFilters(const Capture& capture, std::size_t& wrong) {
    Heading("Filters, their descriptions and verdicts on frames 1 to 7");
    std::vector<std::unique_ptr<CFilter>> filters;
    for (const DemoFilter& demo : DemoFilters) {
        filters.push_back(ParseFilterText(demo.text));
        std::printf("  %s\n    = %s\n", demo.text, filters.back()->GetDescription().c_str());
    }
    std::printf("\n  %-44s", "verdicts");
    for (std::size_t i = 0; i < capture.frames.size(); ++i) {
        std::printf("  %zu  ", i + 1);
    }
    std::printf("\n");
    wrong += ShowVerdicts(filters, capture);
    return filters;
}

void ShowFilterSet(const std::vector<std::unique_ptr<CFilter>>& filters, const Capture& capture,
                   std::size_t& wrong) {
    Heading("The filter set stored as filter records and read back");
    const std::string path = TemporaryCaptureFile();
    std::vector<const CFilter*> set;
    for (const auto& filter : filters) {
        set.push_back(filter.get());
    }
    WriteFilterFile(path, set);
    std::vector<std::unique_ptr<CFilter>> back = ReadFilterFile(path);
    std::remove(path.c_str());
    std::size_t same = 0;
    for (std::size_t i = 0; i < back.size() && i < filters.size(); ++i) {
        bool agrees = back[i]->GetDescription() == filters[i]->GetDescription();
        for (const CQuorelFrame& frame : capture.frames) {
            agrees = agrees && back[i]->CheckFrame(&frame) == filters[i]->CheckFrame(&frame);
        }
        same += agrees ? 1 : 0;
    }
    std::printf("  stored %zu filters, read back %zu; %zu describe themselves and decide every "
                "frame as before\n",
                filters.size(), back.size(), same);
    if (back.size() == filters.size() && same == filters.size()) {
        wrong += ShowVerdicts(back, capture);
    } else {
        wrong += filters.size() - same;
    }
}

} // namespace

int RunDemoCommand(std::span<const std::string> arguments) {
    const CommandLine line(arguments, {});
    line.ExpectOperands(0, 0, "qndis demo");
    Path path = ChoosePath();
    std::printf("qndis demo on %s\n", path.description.c_str());
    if (!path.sendAdapter.empty() && !path.shared) {
        ShowAdapters();
    }

    const CMACAddr destination =
        path.shared ? CMACAddr::MACBroadcast : CMACAddr(DemoDestination.data());
    const std::vector<DemoFrame> frames = BuildDemoFrames(CMACAddr(DemoSource.data()), destination);
    const std::unique_ptr<CMediaInfo> medium(CreateMedium("Ethernet"));
    if (!medium) {
        throw ToolError("the library has no Ethernet medium registered.");
    }
    const FrameTypeNames names(*medium);
    Capture capture;
    const std::unique_ptr<CNdisHook> hook = CaptureFrames(path, frames, capture);
    const std::size_t asBuilt = ShowClassification(
        frames, capture, names,
        static_cast<std::uint64_t>(static_cast<std::int64_t>(hook->GetTimestampFrequency())));
    std::size_t wrongVerdicts = 0;
    const auto filters = ShowFilters(capture, wrongVerdicts);
    ShowFilterSet(filters, capture, wrongVerdicts);

    Heading(("Statistics of the capturing adapter " + path.captureAdapter).c_str());
    CNDISRequesterProxy proxy(hook.get());
    PrintStatistics(proxy, stdout);
    hook->CloseDriver();
    if (asBuilt != frames.size()) {
        throw ToolError("only " + std::to_string(asBuilt) + " of the " +
                        std::to_string(frames.size()) +
                        " frames came back through the capture classified as they were built.");
    }
    if (wrongVerdicts != 0) {
        throw ToolError(std::to_string(wrongVerdicts) +
                        " filter verdicts differ from what the demonstration frames carry.");
    }
    return 0;
}

} // namespace qndis::tool
