// The temporary files of a run: each is created beside where its contents will go, under a name
// no other file has (".NAME.cvnhost-HOST-PID-N.partial"), and holds an exclusive lock for as long
// as its run uses it. The lock, not the name, tells a live temporary from an abandoned one: a run
// on another machine writing into the same shared folder, or in another PID namespace, holds its
// lock, while a run killed outright holds none (the kernel, or the file server, drops it).
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

namespace cvnhost {

class LockedTemporary {
  public:
    // Creates and locks a new file in `directory` named after `name` (may be empty), with `mode`
    // (before the umask). When the path would reach `longestPath` bytes (0: no limit) or the name
    // would be longer than the file system takes, the name is left out. Null with the cause in
    // `error`.
    static std::unique_ptr<LockedTemporary> create(const std::string& directory, const std::string& name,
                                                   mode_t mode, size_t longestPath, std::string& error);
    // Releases the lock; the file is removed unless kept().
    ~LockedTemporary();
    LockedTemporary(const LockedTemporary&) = delete;
    LockedTemporary& operator=(const LockedTemporary&) = delete;

    const std::string& path() const { return path_; }
    int descriptor() const { return descriptor_; }
    // The file became something else (renamed into place, kept as partial): it is not removed.
    void keep() { kept_ = true; }

  private:
    LockedTemporary(std::string path, int descriptor) : path_(std::move(path)), descriptor_(descriptor) {}
    std::string path_;
    int descriptor_;
    bool kept_ = false;
};

// Whether `name` has the form of a cvnhost temporary file.
bool isTemporaryName(const std::string& name);

// Removes the temporary files in `directory` that no live process holds, and returns their paths;
// with `onlyList` (a dry run), only returns them.
std::vector<std::string> removeAbandonedTemporaries(const std::string& directory, bool onlyList = false);

} // namespace cvnhost
