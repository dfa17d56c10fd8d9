// Runs the tsrraw executable as a user would, with its own standard output and error captured.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace tsr::tools::test {

struct ToolResult {
    int exitCode = -1; // -1 when it did not exit normally
    int signal = 0;    // the signal that ended it, if any
    std::string out, err;
    long peakKib = 0; // peak resident memory of the run
    std::vector<std::string> ErrorLines() const;
};

// `environment` entries ("NAME=value") are added to (or replace in) the test's environment.
// `whileRunning`, when given, is called with the child's id about every 20 ms until it ends.
// `input`, when given, is written into a pipe that is the child's standard input.
ToolResult RunTool(const std::vector<std::string>& arguments,
                   const std::vector<std::string>& environment = {},
                   const std::function<void(pid_t)>& whileRunning = {},
                   const std::vector<uint8_t>* input = nullptr);

} // namespace tsr::tools::test
