#include "qndislib/filter/StringTable.h"

#include "qndislib/platform/StringEntries.h"

#include <array>

namespace {

#define QNDIS_STRING_ID(id, text) id,
constexpr std::array TableIds{QNDIS_STRING_ENTRIES(QNDIS_STRING_ID)};
#undef QNDIS_STRING_ID
static_assert(TableIds.front() == IDS_SPEED && TableIds.back() == IDS_ICMP_TYPE &&
              TableIds.size() == IDS_ICMP_TYPE - IDS_SPEED + 1);

} // namespace

HSTRINGMODULE GetLibraryStringModule() {
    return qndis::ModuleStrings::Own();
}

bool LoadResString(unsigned int id, std::string& text, HSTRINGMODULE module) {
    return qndis::ModuleStrings::Load(module, id, text);
}

std::string GetResString(unsigned int id, HSTRINGMODULE module) {
    std::string text;
    if (!LoadResString(id, text, module)) {
        text.clear();
    }
    return text;
}
