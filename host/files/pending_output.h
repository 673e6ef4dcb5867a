// An output file in the making. The plug-in writes into a locked temporary file beside the
// output's target (in the same directory, so that the final rename is atomic); only a complete,
// tagged file takes the target's place. A failure or a signal therefore leaves an existing output
// as it was and no partial file under its name; a run killed outright leaves only the temporary
// file, which a later run finds unlocked and removes (temporary_file.h).
//
// A replaced file keeps its mode, and its owner and group where this process may set them. A
// symbolic link is followed and its target replaced. A file with several hard links is written in
// place, once the new file is complete, so that every name keeps seeing it. Standard output ("-")
// gets the finished bytes copied from a temporary file in the temporary directory.
#pragma once

#include "files/temporary_file.h"

#include <sys/stat.h>

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace cvnhost {

class PendingOutput {
  public:
    // Reserves the temporary file for `output`; null with the cause in `error` when it cannot (its
    // target is no regular file, its directory cannot be written). A file cut short is kept as
    // `partial`, or STEM.partial.EXT beside the target when that is empty.
    static std::unique_ptr<PendingOutput> create(const std::string& output, const std::string& partial,
                                                 std::string& error);
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    // The file this one is to become, as named.
    const std::string& output() const { return output_; }
    // Where the plug-in is to write.
    const std::string& temporaryPath() const { return temporary_->path(); }
    // Makes the finished temporary file the output. False with the cause in `error`; the output is
    // then as it was.
    bool commit(std::string& error);
    // Keeps a file that was cut short under its partial name, or the next free numbered one, never
    // over an existing file; returns that name, empty with the cause in `error` when it cannot.
    std::string keepAsPartial(std::string& error);
    // The size of the output after commit.
    uintmax_t bytes() const { return bytes_; }

  private:
    PendingOutput(std::string output, std::string target, std::string partial,
                  std::unique_ptr<LockedTemporary> temporary)
        : output_(std::move(output)), target_(std::move(target)), partial_(std::move(partial)),
          temporary_(std::move(temporary)) {}
    bool copyInto(int out, std::string& error);
    bool replaceTarget(const struct stat* old, std::string& error);

    std::string output_;
    std::string target_; // links followed; empty for standard output
    std::string partial_;
    std::unique_ptr<LockedTemporary> temporary_;
    uintmax_t bytes_ = 0;
};

} // namespace cvnhost
