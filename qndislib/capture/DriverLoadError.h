#pragma once

#include "qndislib/Export.h"

#include <cstdint>
#include <stdexcept>
#include <string>

// A missing driver-access library (0xC06D007E) or a missing ordinal
// (0xC06D007F), raised to the caller of the call that needed it. The
// message names the library and where it was looked for.
class QNDIS_API CDriverLoadError : public std::runtime_error {
public:
    static constexpr std::uint32_t kModuleNotFound = 0xC06D007E;
    static constexpr std::uint32_t kEntryPointNotFound = 0xC06D007F;

    CDriverLoadError(std::uint32_t code, const std::string& message)
        : std::runtime_error(message), m_code(code) {}
    std::uint32_t GetCode() const { return m_code; }

private:
    std::uint32_t m_code;
};
