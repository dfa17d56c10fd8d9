// -o - for every command that writes: the output goes to standard output, never into a file
// named "-". Only streams that need no seeking go there (raw frames back to back, frames of a
// clip back to back, NUT).
//
//   if (IsStandardOutput(name)) {
//       PrepareStandardOutput("decoded frames");  // before any work: refuses a terminal
//       WriteStandardOutput(bytes, size);          // throws ToolError, EPIPE spelt out
//       FinishStandardOutput();
//   }
#pragma once

#include <cstddef>
#include <string>

namespace tsr::tools {

bool IsStandardOutput(const std::string& outputName);

// Refuses a terminal (usage error naming `what`, "frames" say) and makes a reader that goes away
// fail the next write with a message instead of ending the process (SIGPIPE is ignored).
void PrepareStandardOutput(const std::string& what);

// Throw ToolError: "cannot write to standard output: the reader closed the pipe", or the
// system's reason.
void WriteStandardOutput(const void* data, size_t size);
void FinishStandardOutput();

} // namespace tsr::tools
