#include "pending_output.h"

#include "file_io.h"
#include "standard_streams.h"

#include <VelmoraPlugIn.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <climits>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>

namespace cvnhost {

namespace {

constexpr const char* kMarker = ".cvnhost-";
constexpr const char* kSuffix = ".partial";

std::string directoryOf(const std::string& path) {
    const std::string directory = std::filesystem::path(path).parent_path().string();
    return directory.empty() ? "." : directory;
}

std::string nameOf(const std::string& path) {
    return std::filesystem::path(path).filename().string();
}

std::string joined(const std::string& directory, const std::string& name) {
    return directory == "." ? name : (std::filesystem::path(directory) / name).string();
}

// The process and number part of a temporary name: "PID-N".
std::string uniquePart() {
    static std::atomic<unsigned> counter{0};
    return std::to_string(getpid()) + "-" + std::to_string(counter++);
}

// Creates the file only if no file has the name, so that no other file is ever written over.
bool reserve(const std::string& path, std::string& error) {
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (descriptor < 0) {
        error = "cannot be created beside: " + path + ": " + std::strerror(errno);
        return false;
    }
    close(descriptor);
    return true;
}

bool isRegularOrAbsent(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) != 0 || S_ISREG(status.st_mode);
}

bool syncFile(const std::string& path, std::string& error) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0 || fsync(descriptor) != 0) {
        error = std::string("could not be flushed to disk: ") + std::strerror(errno);
        if (descriptor >= 0) {
            close(descriptor);
        }
        return false;
    }
    close(descriptor);
    return true;
}

bool copyInto(const std::string& from, const std::string& to, uintmax_t& bytes, std::string& error) {
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        error = std::string("cannot be read back: ") + std::strerror(errno);
        return false;
    }
    const int out = isStandardStream(to) ? dup(STDOUT_FILENO) : open(to.c_str(), O_WRONLY | O_CLOEXEC);
    if (out < 0) {
        error = std::string("cannot be opened for writing: ") + std::strerror(errno);
        close(in);
        return false;
    }
    bool complete = copyAll(in, out, bytes);
    if (!complete) {
        error = std::string("could not be written: ") + std::strerror(errno);
    }
    close(in);
    if (close(out) != 0 && complete) {
        error = std::string("could not be written: ") + std::strerror(errno);
        complete = false;
    }
    return complete;
}

} // namespace

std::unique_ptr<PendingOutput> PendingOutput::create(const std::string& output, std::string& error) {
    if (isStandardStream(output) || !isRegularOrAbsent(output)) {
        const std::string temporary =
            joined(temporaryDirectory(), std::string("cvnhost-") + uniquePart() + kSuffix);
        if (!reserve(temporary, error)) {
            return nullptr;
        }
        return std::unique_ptr<PendingOutput>(new PendingOutput(output, temporary, true));
    }
    const std::string directory = directoryOf(output);
    if (nameOf(output).size() > NAME_MAX) {
        error = "cannot be created: its name is longer than the file system takes (" +
                std::to_string(NAME_MAX) + " bytes)";
        return nullptr;
    }
    const std::string unique = kMarker + uniquePart() + kSuffix;
    std::string temporary = joined(directory, "." + nameOf(output) + unique);
    if (temporary.size() >= kTextFieldSize || nameOf(temporary).size() > NAME_MAX) {
        // The plug-in takes paths of up to 259 bytes: a long name gives way in the temporary one.
        temporary = joined(directory, unique);
    }
    if (temporary.size() >= kTextFieldSize) {
        error = "cannot be created: its directory's path is longer than the plug-in takes (259 bytes)";
        return nullptr;
    }
    if (!reserve(temporary, error)) {
        return nullptr;
    }
    return std::unique_ptr<PendingOutput>(new PendingOutput(output, temporary, false));
}

PendingOutput::~PendingOutput() {
    if (!settled_) {
        unlink(temporary_.c_str());
    }
}

bool PendingOutput::commit(std::string& error) {
    if (copyOut_) {
        return copyInto(temporary_, output_, bytes_, error);
    }
    if (!syncFile(temporary_, error)) {
        return false;
    }
    if (rename(temporary_.c_str(), output_.c_str()) != 0) {
        error = std::string("cannot take the place of the old file: ") + std::strerror(errno);
        return false;
    }
    settled_ = true;
    struct stat status {};
    bytes_ = stat(output_.c_str(), &status) == 0 ? static_cast<uintmax_t>(status.st_size) : 0;
    return true;
}

std::string PendingOutput::keepAsPartial(std::string& error) {
    if (copyOut_) {
        error = "is not a regular file: no partial file is kept for it";
        return {};
    }
    const std::filesystem::path output(output_);
    std::filesystem::path kept = output;
    kept.replace_filename(output.stem().string() + ".partial" + output.extension().string());
    if (rename(temporary_.c_str(), kept.c_str()) != 0) {
        error = std::string("cannot be kept as ") + kept.string() + ": " + std::strerror(errno);
        return {};
    }
    settled_ = true;
    return kept.string();
}

namespace {

// The temporary files of processes that no longer run in one directory, by their names. A
// directory is listed once per run, however many outputs go there: a run of many short tracks
// would otherwise list it once per track.
struct AbandonedTemporaries {
    std::vector<std::string> names;
};
std::mutex g_abandonedLock;
std::map<std::string, AbandonedTemporaries> g_abandoned;

AbandonedTemporaries listAbandoned(const std::string& directory) {
    AbandonedTemporaries found;
    DIR* listing = opendir(directory.c_str());
    if (listing == nullptr) {
        return found;
    }
    while (const dirent* entry = readdir(listing)) {
        const std::string name = entry->d_name;
        const size_t marker = name.rfind(kMarker);
        const bool ours = name.size() > std::strlen(kSuffix) && marker != std::string::npos &&
                          (marker == 0 || name[0] == '.') &&
                          name.compare(name.size() - std::strlen(kSuffix), std::string::npos, kSuffix) == 0;
        if (!ours) {
            continue;
        }
        const long pid = std::strtol(name.c_str() + marker + std::strlen(kMarker), nullptr, 10);
        if (pid > 0 && kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
            found.names.push_back(name);
        }
    }
    closedir(listing);
    return found;
}

} // namespace

std::vector<std::string> removeAbandonedTemporaries(const std::string& output) {
    const std::string directory = directoryOf(output);
    const std::string ownPrefix = "." + nameOf(output) + kMarker;
    std::vector<std::string> names;
    {
        std::lock_guard<std::mutex> lock(g_abandonedLock);
        auto listed = g_abandoned.find(directory);
        if (listed == g_abandoned.end()) {
            listed = g_abandoned.emplace(directory, listAbandoned(directory)).first;
        }
        // This output's own, and those whose names were too long to carry the output's.
        std::erase_if(listed->second.names, [&](const std::string& name) {
            const bool forThisOutput = name.rfind(ownPrefix, 0) == 0 || name.rfind(kMarker, 0) == 0;
            if (forThisOutput) {
                names.push_back(name);
            }
            return forThisOutput;
        });
    }
    std::vector<std::string> removed;
    for (const std::string& name : names) {
        const std::string path = joined(directory, name);
        if (unlink(path.c_str()) == 0) {
            removed.push_back(path);
        }
    }
    return removed;
}

} // namespace cvnhost
