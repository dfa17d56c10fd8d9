// The progress bar appears on a terminal and nowhere else.
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "toolfixture.h"

namespace tsr::tools::test {
namespace {

using ProgressBarTest = ToolTest;

// Runs the tool with standard error on a pseudo-terminal; returns what the terminal showed.
std::string RunOnTerminal(const std::vector<std::string>& arguments, int& exitCode) {
    int master = -1, slave = -1;
    if (openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return "no pseudo-terminal";
    std::vector<std::string> words = {TSRRAW_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, slave, STDERR_FILENO);
    pid_t child = 0;
    exitCode = -1;
    std::string shown;
    if (posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
        close(slave);
        slave = -1;
        char buffer[4096];
        ssize_t got;
        while ((got = read(master, buffer, sizeof buffer)) > 0) // ends with EIO once the child exits
            shown.append(buffer, static_cast<size_t>(got));
        int status = 0;
        waitpid(child, &status, 0);
        exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    if (slave >= 0) close(slave);
    close(master);
    return shown;
}

TEST_F(ProgressBarTest, OnATerminalOnly) {
    const std::vector<std::string> encode = {"encode",  "--scene", "--size", "32x16",
                                             "--count", "3",       "-o",     Path("clip.tsr")};
    int exitCode = -1;
    const std::string shown = RunOnTerminal(encode, exitCode);
    EXPECT_EQ(0, exitCode);
    EXPECT_NE(std::string::npos, shown.find("3/3 frames")) << shown;
    EXPECT_NE(std::string::npos, shown.find("frames/s")) << shown;

    std::vector<std::string> quiet = encode;
    quiet.push_back("--quiet");
    EXPECT_EQ("", RunOnTerminal(quiet, exitCode));
    EXPECT_EQ(0, exitCode);

    const ToolResult piped = RunTool(encode);
    EXPECT_EQ(0, piped.exitCode);
    EXPECT_EQ("", piped.err);
}

} // namespace
} // namespace tsr::tools::test
