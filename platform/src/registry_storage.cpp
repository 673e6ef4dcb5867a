#include "registry_storage.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <string>

namespace cvn {

namespace {

void makeParentDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        mkdir(path.substr(0, slash).c_str(), 0700);
    }
}

// Holds an advisory lock on "<registry file>.lock" for its lifetime.
class RegistryLock {
  public:
    RegistryLock(const std::string& registryPath, int operation) {
        makeParentDirectories(registryPath);
        descriptor_ = open((registryPath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (descriptor_ >= 0) {
            while (flock(descriptor_, operation) != 0 && errno == EINTR) {
            }
        }
    }
    ~RegistryLock() {
        if (descriptor_ >= 0) {
            close(descriptor_); // Closing releases the lock.
        }
    }
    RegistryLock(const RegistryLock&) = delete;
    RegistryLock& operator=(const RegistryLock&) = delete;
    bool held() const { return descriptor_ >= 0; }

  private:
    int descriptor_ = -1;
};

std::string readFile(const std::string& path) {
    std::string text;
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return text;
    }
    char block[4096];
    for (ssize_t count; (count = read(descriptor, block, sizeof block)) != 0;) {
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            break;
        }
        text.append(block, static_cast<size_t>(count));
    }
    close(descriptor);
    return text;
}

bool writeAll(int descriptor, const std::string& text) {
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = write(descriptor, text.data() + written, text.size() - written);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += static_cast<size_t>(count);
    }
    return true;
}

bool replaceFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp." + std::to_string(getpid());
    const int descriptor = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return false;
    }
    const bool complete = writeAll(descriptor, text) && fsync(descriptor) == 0;
    if (close(descriptor) != 0 || !complete || rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

std::string registryFilePath() {
    if (const char* path = std::getenv("CVN_REGISTRY"); path != nullptr && *path != '\0') {
        return path;
    }
    std::string base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config != '\0') {
        base = config;
    } else {
        const char* home = std::getenv("HOME");
        base = std::string(home != nullptr ? home : "") + "/.config";
    }
    return base + "/cvnplatform/registry.reg";
}

RegistryStore readRegistry() {
    const std::string path = registryFilePath();
    RegistryLock lock(path, LOCK_SH);
    return parseRegistryText(readFile(path));
}

bool changeRegistry(const std::function<bool(RegistryStore&)>& change) {
    const std::string path = registryFilePath();
    RegistryLock lock(path, LOCK_EX);
    if (!lock.held()) {
        return false;
    }
    RegistryStore store = parseRegistryText(readFile(path));
    if (!change(store)) {
        return true;
    }
    return replaceFile(path, formatRegistryText(store));
}

} // namespace cvn
