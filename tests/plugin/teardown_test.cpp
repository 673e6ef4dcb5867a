// Hosts leave the process in every order: with the plug-in loaded (bound or not, a stream open or
// closed from an exit handler), after unloading it, with the platform library's handle closed
// before or after the plug-in's. Each run is a child process that must exit with its own status
// and print everything it wrote.
#include "support/temporary_directory.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace cvn::test {
namespace {

struct ChildResult {
    int exitStatus = -1; // -1 when it did not exit normally
    int signal = 0;
    std::string output;
};

ChildResult runExitingHost(const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(CVN_EXITING_HOST));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    int pipeEnds[2];
    if (pipe(pipeEnds) != 0) {
        return {};
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    pid_t child = 0;
    const int spawned = posix_spawn(&child, CVN_EXITING_HOST, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    ChildResult result;
    char buffer[4096];
    for (ssize_t n; (n = read(pipeEnds[0], buffer, sizeof buffer)) > 0;) {
        result.output.append(buffer, static_cast<size_t>(n));
    }
    close(pipeEnds[0]);
    int status = 0;
    if (spawned != 0 || waitpid(child, &status, 0) != child) {
        return result;
    }
    if (WIFEXITED(status)) {
        result.exitStatus = WEXITSTATUS(status);
    } else if (WIFSIGNALED(status)) {
        result.signal = WTERMSIG(status);
    }
    return result;
}

TEST(Teardown, HostsExitInEveryOrderWithTheirOwnStatusAndOutput) {
    const std::vector<std::vector<std::string>> orders = {
        {"dlopen", "return"},
        {"dlopen", "bind", "return"},
        {"dlopen", "bind", "exit"},
        {"dlopen", "bind", "stream", "exit"},
        {"dlopen", "close-at-exit", "bind", "stream", "return"},
        {"dlopen", "bind", "release", "unload", "return"},
        {"platform", "loadlibrary", "bind", "exit"},
        {"platform", "loadlibrary", "bind", "stream", "close-at-exit", "exit"},
        {"platform", "loadlibrary", "bind", "release", "unload", "unload-platform", "return"},
        {"platform", "dlopen", "bind", "unload-platform", "return"},
        {"platform", "dlopen", "bind", "release", "unload-platform", "unload", "exit"},
        {"dlopen", "platform", "bind", "release", "unload", "unload-platform", "return"},
    };
    TemporaryDirectory directory;
    for (const auto& steps : orders) {
        std::vector<std::string> arguments = {
            std::string(CVN_ENCODER_LIBRARY_DIRECTORY) + "/VelmoraPlugIn.so", directory.file("exit.mp3")};
        arguments.insert(arguments.end(), steps.begin(), steps.end());
        std::ostringstream expected;
        for (const std::string& step : steps) {
            expected << step << " ok\n";
        }
        const ChildResult result = runExitingHost(arguments);
        std::string order;
        for (const std::string& step : steps) {
            order += step + " ";
        }
        EXPECT_EQ(result.exitStatus, 7) << order << "(signal " << result.signal << ")";
        EXPECT_EQ(result.output.substr(0, expected.str().size()), expected.str()) << order;
        if (std::find(steps.begin(), steps.end(), "close-at-exit") != steps.end()) {
            EXPECT_NE(result.output.find("close at exit gives 0"), std::string::npos)
                << order << result.output;
        }
    }
}

} // namespace
} // namespace cvn::test
