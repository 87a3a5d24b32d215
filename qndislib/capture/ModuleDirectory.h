#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace qndis {

// The directory that holds qndislib's code, where the driver-access library
// is looked for before the standard search path. Paths keep the limit of
// the original platform: a module path that does not fit kMaxPath
// characters with its terminator leaves the directory unknown, and a
// library path that would not fit is not tried.
class ModuleDirectory {
public:
    static constexpr std::size_t kMaxPath = 260;

    // The directory part of `modulePath` with a trailing separator; empty
    // when the path is empty, relative or too long.
    static std::string FromModulePath(std::string_view modulePath);
    // `fileName` in `directory` (a separator added if missing); none when the
    // directory is unknown or the result would not fit.
    static std::optional<std::string> LibraryPath(std::string_view directory,
                                                  std::string_view fileName);

    // Works the directory out on the first call in the process (start-up
    // makes that call); later calls keep it.
    static void Determine();
    // Empty when the directory is unknown.
    static std::string Get();
};

} // namespace qndis
