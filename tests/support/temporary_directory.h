// A fresh directory for a test's output files, removed with everything in it afterwards.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace cvn::test {

class TemporaryDirectory {
  public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    TemporaryDirectory(const TemporaryDirectory&) = delete;
    TemporaryDirectory& operator=(const TemporaryDirectory&) = delete;

    const std::string& path() const { return path_; }
    // The path of `name` inside the directory.
    std::string file(const std::string& name) const;

  private:
    std::string path_;
};

// The whole file; empty when it cannot be read.
std::vector<uint8_t> readFileBytes(const std::string& path);
bool fileExists(const std::string& path);

} // namespace cvn::test
