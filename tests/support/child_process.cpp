#include "child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>

extern char** environ;

namespace cvn::test {

namespace {

std::string temporaryFile() {
    char path[] = "/tmp/cvn-child-XXXXXX";
    const int descriptor = mkstemp(path);
    if (descriptor >= 0) {
        close(descriptor);
    }
    return path;
}

std::string contentsOf(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

} // namespace

Child::Child(const std::string& program, const std::vector<std::string>& arguments)
    : outputPath_(temporaryFile()), errorsPath_(temporaryFile()) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) {
        argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputPath_.c_str(), O_WRONLY | O_TRUNC, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, errorsPath_.c_str(), O_WRONLY | O_TRUNC, 0);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
        pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
}

Child::~Child() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
    std::remove(outputPath_.c_str());
    std::remove(errorsPath_.c_str());
}

ChildResult Child::wait() {
    ChildResult result;
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, 0) == pid_) {
        if (WIFEXITED(status)) {
            result.exitStatus = WEXITSTATUS(status);
        } else if (WIFSIGNALED(status)) {
            result.signal = WTERMSIG(status);
        }
    }
    pid_ = -1;
    result.output = contentsOf(outputPath_);
    result.errors = contentsOf(errorsPath_);
    return result;
}

ChildResult runProgram(const std::string& program, const std::vector<std::string>& arguments) {
    return Child(program, arguments).wait();
}

} // namespace cvn::test
