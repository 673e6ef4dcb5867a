// An output file in the making. The plug-in writes into a temporary file beside the output (in
// the same directory, so that the final rename is atomic), named ".NAME.cvnhost-PID-N.partial";
// only a complete, tagged file is renamed over the output. A failure or a signal therefore leaves
// an existing output as it was and no partial file under its name; a run killed outright leaves
// only the temporary file, which a later run recognises by its name and removes.
//
// An output that is not a regular file (/dev/null, a pipe, "-" for standard output) cannot be
// renamed over: the plug-in writes into a temporary file in the temporary directory, and the
// finished bytes are copied out.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace cvnhost {

class PendingOutput {
  public:
    // Reserves the temporary file for `output`; null with the cause in `error` when it cannot.
    static std::unique_ptr<PendingOutput> create(const std::string& output, std::string& error);
    // Removes the temporary file unless it became the output or was kept.
    ~PendingOutput();
    PendingOutput(const PendingOutput&) = delete;
    PendingOutput& operator=(const PendingOutput&) = delete;

    // The file this one is to become.
    const std::string& output() const { return output_; }
    // Where the plug-in is to write.
    const std::string& temporaryPath() const { return temporary_; }
    // Makes the finished temporary file the output: flushed to disk and renamed over it, or
    // copied into it. False with the cause in `error`; the output is then as it was.
    bool commit(std::string& error);
    // Keeps a file that was cut short as "STEM.partial.EXT" beside the output, and returns that
    // name; empty with the cause in `error` when it cannot.
    std::string keepAsPartial(std::string& error);
    // The size of the output after commit.
    uintmax_t bytes() const { return bytes_; }

  private:
    PendingOutput(std::string output, std::string temporary, bool copyOut)
        : output_(std::move(output)), temporary_(std::move(temporary)), copyOut_(copyOut) {}

    std::string output_;
    std::string temporary_;
    bool copyOut_;
    bool settled_ = false;
    uintmax_t bytes_ = 0;
};

// Removes the temporary files beside `output` that runs killed outright left for it: those whose
// process no longer runs. Returns their paths.
std::vector<std::string> removeAbandonedTemporaries(const std::string& output);

} // namespace cvnhost
