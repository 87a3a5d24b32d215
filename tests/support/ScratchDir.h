#pragma once

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace qndis::test {

// A directory of the test's own under the temporary directory, removed with
// everything in it when the object goes; Path() is empty when none could be
// made.
class ScratchDirectory {
public:
    ScratchDirectory() {
        std::string pattern = (std::filesystem::temp_directory_path() / "qndis-XXXXXX").string();
        if (::mkdtemp(pattern.data()) != nullptr) {
            m_root = pattern;
        }
    }
    ~ScratchDirectory() {
        std::error_code ignored;
        std::filesystem::remove_all(m_root, ignored);
    }
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;

    const std::filesystem::path& Root() const { return m_root; }
    std::string Path(const std::string& name) const { return (m_root / name).string(); }
    // A directory below the root, made with its parents.
    std::filesystem::path Dir(const std::filesystem::path& relative) const {
        std::filesystem::create_directories(m_root / relative);
        return m_root / relative;
    }

private:
    std::filesystem::path m_root;
};

} // namespace qndis::test
