// The file system a path is on, as the kernel's mount table names it: what counts a name's length
// in UTF-16 units (FAT, exFAT and NTFS, also through FUSE), how long a name may be, how much room
// is left, and whether a folder is a mount point of its own (a card in its slot) or only the
// folder it is mounted on (the card taken out).
#pragma once

#include "files/name_length.h"

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

namespace cvnhost {

struct FileSystemOf {
    std::string mountPoint; // where it is mounted
    std::string type;       // "ext4", "vfat", "exfat", "fuseblk", "fuse.fusefat", ...
    std::string source;     // "/dev/sdb1", "/dev/loop0", ...
    dev_t device = 0;
    size_t nameMax = 255;
    NameUnits units = NameUnits::Bytes;
};

// The file system of `path`, or of the nearest folder above it that exists; nothing when none can
// be examined.
std::optional<FileSystemOf> fileSystemOf(const std::string& path);

// The device of `path`, or of the nearest folder above it that exists: a stat, without the mount
// table; nothing when none can be examined.
std::optional<dev_t> deviceOf(const std::string& path);

// Whether the file system of this type keeps long names in UTF-16 (and so counts them in its units).
bool countsUtf16(const std::string& type);

// Whether `folder` is where a file system is mounted: its device is not its parent's.
bool isMountPoint(const std::string& folder);

// The bytes left to a process that is not root, on the file system of `path`; nothing where the
// file system does not say (it reports no blocks at all).
std::optional<uint64_t> freeBytesOn(const std::string& path);

// "3.2 MB" for a number of bytes.
std::string megabytes(uint64_t bytes);

} // namespace cvnhost
