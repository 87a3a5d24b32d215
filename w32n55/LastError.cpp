#include "w32n55/LastError.h"

namespace w32n55 {

thread_local std::uint32_t LastError::code_ = 0;

} // namespace w32n55
