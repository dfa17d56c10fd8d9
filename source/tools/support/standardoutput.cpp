#include "support/standardoutput.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <unistd.h>

#include "support/toolerror.h"

namespace tsr::tools {

namespace {

[[noreturn]] void Fail() {
    if (errno == EPIPE) throw ToolError("cannot write to standard output: the reader closed the pipe");
    throw ToolError("cannot write to standard output: " + std::string(std::strerror(errno)));
}

} // namespace

bool IsStandardOutput(const std::string& outputName) {
    return outputName == "-";
}

void PrepareStandardOutput(const std::string& what) {
    if (isatty(STDOUT_FILENO))
        throw UsageError("-o - writes " + what + ": send standard output to a program or a file");
    std::signal(SIGPIPE, SIG_IGN);
}

void WriteStandardOutput(const void* data, size_t size) {
    if (size != 0 && std::fwrite(data, 1, size, stdout) != size) Fail();
}

void FinishStandardOutput() {
    if (std::fflush(stdout) != 0) Fail();
}

} // namespace tsr::tools
