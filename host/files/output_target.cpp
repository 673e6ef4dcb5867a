#include "files/output_target.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>

namespace cvnhost {

namespace {

constexpr int kMostLinks = 40; // as the kernel's own limit on a path's links

std::optional<std::string> linkText(const std::string& path) {
    std::string text(PATH_MAX, '\0');
    const ssize_t length = readlink(path.c_str(), text.data(), text.size());
    if (length < 0) {
        return std::nullopt;
    }
    text.resize(static_cast<size_t>(length));
    return text;
}

} // namespace

std::string fileTypeName(mode_t mode) {
    switch (mode & S_IFMT) {
    case S_IFREG:
        return "a regular file";
    case S_IFDIR:
        return "a directory";
    case S_IFCHR:
        return "a character device";
    case S_IFBLK:
        return "a block device";
    case S_IFIFO:
        return "a FIFO";
    case S_IFSOCK:
        return "a socket";
    case S_IFLNK:
        return "a symbolic link";
    default:
        return "not a regular file";
    }
}

std::optional<OutputTarget> outputTargetOf(const std::string& output, std::string& error) {
    OutputTarget target;
    target.path = output;
    for (int links = 0;; ++links) {
        if (lstat(target.path.c_str(), &target.status) != 0) {
            if (errno == ENOENT || errno == ENAMETOOLONG) {
                target.nameTooLong = errno == ENAMETOOLONG;
                return target; // made new, through the links followed so far
            }
            error = std::string("cannot be examined: ") + std::strerror(errno);
            return std::nullopt;
        }
        if (!S_ISLNK(target.status.st_mode)) {
            break;
        }
        const std::optional<std::string> text = linkText(target.path);
        if (links == kMostLinks || !text) {
            error = "its symbolic links cannot be followed: " +
                    (text ? "too many levels" : std::string(std::strerror(errno)));
            return std::nullopt;
        }
        const std::filesystem::path next(*text);
        target.path =
            next.is_absolute() ? *text : (std::filesystem::path(target.path).parent_path() / next).string();
    }
    if (!S_ISREG(target.status.st_mode)) {
        error = "is " + fileTypeName(target.status.st_mode) +
                (target.path != output ? " (" + target.path + ")" : "") +
                ", not a regular file: cvnhost writes only regular files, and - for standard output";
        return std::nullopt;
    }
    target.exists = true;
    return target;
}

} // namespace cvnhost

namespace cvnhost {

std::string partialPathOf(const std::string& target, unsigned number) {
    std::filesystem::path path(target);
    const std::string tag = number == 0 ? ".partial" : ".partial-" + std::to_string(number);
    path.replace_filename(path.stem().string() + tag + path.extension().string());
    return path.string();
}

} // namespace cvnhost
