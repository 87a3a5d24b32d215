#pragma once

#include <stdexcept>
#include <string>

namespace qndis::tool {

// Exit statuses: 1 when the work could not be done, 2 when the command line
// itself is wrong, as most command-line tools do.
inline constexpr int ExitFailure = 1;
inline constexpr int ExitUsage = 2;

// A failure that ends the command; its text is a complete sentence for the
// user, printed after "qndis: ".
class ToolError : public std::runtime_error {
public:
    explicit ToolError(const std::string& message, int exitCode = ExitFailure)
        : std::runtime_error(message), m_exitCode(exitCode) {}
    int ExitCode() const { return m_exitCode; }

private:
    int m_exitCode;
};

class UsageError : public ToolError {
public:
    explicit UsageError(const std::string& message) : ToolError(message, ExitUsage) {}
};

} // namespace qndis::tool
