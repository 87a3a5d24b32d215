#include "qndislib/platform/ModuleStrings.h"

#include <vector>

namespace qndis {

namespace {

// Any object of this file lies in the image of the module holding qndislib.
constexpr char kAnchor = 0;

} // namespace

HSTRINGMODULE ModuleStrings::Own() {
    HMODULE module = nullptr;
    ::GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                             GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         &kAnchor, &module);
    return module;
}

bool ModuleStrings::Load(HSTRINGMODULE module, unsigned int id, std::string& text) {
    if (module == nullptr) {
        return false;
    }
    const auto block = static_cast<WORD>(((id >> 4) & 0xFFFF) + 1);
    if (::FindResourceA(module, MAKEINTRESOURCEA(block), RT_STRING) == nullptr) {
        return false;
    }
    // With no room given, the wide call reports the entry's length in
    // characters; the narrow text takes at most two bytes for each.
    const wchar_t* entry = nullptr;
    const int length = ::LoadStringW(module, id, reinterpret_cast<wchar_t*>(&entry), 0);
    if (length <= 0) {
        text.clear();
        return true;
    }
    std::vector<char> buffer(static_cast<std::size_t>(length) * 2 + 1);
    const int copied = ::LoadStringA(module, id, buffer.data(), static_cast<int>(buffer.size()));
    text.assign(buffer.data(), static_cast<std::size_t>(copied > 0 ? copied : 0));
    return true;
}

} // namespace qndis
