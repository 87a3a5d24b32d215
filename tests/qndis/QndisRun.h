#pragma once

#include "tests/support/PcapFile.h"
#include "tests/support/ScratchDir.h"

#include <string>
#include <vector>

namespace qndis::test {

// What one run of a program left behind.
struct QndisResult {
    int status = -1; // exit status; -1 when it did not exit normally
    std::string out;
    std::string err;
};

// Runs any program, its standard input empty.
QndisResult RunProgram(const std::vector<std::string>& command);
// Runs the built qndis; `prefix` goes in front (a command that changes its
// rights or its mounts).
QndisResult RunQndis(const std::vector<std::string>& arguments,
                     const std::vector<std::string>& prefix = {});
bool ProgramExists(const std::string& name);

} // namespace qndis::test
