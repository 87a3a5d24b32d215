#include "tools/qndis/AdapterAccess.h"

#include "qndislib/capture/NdisHook.h"
#include "qndislib/qndislib.h"
#include "tools/qndis/CaptureFile.h"
#include "tools/qndis/Privileges.h"
#include "tools/qndis/ToolError.h"

#include <algorithm>
#include <cstring>

namespace qndis::tool {

namespace {

// Enough for any list, short enough to convert without overflow.
constexpr std::size_t MaxListDigits = 9;

std::string JoinNames(const CNdisAdapters& adapters) {
    std::string known;
    for (const CNdisAdapter* adapter : adapters) {
        known += (known.empty() ? "" : ", ") + adapter->GetNdisName();
    }
    return known;
}

std::string LiveProblem(const std::string& name) {
    CNdisAdapters adapters;
    adapters.ReadAdapters();
    if (adapters.FindByNdisName(name) < 0) {
        const std::string known = JoinNames(adapters);
        return "there is no adapter named '" + name +
               "'; the adapters here are: " + (known.empty() ? std::string("none") : known) +
               " ('qndis adapters' describes them).";
    }
    if (!CanCapture()) {
        return CapturePermissionHelp(ProgramPath());
    }
    return "cannot open the adapter '" + name + "' although it exists; is it up?";
}

bool IsListNumber(const std::string& text) {
    return !text.empty() && text.size() <= MaxListDigits &&
           std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

std::string AdapterByNameOrNumber(const std::string& nameOrNumber) {
    if (!IsListNumber(nameOrNumber)) {
        return nameOrNumber;
    }
    CNdisAdapters adapters;
    adapters.ReadAdapters();
    if (adapters.FindByNdisName(nameOrNumber) >= 0) {
        return nameOrNumber;
    }
    const std::size_t number = std::stoul(nameOrNumber);
    if (number == adapters.size() + 1) {
        return std::string(AllAdaptersName);
    }
    if (number == 0 || number > adapters.size()) {
        throw UsageError("there is no adapter number " + nameOrNumber + "; 'qndis -D' numbers " +
                         std::to_string(adapters.size()) + " adapters and 'any'.");
    }
    return adapters[number - 1]->GetNdisName();
}

void CheckCaptureFile(const std::string& path) {
    const CaptureFile file(path);
}

bool IsFileAdapter(const std::string& ndisName) {
    return ndisName.starts_with(FileAdapterPrefix);
}

std::unique_ptr<CNdisHook> OpenAdapter(const std::string& ndisName) {
    if (ndisName.empty()) {
        throw UsageError("the adapter name is empty.");
    }
    if (ndisName.size() >= CNdisHook::NameSize) {
        throw UsageError("the adapter name is longer than " +
                         std::to_string(CNdisHook::NameSize - 1) + " characters.");
    }
    auto hook = std::make_unique<CNdisHook>();
    if (hook->OpenDriver(ndisName.c_str())) {
        return hook;
    }
    hook.reset();
    if (IsFileAdapter(ndisName)) {
        const std::string path = ndisName.substr(FileAdapterPrefix.size());
        CheckCaptureFile(path);
        throw ToolError("the driver library cannot play back '" + path + "'.");
    }
    throw ToolError(LiveProblem(ndisName));
}

} // namespace qndis::tool
