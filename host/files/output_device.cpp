#include "files/output_device.h"

#include "files/file_io.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include <cerrno>
#include <cstring>

namespace cvnhost {

namespace {

namespace fs = std::filesystem;

// Less than this left after a failed write is a full file system: a track needs megabytes, and the
// allocation unit of a card's file system is at most a few hundred kilobytes.
constexpr uint64_t kFullBelow = 1024 * 1024;

} // namespace

OutputDevice::OutputDevice(const std::string& outDirectory, std::function<void(const std::string&)> say)
    : folder_(outDirectory), system_(fileSystemOf(outDirectory)), say_(std::move(say)) {}

void OutputDevice::stop(const std::string& cause) {
    if (stopped_.empty()) {
        stopped_ = cause;
        say_(cause + ": no more tracks are started there");
    }
}

std::string OutputDevice::refusal() {
    const std::lock_guard<std::mutex> guard(lock_);
    if (!stopped_.empty() || !system_) {
        return stopped_;
    }
    // A stat for every track and write: the mount table is read once, as the run starts.
    struct stat status {};
    if (stat(system_->mountPoint.c_str(), &status) != 0) {
        stop(system_->mountPoint + ": cannot be reached (" + std::strerror(errno) + ")");
    } else if (deviceOf(folder_) != system_->device) {
        stop(goneCause());
    }
    return stopped_;
}

std::string refusalOf(OutputDevice* device) {
    return device != nullptr ? device->refusal() : std::string();
}

std::string OutputDevice::goneCause() const {
    return folder_ + ": is no longer on the file system it was on when the run started (" + system_->source +
           " at " + system_->mountPoint + "; was the card taken out?)";
}

bool OutputDevice::holds(const std::string& path) {
    struct stat status {};
    if (!system_ || (stat(path.c_str(), &status) == 0 && status.st_dev == system_->device)) {
        return true;
    }
    const std::lock_guard<std::mutex> guard(lock_);
    stop(goneCause());
    return false;
}

bool OutputDevice::makeFoldersOf(const std::string& output, std::string& error) {
    if (!cvnhost::makeFoldersOf(output, error)) {
        return false;
    }
    // The output's folder is checked, not only those found missing first: a card taken out after
    // that look leaves the bare mount point, where the folders are then made anew.
    const fs::path folder = fs::path(output).parent_path();
    if (folder.empty() || holds(folder.string())) {
        return true;
    }
    const fs::path top = fs::path(folder_).lexically_normal();
    for (fs::path made = folder.lexically_normal();
         made.has_relative_path() && made != top && made.string().size() > top.string().size();
         made = made.parent_path()) {
        rmdir(made.c_str()); // only those the run made are empty
    }
    error = refusal();
    return false;
}

bool OutputDevice::isFullAfter(const std::string& temporaryPath, std::string& cause) {
    const std::lock_guard<std::mutex> guard(lock_);
    const std::optional<uint64_t> free = system_ ? freeBytesOn(temporaryPath) : std::nullopt;
    if (!free || *free >= kFullBelow) {
        return false;
    }
    struct stat temporary {};
    const uint64_t written = stat(temporaryPath.c_str(), &temporary) == 0 ? temporary.st_size : 0;
    // What is left once the track's temporary file is gone.
    cause = "no space left on " + system_->mountPoint + ": " + megabytes(*free + written) + " free";
    stop(cause);
    return true;
}

} // namespace cvnhost
