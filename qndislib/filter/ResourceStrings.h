#pragma once

#include "qndislib/Export.h"
#include "qndislib/filter/StringTable.h"

#include <array>
#include <cstdint>
#include <string>

// The process's one source of description words. Its module is null until
// library start-up calls
//     CResourceStrings::Instance().SetModule(GetLibraryStringModule());
// before anything asks for a text; until then every word is empty.
class QNDIS_API CResourceStrings {
public:
    static CResourceStrings& Instance();

    HSTRINGMODULE GetModule() const { return m_module; }
    void SetModule(HSTRINGMODULE module) { m_module = module; }

    // The text of `id` (empty when the table lacks it, never null). It lives
    // in a ring of ten slots, so it stays valid until ten further calls.
    // Not synchronised: one thread at a time.
    const char* Get(unsigned int id);

    CResourceStrings(const CResourceStrings&) = delete;
    CResourceStrings& operator=(const CResourceStrings&) = delete;

private:
    CResourceStrings() = default;

    static constexpr std::int32_t SlotCount = 10;

    HSTRINGMODULE m_module = nullptr;
    std::array<std::string, SlotCount> m_slots;
    std::int32_t m_index = 0;
};
