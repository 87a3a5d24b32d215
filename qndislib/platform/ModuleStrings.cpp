#include "qndislib/platform/ModuleStrings.h"

#include "qndislib/platform/StringEntries.h"

#include <array>
#include <span>
#include <string_view>

// A module's table: consecutive blocks of entries starting with block
// `firstBlock`.
struct QndisStringModule {
    unsigned int firstBlock;
    std::span<const std::string_view> entries;
};

namespace qndis {

namespace {

#define QNDIS_STRING_ID(id, text) id,
#define QNDIS_STRING_TEXT(id, text) text,
constexpr std::array Ids{QNDIS_STRING_ENTRIES(QNDIS_STRING_ID)};
constexpr std::array Texts{QNDIS_STRING_ENTRIES(QNDIS_STRING_TEXT)};
#undef QNDIS_STRING_ID
#undef QNDIS_STRING_TEXT

constexpr unsigned int FirstId = Ids.front();
static_assert(FirstId % ModuleStrings::kBlockSize == 0);

constexpr bool IdsFollowOneAnother() {
    for (std::size_t i = 0; i < Ids.size(); ++i) {
        if (Ids[i] != FirstId + i) {
            return false;
        }
    }
    return true;
}
static_assert(IdsFollowOneAnother());

// Whole blocks, the entries after the last id unused.
constexpr std::size_t BlockCount =
    (Ids.size() + ModuleStrings::kBlockSize - 1) / ModuleStrings::kBlockSize;

constexpr auto LibraryEntries = [] {
    std::array<std::string_view, BlockCount * ModuleStrings::kBlockSize> entries{};
    for (std::size_t i = 0; i < Texts.size(); ++i) {
        entries[i] = Texts[i];
    }
    return entries;
}();

constexpr QndisStringModule LibraryModule{FirstId / ModuleStrings::kBlockSize + 1, LibraryEntries};

} // namespace

HSTRINGMODULE ModuleStrings::Own() {
    return &LibraryModule;
}

bool ModuleStrings::Load(HSTRINGMODULE module, unsigned int id, std::string& text) {
    if (module == nullptr) {
        return false;
    }
    const unsigned int block = ((id >> 4) & 0xFFFF) + 1;
    const std::size_t blocks = module->entries.size() / kBlockSize;
    if (block < module->firstBlock || block - module->firstBlock >= blocks) {
        return false;
    }
    text = module->entries[(block - module->firstBlock) * kBlockSize + id % kBlockSize];
    return true;
}

} // namespace qndis
