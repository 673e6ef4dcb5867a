// The file system a run writes its outputs to, as it stood when the run started. A card that was
// taken out leaves its mount point behind, a folder of the computer's own disk: nothing may be
// written there in its place. A card that is full takes no more tracks: the run stops starting
// them, and what is there stays.
#pragma once

#include "files/file_system.h"

#include <functional>
#include <mutex>
#include <optional>
#include <string>

namespace cvnhost {

class OutputDevice;

// Why nothing more may be written below --out-dir (OutputDevice::refusal); empty without a device.
std::string refusalOf(OutputDevice* device);

class OutputDevice {
  public:
    // The file system of `outDirectory` (or of the folder above it that exists) now; `say` is told
    // once why the run stopped writing there.
    OutputDevice(const std::string& outDirectory, std::function<void(const std::string&)> say);

    // Why nothing more may be written below the folder: empty while it may.
    std::string refusal();
    // Whether the file or folder at `path` is on the file system the run started with; when it is not,
    // that becomes the refusal.
    bool holds(const std::string& path);
    // The missing folders of `output` made, each checked to be on that file system: a card taken
    // out between two checks leaves no folder behind on the disk below its mount point. False with
    // the cause in `error`.
    bool makeFoldersOf(const std::string& output, std::string& error);
    // After a write below the folder failed, while its temporary file is still there: whether the
    // file system is full, which is then the refusal. `cause` is replaced by the plain words.
    bool isFullAfter(const std::string& temporaryPath, std::string& cause);

  private:
    void stop(const std::string& cause);
    std::string goneCause() const;

    std::string folder_;
    std::optional<FileSystemOf> system_;
    std::function<void(const std::string&)> say_;
    std::mutex lock_;
    std::string stopped_;
};

} // namespace cvnhost
