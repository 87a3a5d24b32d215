#include "tools/qndis/CaptureCommand.h"

#include "qndislib/adapter/NDISRequesterProxy.h"
#include "qndislib/capture/NdisHook.h"
#include "qndislib/qndislib.h"
#include "tools/qndis/AdapterAccess.h"
#include "tools/qndis/AdapterStatistics.h"
#include "tools/qndis/CaptureFile.h"
#include "tools/qndis/CaptureSession.h"
#include "tools/qndis/CommandLine.h"
#include "tools/qndis/FilterText.h"
#include "tools/qndis/PcapWriter.h"
#include "tools/qndis/ReadSession.h"
#include "tools/qndis/ToolError.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace qndis::tool {

namespace {

constexpr std::array<OptionSpec, 17> Options{{
    {"interface", 'i', true},
    {"count", 'c', true},
    {"duration", 0, true},
    {"no-time", 't', false},
    {"time", 0, true},
    {"verbose", 'v', false},
    {"hex", 'x', false},
    {"hex-ascii", 'X', false},
    {"promisc", 0, false},
    {"filter", 'f', true},
    {"filter-file", 0, true},
    {"write", 'w', true},
    {"quick", 'q', false},
    {"link-addresses", 'e', false},
    {"no-lines", 0, false},
    {"no-kernel-filter", 0, false},
    {"pcapng", 0, false},
}};

constexpr std::string_view CaptureUsage =
    "qndis capture -i ADAPTER|N|any [-c COUNT] [--duration SECONDS] [--promisc] [-f FILTER | "
    "--filter-file FILE | FILTER...] [--no-kernel-filter] [-w OUT.pcap[ng]] [--pcapng] "
    "[--no-lines] [-q] [-e] [-t | --time=iso|epoch|delta|relative] [-v] [-x | -X]";
constexpr std::string_view ReadUsage =
    "qndis read FILE [-c COUNT] [-f FILTER | --filter-file FILE | FILTER...] [-w OUT.pcap[ng]] "
    "[--pcapng] [--no-lines] [-q] [-e] [-t | --time=iso|epoch|delta|relative] [-v] [-x | -X]";

struct NamedTimeView {
    std::string_view name;
    TimeView view;
};
constexpr std::array<NamedTimeView, 4> TimeViews{{
    {"iso", TimeView::Iso},
    {"epoch", TimeView::Epoch},
    {"delta", TimeView::Delta},
    {"relative", TimeView::Relative},
}};

// Reading a file this large takes long enough to want a progress line.
constexpr std::uint64_t ProgressFileSize = 16ULL * 1024 * 1024;
constexpr std::size_t OutputBufferSize = 1 << 20;
constexpr std::uint32_t EthernetMedium = 0;

// The filter of -f, of --filter-file, or of the words after the other
// operands, as other capture tools take it.
std::unique_ptr<CFilter> FilterOption(const CommandLine& line, std::span<const std::string> words) {
    const auto text = line.Value("filter");
    const auto file = line.Value("filter-file");
    if (int{text.has_value()} + int{file.has_value()} + int{!words.empty()} > 1) {
        throw UsageError("give the filter once: as '-f FILTER', '--filter-file FILE' or the "
                         "words at the end, not more than one of them.");
    }
    if (!words.empty()) {
        return ParseFilterText(JoinFilterWords(words));
    }
    if (text) {
        return ParseFilterText(*text);
    }
    if (file) {
        return JoinFilters(ReadFilterFile(*file));
    }
    return nullptr;
}

std::string Count(std::uint64_t value) {
    return QWORD(value).AsNumber(true);
}

void PrintFrameCounts(const CaptureTotals& totals, const FrameTypeNames& names, bool filtered) {
    std::FILE* out = stderr;
    std::fprintf(out, "--\n%s%s %s", totals.interrupted ? "interrupted; " : "",
                 Count(totals.matched).c_str(), totals.matched == 1 ? "frame" : "frames");
    if (filtered) {
        std::fprintf(out, " matched the filter, of %s", Count(totals.received).c_str());
    }
    const QWORD bytes(totals.bytes);
    std::fprintf(out, "; %s bytes (%s)\n", bytes.AsNumber(true).c_str(),
                 bytes.AsData(false).c_str());
    for (int type = 0; type <= FrameTypeNames::MaxId; ++type) {
        const std::uint64_t count = totals.byType[static_cast<std::size_t>(type)];
        if (count != 0) {
            std::fprintf(out, "  %-24s %s\n", type == 0 ? "not classified" : names.Name(type),
                         Count(count).c_str());
        }
    }
}

void PrintSummary(const std::string& adapterName, const CaptureTotals& totals,
                  const FrameTypeNames& names, bool filtered, CNDISRequesterProxy& proxy) {
    PrintFrameCounts(totals, names, filtered);
    std::FILE* out = stderr;
    // The capture's own losses come from the driver; the packet numbers say
    // where they fell. The interface's counters cover all its traffic.
    const std::int32_t lost = proxy.GetMissedFrames();
    std::fprintf(out, "lost by this capture: %s frames (%s packet numbers skipped)\n",
                 proxy.IsOk() ? Count(static_cast<std::uint32_t>(lost)).c_str() : "unknown",
                 Count(totals.gaps).c_str());
    std::fprintf(out, "%s frames cut to %s bytes\n", Count(totals.cut).c_str(),
                 Count(w32n55abi::receive_record::kDataCapacity).c_str());
    std::fprintf(out, "interface %s, all its traffic: %s\n", adapterName.c_str(),
                 totals.adapterRemoved ? "unknown, the adapter disappeared"
                                       : BriefStatistics(proxy).c_str());
}

std::uint64_t FileSize(const std::string& path) {
    struct stat status {};
    return ::stat(path.c_str(), &status) == 0 ? static_cast<std::uint64_t>(status.st_size) : 0;
}

// Before anything is written to it: frame lines go out in large blocks
// unless a person is watching.
void BufferStandardOutput() {
    if (isatty(STDOUT_FILENO) == 0) {
        static std::array<char, OutputBufferSize> outputBuffer;
        std::setvbuf(stdout, outputBuffer.data(), _IOFBF, outputBuffer.size());
    }
}

// pcapng when asked for or when the name ends so; the interface is named
// after the adapter or the input file.
void OpenWriter(const CommandLine& line, std::optional<PcapWriter>& writer, CaptureOptions& options,
                PcapFormat format) {
    if (const auto path = line.Value("write")) {
        format.pcapng = line.Has("pcapng") || path->ends_with(".pcapng");
        writer.emplace(*path, format);
        options.writer = &*writer;
    }
}

FrameTypeNames FrameTypesOf(const std::string& shorthand = "Ethernet") {
    const std::unique_ptr<CMediaInfo> medium(CreateMedium(shorthand));
    if (!medium) {
        throw ToolError("the library has no " + shorthand + " medium registered.");
    }
    return FrameTypeNames(*medium);
}

TimeView TimeViewOption(const CommandLine& line) {
    const auto name = line.Value("time");
    if (!name) {
        return line.Has("no-time") ? TimeView::None : TimeView::Clock;
    }
    if (line.Has("no-time")) {
        throw UsageError("give '-t' or '--time', not both.");
    }
    for (const NamedTimeView& entry : TimeViews) {
        if (entry.name == *name) {
            return entry.view;
        }
    }
    throw UsageError("option '--time' needs iso, epoch, delta or relative, not '" + *name + "'.");
}

// The options both commands share.
CaptureOptions CommonOptions(const CommandLine& line, const CFilter* filter) {
    CaptureOptions options;
    options.view = {TimeViewOption(line), line.Has("verbose"), line.Has("link-addresses"),
                    line.Has("quick")};
    if (line.Has("hex") && line.Has("hex-ascii")) {
        throw UsageError("give '-x' or '-X', not both.");
    }
    if (line.Has("hex") || line.Has("hex-ascii")) {
        options.dump.emplace(line.Has("hex-ascii"));
    }
    if (const auto count = line.Integer("count", 1, INT64_MAX)) {
        options.count = static_cast<std::uint64_t>(*count);
    }
    // Frames written to standard output leave no room for frame lines.
    options.noLines = line.Has("no-lines") || line.Value("write") == "-";
    options.filter = filter;
    return options;
}

int Capture(const CommandLine& line, const std::string& adapterName,
            std::span<const std::string> filterWords) {
    const std::unique_ptr<CFilter> filter = FilterOption(line, filterWords);
    CaptureOptions options = CommonOptions(line, filter.get());
    options.seconds = line.Seconds("duration");
    options.promiscuous = line.Has("promisc");
    options.offline = IsFileAdapter(adapterName);
    if (options.offline) {
        CheckCaptureFile(adapterName.substr(FileAdapterPrefix.size()));
        options.fileSize = FileSize(adapterName.substr(FileAdapterPrefix.size()));
        options.progress = options.fileSize >= ProgressFileSize && isatty(STDERR_FILENO) != 0;
    }

    const bool allAdapters = adapterName == AllAdaptersName;
    if (allAdapters && options.promiscuous) {
        throw UsageError("the adapter 'any' cannot be made promiscuous; capture on one adapter "
                         "with --promisc instead.");
    }
    const std::uint32_t linkType = allAdapters ? AllAdaptersLinkType : PcapFormat().linkType;
    options.linkMedium = allAdapters ? MediumOfLinkType(linkType) : nullptr;
    const std::unique_ptr<CNdisHook> hook = OpenAdapter(adapterName);
    if (!allAdapters && hook->GetMedium() != EthernetMedium) {
        throw ToolError("'" + adapterName + "' is not an Ethernet adapter (NDIS medium " +
                        std::to_string(static_cast<std::int32_t>(hook->GetMedium())) +
                        "); only Ethernet frames can be analysed.");
    }
    BufferStandardOutput();
    std::optional<PcapWriter> writer;
    OpenWriter(line, writer, options, {linkType, false, adapterName});
    const FrameTypeNames names =
        options.linkMedium != nullptr ? FrameTypesOf(options.linkMedium) : FrameTypesOf();
    const char* kernelFilter = nullptr;
    if (filter && !options.offline) {
        kernelFilter = line.Has("no-kernel-filter")          ? "off (--no-kernel-filter)"
                       : hook->SetKernelFilter(filter.get()) ? "attached"
                                                             : "not available";
    }
    CatchInterrupt();
    CaptureSession session(*hook, names, options, stdout);
    session.Run();
    if (writer) {
        writer->Close();
    }
    CNDISRequesterProxy proxy(hook.get());
    PrintSummary(adapterName, session.Totals(), names, filter != nullptr, proxy);
    if (kernelFilter != nullptr) {
        std::fprintf(stderr, "kernel filter: %s\n", kernelFilter);
    }
    if (session.Totals().adapterRemoved) {
        throw ToolError("the adapter " + adapterName + " disappeared.");
    }
    return 0;
}

// A file is read whole, frame by frame, straight from libpcap; the frames
// before any damage are handled as usual, then the damage ends the command.
int Read(const CommandLine& line, const std::string& path,
         std::span<const std::string> filterWords) {
    const std::unique_ptr<CFilter> filter = FilterOption(line, filterWords);
    CaptureOptions options = CommonOptions(line, filter.get());
    CaptureFile file(path);
    if (path != "-") {
        options.fileSize = FileSize(path);
        options.progress = options.fileSize >= ProgressFileSize && isatty(STDERR_FILENO) != 0;
    }
    BufferStandardOutput();
    std::optional<PcapWriter> writer;
    OpenWriter(line, writer, options, {file.LinkType(), false, path});
    const FrameTypeNames names = FrameTypesOf(file.Medium());
    CatchInterrupt();
    ReadSession session(file, names, options, stdout);
    session.Run();
    if (writer) {
        writer->Close();
    }
    PrintFrameCounts(session.Totals(), names, filter != nullptr);
    if (!file.Damage().empty() && !session.Totals().interrupted) {
        throw ToolError(file.Damage());
    }
    return 0;
}

} // namespace

int RunCaptureCommand(std::span<const std::string> arguments) {
    const CommandLine line(arguments, Options);
    line.ExpectOperands(0, SIZE_MAX, CaptureUsage);
    const auto adapter = line.Value("interface");
    if (!adapter) {
        throw UsageError("capture needs an adapter: -i ADAPTER ('qndis adapters' lists them).");
    }
    return Capture(line, AdapterByNameOrNumber(*adapter), line.Operands());
}

int RunReadCommand(std::span<const std::string> arguments) {
    const CommandLine line(arguments, Options);
    line.ExpectOperands(1, SIZE_MAX, ReadUsage);
    if (line.Has("interface") || line.Has("promisc") || line.Has("duration")) {
        throw UsageError("read takes a file, not an adapter; usage: " + std::string(ReadUsage));
    }
    return Read(line, line.Operands().front(), std::span(line.Operands()).subspan(1));
}

} // namespace qndis::tool
