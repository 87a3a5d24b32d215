#pragma once

#include "tests/support/PcapFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace qndis::test {

// What one run of the qndis program left behind.
struct QndisResult {
    int status = -1; // exit status; -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs the built qndis with `arguments`; `prefix` is put in front of the
// program (for example a command that changes its rights).
QndisResult RunQndis(const std::vector<std::string>& arguments,
                     const std::vector<std::string>& prefix = {});

// Runs any program and returns the same record.
QndisResult RunProgram(const std::vector<std::string>& command);

bool ProgramExists(const std::string& name);

// A directory of the test's own, removed with the object.
class ScratchDirectory {
public:
    ScratchDirectory();
    ~ScratchDirectory();
    ScratchDirectory(const ScratchDirectory&) = delete;
    ScratchDirectory& operator=(const ScratchDirectory&) = delete;
    std::string Path(const std::string& name) const { return m_path + "/" + name; }

private:
    std::string m_path;
};

} // namespace qndis::test
