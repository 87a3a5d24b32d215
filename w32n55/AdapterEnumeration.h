#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace w32n55 {

// The names of one adapter as the enumeration calls report them.
struct AdapterNames {
    std::string ndisName;
    std::string friendlyName;
};

// A snapshot of the interfaces present when the enumeration was opened.
class AdapterEnumeration {
public:
#if !defined(_WIN32)
    explicit AdapterEnumeration(const std::string& root);
#endif
    // Lists these adapters instead of the machine's.
    explicit AdapterEnumeration(std::vector<AdapterNames> listed);

    std::optional<AdapterNames> First();
    std::optional<AdapterNames> Next();

    // Copies `text` and its NUL into `buffer`, which holds `*length` + 1
    // bytes; `*length` becomes the text's length. 0 on success, else an
    // errno code (ERANGE with the length needed when it does not fit).
    static int CopyName(const std::string& text, char* buffer, std::uint32_t* length);

private:
    std::optional<AdapterNames> At(std::size_t index);

    std::string root_;
    std::vector<std::string> names_;
    std::vector<AdapterNames> listed_;
    std::size_t next_ = 0;
};

} // namespace w32n55
