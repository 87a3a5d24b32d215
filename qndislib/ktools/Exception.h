#pragma once

#include "qndislib/Export.h"

#include <cstdint>

namespace ktools {

// The toolkit's error record. It is raised as a pointer to a heap object;
// whoever catches the pointer owns the object and deletes it.
class QNDIS_API CException {
public:
    CException(std::int32_t code, std::int32_t line, const char* file, bool flag = true)
        : m_code(code), m_line(line), m_file(file), m_flag(flag) {}

    std::int32_t GetCode() const { return m_code; }
    std::int32_t GetLine() const { return m_line; }
    // The compiler's name of the source file that raised the error; static
    // text, valid for the life of the process.
    const char* GetFile() const { return m_file; }
    bool GetFlag() const { return m_flag; }

private:
    std::int32_t m_code;
    std::int32_t m_line;
    const char* m_file;
    bool m_flag;
};

} // namespace ktools
