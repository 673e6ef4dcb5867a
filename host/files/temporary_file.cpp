#include "files/temporary_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

namespace cvnhost {

namespace {

constexpr const char* kMarker = ".cvnhost-";
constexpr const char* kSuffix = ".partial";
constexpr int kCreateAttempts = 100;

std::string joined(const std::string& directory, const std::string& name) {
    return directory.empty() || directory == "." ? name : directory + "/" + name;
}

// The host part of a name: several machines may write into one shared folder.
std::string hostPart() {
    char name[HOST_NAME_MAX + 1] = "";
    if (gethostname(name, sizeof name) != 0) {
        return "host";
    }
    name[HOST_NAME_MAX] = '\0';
    std::string part;
    for (const char* c = name; *c != '\0' && part.size() < 32; ++c) {
        const bool plain = (*c >= 'a' && *c <= 'z') || (*c >= 'A' && *c <= 'Z') || (*c >= '0' && *c <= '9');
        part += plain ? *c : '_';
    }
    return part.empty() ? "host" : part;
}

std::string uniquePart() {
    static const std::string host = hostPart();
    static std::atomic<unsigned> counter{0};
    return host + "-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
}

bool sameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// Whether the open file is still the one at `path`: a cleaner may have removed it between its
// creation and its lock.
bool stillAt(int descriptor, const std::string& path) {
    struct stat opened {};
    struct stat named {};
    return fstat(descriptor, &opened) == 0 && lstat(path.c_str(), &named) == 0 && sameFile(opened, named);
}

} // namespace

std::unique_ptr<LockedTemporary> LockedTemporary::create(const std::string& directory,
                                                         const std::string& name, mode_t mode,
                                                         size_t longestPath, std::string& error) {
    for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
        const std::string unique = kMarker + uniquePart() + kSuffix;
        std::string path = joined(directory, "." + name + unique);
        const size_t nameLength = name.size() + 1 + unique.size();
        if (name.empty() || nameLength > NAME_MAX || (longestPath != 0 && path.size() >= longestPath)) {
            path = joined(directory, unique);
        }
        if (longestPath != 0 && path.size() >= longestPath) {
            error = "cannot be created: its directory's path is longer than the plug-in takes (" +
                    std::to_string(longestPath - 1) + " bytes)";
            return nullptr;
        }
        const int descriptor = open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, mode);
        if (descriptor < 0) {
            if (errno == EEXIST) {
                continue;
            }
            error = "cannot be created beside: " + path + ": " + std::strerror(errno);
            return nullptr;
        }
        if (flock(descriptor, LOCK_EX | LOCK_NB) == 0 && stillAt(descriptor, path)) {
            return std::unique_ptr<LockedTemporary>(new LockedTemporary(path, descriptor));
        }
        close(descriptor);
    }
    error = "cannot be created beside: no free temporary name in " + directory;
    return nullptr;
}

LockedTemporary::~LockedTemporary() {
    if (!kept_) {
        unlink(path_.c_str());
    }
    close(descriptor_);
}

bool isTemporaryName(const std::string& name) {
    const size_t suffix = std::strlen(kSuffix);
    return name.size() > suffix && name[0] == '.' && name.find(kMarker) != std::string::npos &&
           name.compare(name.size() - suffix, suffix, kSuffix) == 0;
}

std::vector<std::string> removeAbandonedTemporaries(const std::string& directory, bool onlyList) {
    std::vector<std::string> removed;
    DIR* listing = opendir(directory.empty() ? "." : directory.c_str());
    if (listing == nullptr) {
        return removed;
    }
    while (const dirent* entry = readdir(listing)) {
        if (!isTemporaryName(entry->d_name)) {
            continue;
        }
        const std::string path = joined(directory, entry->d_name);
        const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
        if (descriptor < 0) {
            continue;
        }
        struct stat status {};
        // Free of locks: no live process holds it. Removed only if the name still names it.
        if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode) &&
            flock(descriptor, LOCK_EX | LOCK_NB) == 0 && stillAt(descriptor, path) &&
            (onlyList || unlink(path.c_str()) == 0)) {
            removed.push_back(path);
        }
        close(descriptor);
    }
    closedir(listing);
    return removed;
}

} // namespace cvnhost
