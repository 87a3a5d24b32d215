#pragma once

#include <cstdint>

namespace w32n55 {

// The errno-style code of the calling thread's last failed call, as the
// platform's own last-error value is kept per thread.
class LastError {
public:
    static void Set(int code) { code_ = static_cast<std::uint32_t>(code); }
    static std::uint32_t Get() { return code_; }

private:
    static thread_local std::uint32_t code_;
};

} // namespace w32n55
