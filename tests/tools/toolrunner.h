// Runs the tsrraw executable as a user would, with its own standard output and error captured.
#pragma once

#include <string>
#include <vector>

namespace tsr::tools::test {

struct ToolResult {
    int exitCode = -1; // -1 when it did not exit normally
    int signal = 0;    // the signal that ended it, if any
    std::string out, err;
    std::vector<std::string> ErrorLines() const;
};

// `environment` entries ("NAME=value") are added to (or replace in) the test's environment.
ToolResult RunTool(const std::vector<std::string>& arguments,
                   const std::vector<std::string>& environment = {});

} // namespace tsr::tools::test
