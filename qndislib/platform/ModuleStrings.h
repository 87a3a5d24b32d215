#pragma once

// String tables of modules, kept as resource tables keep them: in blocks of
// 16 ids, block b + 1 holding ids b * 16 to b * 16 + 15. On Windows a module
// handle is the system's and the table its string-table resource; elsewhere
// a handle names a table compiled into the library.

#include <string>

#if defined(_WIN32)
#include <windows.h>
using HSTRINGMODULE = HINSTANCE;
#else
struct QndisStringModule;
using HSTRINGMODULE = const QndisStringModule*;
#endif

namespace qndis {

class ModuleStrings {
public:
    static constexpr unsigned int kBlockSize = 16;

    // The table of the module that holds qndislib's code.
    static HSTRINGMODULE Own();
    // An id inside a block that the module has gives true, with an empty
    // text for an unused entry; an id of a missing block, or a null module,
    // gives false.
    static bool Load(HSTRINGMODULE module, unsigned int id, std::string& text);
};

} // namespace qndis
