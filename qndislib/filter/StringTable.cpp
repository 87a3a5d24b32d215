#include "qndislib/filter/StringTable.h"

#include <array>
#include <span>
#include <string_view>

// A module's table: consecutive blocks of 16 entries starting with block
// `firstBlock` (the block of id b * 16 is b + 1).
struct QndisStringModule {
    unsigned int firstBlock;
    std::span<const std::string_view> entries;
};

namespace {

constexpr unsigned int BlockSize = 16;

// Blocks 65 and 66: ids 1024 to 1055, of which 1044 onwards are unused.
constexpr std::array<std::string_view, 2 * BlockSize> LibraryEntries = {
    ", Speed: ",
    "is equal to ",
    "is less than ",
    "is greater than ",
    "is not equal to ",
    "is less or equal to ",
    "is greater or equal to ",
    "source MAC ",
    "destination MAC ",
    "protocol ",
    " and ",
    " or ",
    "subprotocol ",
    "source IP address ",
    "destination IP address ",
    "source TCP/UDP port ",
    "destination TCP/UDP port ",
    "frame contains ",
    "at offset ",
    "ICMP type ",
};

constexpr QndisStringModule LibraryModule{IDS_SPEED / BlockSize + 1, LibraryEntries};

static_assert(LibraryEntries[IDS_ICMP_TYPE - IDS_SPEED] == "ICMP type ");
static_assert(IDS_SPEED % BlockSize == 0);

} // namespace

HSTRINGMODULE GetLibraryStringModule() {
    return &LibraryModule;
}

bool LoadResString(unsigned int id, std::string& text, HSTRINGMODULE module) {
    if (module == nullptr) {
        return false;
    }
    const unsigned int block = ((id >> 4) & 0xFFFF) + 1;
    const std::size_t blocks = module->entries.size() / BlockSize;
    if (block < module->firstBlock || block - module->firstBlock >= blocks) {
        return false;
    }
    text = module->entries[(block - module->firstBlock) * BlockSize + id % BlockSize];
    return true;
}

std::string GetResString(unsigned int id, HSTRINGMODULE module) {
    std::string text;
    if (!LoadResString(id, text, module)) {
        text.clear();
    }
    return text;
}
