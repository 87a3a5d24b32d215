#pragma once

#include <cstddef>
#include <filesystem>
#include <iterator>

// The descriptors this process holds open now.
inline std::size_t OpenDescriptorCount() {
    const std::filesystem::directory_iterator entries("/proc/self/fd");
    return static_cast<std::size_t>(std::distance(begin(entries), end(entries)));
}
