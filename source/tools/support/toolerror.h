// The one way the tool reports failure: a message for standard error and an exit code. Thrown
// inside the tool and caught once in main, which prints "tsrraw: <message>".
#pragma once

#include <stdexcept>
#include <string>

namespace tsr::tools {

enum ExitCode : int {
    kExitOk = 0,
    kExitFailure = 1, // bad input file, failed decode or debayer, unwritable output
    kExitUsage = 2,   // wrong arguments
    kExitDamaged = 3, // --keep-going went past damaged frames: every other frame is written
};

class ToolError : public std::runtime_error {
public:
    explicit ToolError(const std::string& message, int exitCode = kExitFailure)
        : std::runtime_error(message), m_exitCode(exitCode) {}
    int ExitCode() const { return m_exitCode; }

private:
    int m_exitCode;
};

inline ToolError UsageError(const std::string& message) {
    return ToolError(message, kExitUsage);
}

} // namespace tsr::tools
