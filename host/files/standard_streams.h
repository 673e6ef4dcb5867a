// "-" as an input or output path: standard input or standard output, as the encoder project's
// program and most shell tools take it. Standard output gets the finished file (pending_output.h);
// standard input is copied whole into a temporary file first, which then reads like any other.
#pragma once

#include "files/temporary_file.h"

#include <memory>
#include <optional>
#include <string>

namespace cvnhost {

inline constexpr const char* kStandardStream = "-";

inline bool isStandardStream(const std::string& path) {
    return path == kStandardStream;
}

// A copy of all of standard input in the temporary directory, locked while it is used and
// removed with this object. Ctrl-C stops the copy within a fifth of a second.
class StandardInputCopy {
  public:
    // Nothing with the cause in `error` when standard input cannot be read or copied.
    static std::optional<StandardInputCopy> make(std::string& error);

    const std::string& path() const { return temporary_->path(); }

  private:
    explicit StandardInputCopy(std::unique_ptr<LockedTemporary> temporary)
        : temporary_(std::move(temporary)) {}
    std::unique_ptr<LockedTemporary> temporary_;
};

} // namespace cvnhost
