// "-" as an input or output path: standard input or standard output, as the encoder project's
// program and most shell tools take it. Standard output gets the finished file (pending_output.h);
// standard input is copied whole into a temporary file first, which then reads like any other.
#pragma once

#include <optional>
#include <string>

namespace cvnhost {

inline constexpr const char* kStandardStream = "-";

inline bool isStandardStream(const std::string& path) {
    return path == kStandardStream;
}

// A copy of all of standard input in the temporary directory, removed with this object.
class StandardInputCopy {
  public:
    // Nothing with the cause in `error` when standard input cannot be read or copied.
    static std::optional<StandardInputCopy> make(std::string& error);
    StandardInputCopy(StandardInputCopy&& other) noexcept : path_(std::move(other.path_)) {
        other.path_.clear();
    }
    StandardInputCopy(const StandardInputCopy&) = delete;
    StandardInputCopy& operator=(const StandardInputCopy&) = delete;
    StandardInputCopy& operator=(StandardInputCopy&&) = delete;
    ~StandardInputCopy();

    const std::string& path() const { return path_; }

  private:
    explicit StandardInputCopy(std::string path) : path_(std::move(path)) {}
    std::string path_;
};

} // namespace cvnhost
