#include "files/file_system.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/sysmacros.h>

#include <array>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace cvnhost {

namespace {

namespace fs = std::filesystem;

// The mount table escapes a space, a tab, a newline and a backslash as three octal digits.
std::string unescaped(const std::string& field) {
    std::string text;
    for (size_t i = 0; i < field.size(); ++i) {
        const bool octal = field[i] == '\\' && i + 3 < field.size() &&
                           field.substr(i + 1, 3).find_first_not_of("01234567") == std::string::npos;
        if (octal) {
            text += static_cast<char>(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            text += field[i];
        }
    }
    return text;
}

struct MountLine {
    std::string device; // "MAJOR:MINOR"
    std::string mountPoint;
    std::string type;
    std::string source;
};

std::optional<MountLine> parseMountLine(const std::string& line) {
    std::istringstream fields(line);
    std::string id, parent, root, options, word;
    MountLine mount;
    if (!(fields >> id >> parent >> mount.device >> root >> mount.mountPoint >> options)) {
        return std::nullopt;
    }
    while (fields >> word && word != "-") {
    }
    if (!(fields >> mount.type >> mount.source)) {
        return std::nullopt;
    }
    mount.mountPoint = unescaped(mount.mountPoint);
    return mount;
}

// The folder itself, or the nearest one above it that exists, made absolute with links followed.
fs::path existingFolderOf(const std::string& path) {
    std::error_code error;
    fs::path folder = fs::absolute(path, error).lexically_normal();
    while (folder.has_relative_path() && !fs::exists(folder, error)) {
        folder = folder.parent_path();
    }
    const fs::path real = fs::canonical(folder, error);
    return error ? folder : real;
}

bool isBelowOrAt(const fs::path& path, const std::string& mountPoint) {
    const fs::path relative = path.lexically_relative(mountPoint);
    return !relative.empty() && *relative.begin() != "..";
}

} // namespace

bool countsUtf16(const std::string& type) {
    static constexpr std::array<const char*, 9> kTypes = {
        "vfat", "msdos", "exfat", "ntfs", "ntfs3", "fuseblk", "fuse.fusefat", "fuse.exfat", "fuse.ntfs-3g"};
    for (const char* known : kTypes) {
        if (type == known) {
            return true;
        }
    }
    return false;
}

std::optional<dev_t> deviceOf(const std::string& path) {
    struct stat status {};
    return stat(existingFolderOf(path).c_str(), &status) == 0 ? std::optional<dev_t>(status.st_dev)
                                                              : std::nullopt;
}

std::optional<FileSystemOf> fileSystemOf(const std::string& path) {
    const fs::path folder = existingFolderOf(path);
    struct stat status {};
    if (stat(folder.c_str(), &status) != 0) {
        return std::nullopt;
    }
    FileSystemOf found;
    found.device = status.st_dev;
    const std::string device =
        std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev));
    std::ifstream table("/proc/self/mountinfo");
    size_t bestLength = 0;
    for (std::string line; std::getline(table, line);) {
        const std::optional<MountLine> mount = parseMountLine(line);
        // A later mount over the same place hides the earlier one: the last that fits wins.
        if (mount && isBelowOrAt(folder, mount->mountPoint) && mount->mountPoint.size() >= bestLength &&
            (mount->device == device || mount->mountPoint.size() > bestLength)) {
            bestLength = mount->mountPoint.size();
            found.mountPoint = mount->mountPoint;
            found.type = mount->type;
            found.source = mount->source;
        }
    }
    struct statvfs space {};
    if (statvfs(folder.c_str(), &space) == 0 && space.f_namemax > 0) {
        found.nameMax = space.f_namemax;
    }
    found.units = countsUtf16(found.type) ? NameUnits::Utf16 : NameUnits::Bytes;
    if (found.units == NameUnits::Utf16) {
        found.nameMax = 255; // the long name's limit; the kernel's driver says 1530, bytes of UTF-8
    }
    return found;
}

bool isMountPoint(const std::string& folder) {
    struct stat own {};
    struct stat parent {};
    const std::string above = (fs::path(folder) / "..").string();
    return stat(folder.c_str(), &own) == 0 && stat(above.c_str(), &parent) == 0 &&
           (own.st_dev != parent.st_dev || own.st_ino == parent.st_ino);
}

std::optional<uint64_t> freeBytesOn(const std::string& path) {
    struct statvfs space {};
    if (statvfs(existingFolderOf(path).c_str(), &space) != 0 || space.f_blocks == 0) {
        return std::nullopt;
    }
    return static_cast<uint64_t>(space.f_bavail) * space.f_frsize;
}

std::string megabytes(uint64_t bytes) {
    std::array<char, 32> text{};
    std::snprintf(text.data(), text.size(), "%.1f MB", static_cast<double>(bytes) / 1e6);
    return text.data();
}

} // namespace cvnhost
