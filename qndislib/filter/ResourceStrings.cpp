#include "qndislib/filter/ResourceStrings.h"

CResourceStrings& CResourceStrings::Instance() {
    static CResourceStrings instance;
    return instance;
}

const char* CResourceStrings::Get(unsigned int id) {
    m_index = (m_index + 1) % SlotCount;
    std::string& slot = m_slots[m_index];
    if (!LoadResString(id, slot, m_module)) {
        slot.clear();
    }
    return slot.c_str();
}
