#include "files/file_io.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace cvnhost {

std::string temporaryDirectory() {
    const char* directory = std::getenv("TMPDIR");
    return directory != nullptr && *directory != '\0' ? directory : "/tmp";
}

namespace {

constexpr int kStopCheckMilliseconds = 200;

// Waits until `in` has data (or its end) or `stop` is set; false once it is set.
bool waitForData(int in, const std::atomic<bool>* stop) {
    if (stop == nullptr) {
        return true;
    }
    pollfd readable{in, POLLIN, 0};
    while (!stop->load()) {
        const int ready = poll(&readable, 1, kStopCheckMilliseconds);
        if (ready > 0 || (ready < 0 && errno != EINTR)) {
            return true; // data, the end, or an error that the read then reports
        }
    }
    errno = EINTR;
    return false;
}

bool copyBlocks(int in, int out, uintmax_t& bytes, const std::atomic<bool>* stop) {
    char block[65536];
    bytes = 0;
    for (ssize_t count; waitForData(in, stop) && (count = read(in, block, sizeof block)) != 0;) {
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        for (ssize_t written = 0; written < count;) {
            const ssize_t step = write(out, block + written, static_cast<size_t>(count - written));
            if (step < 0 && errno != EINTR) {
                return false;
            }
            written += step > 0 ? step : 0;
        }
        bytes += static_cast<uintmax_t>(count);
    }
    return stop == nullptr || !stop->load();
}

} // namespace

bool copyAll(int in, int out, uintmax_t& bytes) {
    return copyBlocks(in, out, bytes, nullptr);
}

bool copyAllUntil(int in, int out, uintmax_t& bytes, const std::atomic<bool>& stop) {
    return copyBlocks(in, out, bytes, &stop);
}

} // namespace cvnhost

namespace cvnhost {

bool renameWithoutReplacing(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // Under another case on FAT or exFAT, `to` may be `from` itself: a rename of its case only.
    struct stat target {};
    struct stat source {};
    const bool itself = lstat(from.c_str(), &source) == 0 && lstat(to.c_str(), &target) == 0 &&
                        source.st_dev == target.st_dev && source.st_ino == target.st_ino;
    if (!itself && lstat(to.c_str(), &target) == 0) {
        errno = EEXIST;
        return false;
    }
    return rename(from.c_str(), to.c_str()) == 0;
}

bool makeFoldersOf(const std::string& output, std::string& error) {
    const std::filesystem::path folder = std::filesystem::path(output).parent_path();
    if (folder.empty()) {
        return true;
    }
    // Another track's thread may make the same folder at the same moment.
    std::error_code folderError;
    std::filesystem::create_directories(folder, folderError);
    std::error_code typeError;
    if (std::filesystem::is_directory(folder, typeError)) {
        return true;
    }
    error = "cannot create the directory " + folder.string() + ": " + folderError.message();
    return false;
}

} // namespace cvnhost
