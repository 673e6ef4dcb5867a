#include "files/pending_output.h"

#include "files/file_io.h"
#include "files/file_system.h"
#include "files/output_target.h"
#include "files/standard_streams.h"

#include <VelmoraPlugIn.hpp>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace cvnhost {

namespace {

std::string directoryOf(const std::string& path) {
    const std::string directory = std::filesystem::path(path).parent_path().string();
    return directory.empty() ? "." : directory;
}

std::string systemError(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// Takes the owner and group of the file replaced where this process may: a user who is not root
// keeps at least the group when it is one of theirs.
void takeOwnership(int descriptor, const struct stat& old) {
    if (fchown(descriptor, old.st_uid, old.st_gid) != 0 &&
        fchown(descriptor, static_cast<uid_t>(-1), old.st_gid) != 0) {
        errno = 0; // the file is then the user's own, as any file they make
    }
}

// A file system without modes (FAT through FUSE) refuses to take one: its files have none to keep.
bool keepsNoModes(int cause) {
    return cause == ENOSYS || cause == EPERM || cause == EOPNOTSUPP;
}

// Whether the file's name is as short as its file system takes, counted as it counts: a name too
// long would be refused only at the rename, once the whole track was encoded.
bool fitsItsFileSystem(const std::string& path) {
    const std::optional<FileSystemOf> system = fileSystemOf(path);
    const std::string name = std::filesystem::path(path).filename().string();
    return !system || lengthIn(name, system->units) <= system->nameMax;
}

} // namespace

std::unique_ptr<PendingOutput> PendingOutput::create(const std::string& output, const std::string& partial,
                                                     std::string& error) {
    if (isStandardStream(output)) {
        std::unique_ptr<LockedTemporary> temporary =
            LockedTemporary::create(temporaryDirectory(), "stdout", 0600, 0, error);
        if (!temporary) {
            return nullptr;
        }
        return std::unique_ptr<PendingOutput>(new PendingOutput(output, "", "", std::move(temporary)));
    }
    const std::optional<OutputTarget> target = outputTargetOf(output, error);
    if (!target) {
        return nullptr;
    }
    if (target->nameTooLong || !fitsItsFileSystem(target->path)) {
        error = "cannot be created: its name or path is longer than the file system takes";
        return nullptr;
    }
    // A file that is replaced gets its mode at the end: until then only its owner reads the new one.
    const mode_t mode = target->exists ? 0600 : 0644;
    std::unique_ptr<LockedTemporary> temporary = LockedTemporary::create(
        directoryOf(target->path), std::filesystem::path(target->path).filename().string(), mode,
        CVN_TEXT_FIELD_SIZE, error);
    if (!temporary) {
        return nullptr;
    }
    return std::unique_ptr<PendingOutput>(
        new PendingOutput(output, target->path, partial.empty() ? partialPathOf(target->path, 0) : partial,
                          std::move(temporary)));
}

bool PendingOutput::copyInto(int out, std::string& error) {
    const int in = temporary_->descriptor();
    if (lseek(in, 0, SEEK_SET) != 0 || !copyAll(in, out, bytes_)) {
        error = systemError("could not be written");
        return false;
    }
    return true;
}

bool PendingOutput::commit(std::string& error) {
    if (target_.empty()) {
        const int out = dup(STDOUT_FILENO);
        const bool copied = out >= 0 && copyInto(out, error);
        if (out >= 0 && close(out) != 0 && copied) {
            error = systemError("could not be written");
            return false;
        }
        return copied;
    }
    // The target is examined again: it may have changed while the track was encoded.
    struct stat old {};
    if (lstat(target_.c_str(), &old) == 0) {
        if (!S_ISREG(old.st_mode)) {
            error = "cannot be replaced: " + target_ + " is now " + fileTypeName(old.st_mode);
            return false;
        }
        return replaceTarget(&old, error);
    }
    return replaceTarget(nullptr, error);
}

bool PendingOutput::replaceTarget(const struct stat* old, std::string& error) {
    const int descriptor = temporary_->descriptor();
    if (fsync(descriptor) != 0) {
        error = systemError("could not be flushed to disk");
        return false;
    }
    if (old != nullptr && old->st_nlink > 1) {
        // Renaming would leave the other names with the old file: it is written in place instead.
        const int out = open(target_.c_str(), O_WRONLY | O_CLOEXEC);
        bool written = out >= 0 && copyInto(out, error);
        written = written && (ftruncate(out, static_cast<off_t>(bytes_)) == 0 && fsync(out) == 0);
        if (out >= 0 && close(out) != 0) {
            written = false;
        }
        if (!written && error.empty()) {
            error =
                systemError("could not be written in place of " + target_ + ", which has other hard links");
        }
        return written;
    }
    if (old != nullptr) {
        takeOwnership(descriptor, *old);
        if (fchmod(descriptor, old->st_mode & 07777) != 0 && !keepsNoModes(errno)) {
            error = systemError("cannot take the mode of the old file");
            return false;
        }
    }
    if (rename(temporary_->path().c_str(), target_.c_str()) != 0) {
        error = systemError("cannot take the place of the old file");
        return false;
    }
    temporary_->keep();
    struct stat status {};
    bytes_ = fstat(descriptor, &status) == 0 ? static_cast<uintmax_t>(status.st_size) : 0;
    return true;
}

std::string PendingOutput::keepAsPartial(std::string& error) {
    if (target_.empty()) {
        error = "is standard output: no partial file is kept for it";
        return {};
    }
    // Never over a file: the name planned, else the next numbered one that is free.
    std::string kept = partial_;
    for (unsigned number = 1; !renameWithoutReplacing(temporary_->path(), kept); ++number) {
        if (errno != EEXIST || number > 1000) {
            error = systemError("cannot be kept as " + kept);
            return {};
        }
        kept = partialPathOf(target_, number);
    }
    temporary_->keep();
    return kept;
}

} // namespace cvnhost
