// Where an output's bytes really go. A symbolic link is followed to its target (a library kept in
// place through links keeps its links), and only a regular file, or none yet, may be written: a
// device, a pipe, a folder or a socket behind an output's name is refused with its type named.
// Standard output ("-") is the one exception, and is handled before any of this.
#pragma once

#include <sys/stat.h>

#include <optional>
#include <string>

namespace cvnhost {

struct OutputTarget {
    std::string path;    // the output's path with every link followed
    bool exists = false; // a regular file is there; `status` is its
    // The file system refuses the name as too long: a new file that cannot be made. Its track fails
    // alone, when it is written; the run's other paths are still planned.
    bool nameTooLong = false;
    struct stat status {};
};

// The target of `output`, or nothing with the cause in `error` (the caller names the output): a
// link that loops, a path that cannot be examined, or a target that is not a regular file.
std::optional<OutputTarget> outputTargetOf(const std::string& output, std::string& error);

// "a directory", "a block device", ... for a file's mode.
std::string fileTypeName(mode_t mode);

} // namespace cvnhost

namespace cvnhost {

// The name a file cut short keeps beside its output's target: "STEM.partial.EXT", and with a
// `number` above 0 "STEM.partial-NUMBER.EXT", for when that name is taken.
std::string partialPathOf(const std::string& target, unsigned number);

} // namespace cvnhost
