#pragma once

#include <cstdio>
#include <span>

namespace qndis::tool {

// The bytes of a frame below its line, 16 a line after their offset, in
// groups of two; with the text column, printable bytes beside them.
class FrameDump {
public:
    explicit FrameDump(bool withText) : m_withText(withText) {}

    void Write(std::FILE* out, std::span<const unsigned char> bytes) const;

private:
    bool m_withText;
};

} // namespace qndis::tool
