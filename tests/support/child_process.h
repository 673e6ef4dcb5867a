// Linux only: programs run as child processes, as a user or a host would run them, with what they
// printed and how they ended.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace cvn::test {

struct ChildResult {
    int exitStatus = -1; // -1 when it did not exit normally
    int signal = 0;      // the signal that ended it, if one did
    std::string output;  // stdout
    std::string errors;  // stderr
};

// A running child whose stdout and stderr go to files of its own.
class Child {
  public:
    Child(const std::string& program, const std::vector<std::string>& arguments);
    ~Child();
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    pid_t pid() const { return pid_; }
    // Waits for the end and collects what it printed.
    ChildResult wait();

  private:
    pid_t pid_ = -1;
    std::string outputPath_;
    std::string errorsPath_;
};

// Runs the program to its end.
ChildResult runProgram(const std::string& program, const std::vector<std::string>& arguments);

} // namespace cvn::test
