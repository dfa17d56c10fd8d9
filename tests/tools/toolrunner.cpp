#include "toolrunner.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <thread>

extern char** environ;

namespace tsr::tools::test {

namespace {

std::string ReadAndRemove(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    std::remove(path.c_str());
    return text.str();
}

} // namespace

std::vector<std::string> ToolResult::ErrorLines() const {
    std::vector<std::string> lines;
    std::stringstream stream(err);
    std::string line;
    while (std::getline(stream, line)) lines.push_back(line);
    return lines;
}

ToolResult RunTool(const std::vector<std::string>& arguments, const std::vector<std::string>& environment,
                   const std::function<void(pid_t)>& whileRunning, const std::vector<uint8_t>* input) {
    char outName[] = "/tmp/tsrraw-test-out-XXXXXX";
    char errName[] = "/tmp/tsrraw-test-err-XXXXXX";
    const int outFile = mkstemp(outName);
    const int errFile = mkstemp(errName);

    std::vector<std::string> words = {TSRRAW_PATH};
    words.insert(words.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(&word[0]);
    argv.push_back(nullptr);

    std::vector<std::string> variables;
    for (char** entry = environ; *entry; ++entry) {
        const std::string variable = *entry;
        bool replaced = false;
        for (const std::string& added : environment)
            if (variable.compare(0, added.find('=') + 1, added, 0, added.find('=') + 1) == 0) replaced = true;
        if (!replaced) variables.push_back(variable);
    }
    variables.insert(variables.end(), environment.begin(), environment.end());
    std::vector<char*> envp;
    for (std::string& variable : variables) envp.push_back(&variable[0]);
    envp.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, outFile, STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errFile, STDERR_FILENO);
    int pipeEnds[2] = {-1, -1};
    if (input) {
        if (pipe(pipeEnds) != 0) return ToolResult{};
        std::signal(SIGPIPE, SIG_IGN); // a child that stops reading early fails the write instead
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
        posix_spawn_file_actions_addclose(&actions, pipeEnds[1]);
    }
    ToolResult result;
    pid_t child = 0;
    const int spawned = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), envp.data());
    std::thread feeder;
    if (input) {
        close(pipeEnds[0]);
        feeder = std::thread([input, writeEnd = pipeEnds[1]] {
            for (size_t done = 0; done < input->size();) {
                const ssize_t wrote = write(writeEnd, input->data() + done, input->size() - done);
                if (wrote <= 0) break;
                done += static_cast<size_t>(wrote);
            }
            close(writeEnd);
        });
    }
    if (spawned == 0) {
        int status = 0;
        struct rusage usage {};
        while (whileRunning && wait4(child, &status, WNOHANG, &usage) == 0) {
            whileRunning(child);
            usleep(20000);
        }
        if (!whileRunning) wait4(child, &status, 0, &usage);
        result.peakKib = usage.ru_maxrss;
        if (WIFEXITED(status)) result.exitCode = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) result.signal = WTERMSIG(status);
    }
    if (feeder.joinable()) feeder.join();
    posix_spawn_file_actions_destroy(&actions);
    close(outFile);
    close(errFile);
    result.out = ReadAndRemove(outName);
    result.err = ReadAndRemove(errName);
    return result;
}

} // namespace tsr::tools::test
