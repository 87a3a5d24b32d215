#include "tools/qndis/FilterCommand.h"

#include "qndislib/qndislib.h"
#include "tools/qndis/CommandLine.h"
#include "tools/qndis/FilterOutline.h"
#include "tools/qndis/FilterText.h"
#include "tools/qndis/ToolError.h"

#include <cstdint>
#include <cstdio>

namespace qndis::tool {

namespace {

constexpr std::string_view Usage =
    "qndis filter describe FILTER | save FILTER OUT | show FILE | bpf FILTER";

std::int32_t StoredSize(const CFilter& filter) {
    ktools::CMemoryBuffer buffer;
    filter.Pack(buffer);
    return buffer.GetSize();
}

void Show(const CFilter& filter) {
    std::printf("%s\n%s", filter.GetDescription().c_str(), FilterOutline(filter).c_str());
}

int Describe(const CommandLine& line) {
    line.ExpectOperands(2, SIZE_MAX, "qndis filter describe FILTER");
    const std::unique_ptr<CFilter> filter =
        ParseFilterText(JoinFilterWords(std::span(line.Operands()).subspan(1)));
    Show(*filter);
    std::printf("stored as %d bytes\n", StoredSize(*filter));
    return 0;
}

int Save(const CommandLine& line) {
    line.ExpectOperands(3, SIZE_MAX, "qndis filter save FILTER OUT");
    const std::span<const std::string> operands(line.Operands());
    const std::string& path = operands.back();
    const std::unique_ptr<CFilter> filter =
        ParseFilterText(JoinFilterWords(operands.subspan(1, operands.size() - 2)));
    WriteFilterFile(path, {filter.get()});
    std::printf("stored in %s (%d bytes): %s\n", path.c_str(), StoredSize(*filter),
                filter->GetDescription().c_str());
    return 0;
}

int ShowFile(const CommandLine& line) {
    line.ExpectOperands(2, 2, "qndis filter show FILE");
    const auto filters = ReadFilterFile(line.Operands()[1]);
    for (std::size_t i = 0; i < filters.size(); ++i) {
        if (filters.size() > 1) {
            std::printf("filter %zu of %zu:\n", i + 1, filters.size());
        }
        Show(*filters[i]);
    }
    return 0;
}

// The kernel's program for the filter, in the listing form packet-filter
// tools read; a note on stderr says when it leaves frames to the filter.
int PrintProgram(const CommandLine& line) {
    line.ExpectOperands(2, SIZE_MAX, "qndis filter bpf FILTER");
    const std::unique_ptr<CFilter> filter =
        ParseFilterText(JoinFilterWords(std::span(line.Operands()).subspan(1)));
    const CFilterProgram program(*filter);
    std::fputs(program.GetListing().c_str(), stdout);
    if (!program.IsExact()) {
        std::fputs("note: the program passes a superset of the frames; the filter decides the "
                   "rest\n",
                   stderr);
    }
    return 0;
}

} // namespace

int RunFilterCommand(std::span<const std::string> arguments) {
    const CommandLine line(arguments, {});
    if (line.Operands().empty()) {
        throw UsageError("missing filter command; usage: " + std::string(Usage));
    }
    const std::string& action = line.Operands().front();
    if (action == "describe") {
        return Describe(line);
    }
    if (action == "save") {
        return Save(line);
    }
    if (action == "show") {
        return ShowFile(line);
    }
    if (action == "bpf") {
        return PrintProgram(line);
    }
    throw UsageError("unknown filter command '" + action + "'; usage: " + std::string(Usage));
}

} // namespace qndis::tool
