#include "registry_storage.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <string>

namespace cvn {

namespace {

// The Win32 error that a failed file operation of the registry gives.
LSTATUS win32Error(int error, LSTATUS otherwise) {
    switch (error) {
    case EACCES:
    case EPERM:
    case EISDIR:
        return ERROR_ACCESS_DENIED;
    case EMFILE:
    case ENFILE:
        return ERROR_TOO_MANY_OPEN_FILES;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return ERROR_DISK_FULL;
    case EROFS:
        return ERROR_WRITE_PROTECT;
    case ENOMEM:
        return ERROR_OUTOFMEMORY;
    case ENOENT:
    case ENOTDIR:
        return ERROR_PATH_NOT_FOUND;
    default:
        return otherwise;
    }
}

// What tells one version of the file from another: a writer renames a new file over it, and an
// edit in place changes its time or size.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    static FileIdentity of(const struct stat& status) {
        return {status.st_dev, status.st_ino, status.st_size, status.st_mtim};
    }
    bool operator==(const FileIdentity& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
    }
};

// The last version of the file this process read or wrote, parsed. Not a static object: modules
// call in from their own unload code, which at process exit runs after every static destructor.
struct ParsedFile {
    std::mutex lock;
    std::string path;
    FileIdentity identity;
    std::shared_ptr<const RegistryDocument> document;
};
ParsedFile& g_parsed = *new ParsedFile;

__attribute__((destructor)) void freeParsedFile() {
    delete &g_parsed;
}

std::shared_ptr<const RegistryDocument> cachedDocument(const std::string& path,
                                                       const FileIdentity& identity) {
    std::lock_guard<std::mutex> guard(g_parsed.lock);
    return g_parsed.path == path && g_parsed.identity == identity ? g_parsed.document : nullptr;
}

void rememberDocument(const std::string& path, const FileIdentity& identity,
                      std::shared_ptr<const RegistryDocument> document) {
    std::lock_guard<std::mutex> guard(g_parsed.lock);
    g_parsed.path = path;
    g_parsed.identity = identity;
    g_parsed.document = std::move(document);
}

LSTATUS readWhole(int descriptor, off_t sizeHint, std::string& text) {
    text.clear();
    text.reserve(static_cast<size_t>(sizeHint > 0 ? sizeHint : 0));
    char block[65536];
    for (;;) {
        const ssize_t count = read(descriptor, block, sizeof block);
        if (count == 0) {
            return ERROR_SUCCESS;
        }
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return win32Error(errno, ERROR_READ_FAULT);
        }
        text.append(block, static_cast<size_t>(count));
    }
}

// Holds a shared lock on "<registry file>.lock", where there is one, for its lifetime.
class ReaderLock {
  public:
    explicit ReaderLock(const std::string& registryPath) {
        if (registryPath.empty()) {
            return;
        }
        descriptor_ = open((registryPath + ".lock").c_str(), O_RDONLY | O_CLOEXEC);
        while (descriptor_ >= 0 && flock(descriptor_, LOCK_SH) != 0 && errno == EINTR) {
        }
    }
    ~ReaderLock() {
        if (descriptor_ >= 0) {
            close(descriptor_);
        }
    }
    ReaderLock(const ReaderLock&) = delete;
    ReaderLock& operator=(const ReaderLock&) = delete;

  private:
    int descriptor_ = -1;
};

// Reads and parses the file at `path`, or takes the parsed version when the file is unchanged.
LSTATUS readDocument(const std::string& path, std::shared_ptr<const RegistryDocument>& document) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0) {
        if (errno == ENOENT) {
            document = std::make_shared<const RegistryDocument>();
            return ERROR_SUCCESS;
        }
        return win32Error(errno, ERROR_READ_FAULT);
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0) {
        const int error = errno;
        close(descriptor);
        return win32Error(error, ERROR_READ_FAULT);
    }
    if (S_ISDIR(status.st_mode)) {
        close(descriptor);
        return ERROR_ACCESS_DENIED;
    }
    // A file with other hard links is rewritten in place: it is read once its writer is done.
    const ReaderLock readerLock(status.st_nlink > 1 ? path : std::string());
    if (status.st_nlink > 1 && fstat(descriptor, &status) != 0) {
        const int error = errno;
        close(descriptor);
        return win32Error(error, ERROR_READ_FAULT);
    }
    const FileIdentity identity = FileIdentity::of(status);
    if (auto cached = cachedDocument(path, identity)) {
        close(descriptor);
        document = std::move(cached);
        return ERROR_SUCCESS;
    }
    std::string text;
    const LSTATUS readStatus = readWhole(descriptor, status.st_size, text);
    close(descriptor);
    if (readStatus != ERROR_SUCCESS) {
        return readStatus;
    }
    RegistryParseError error;
    std::optional<RegistryDocument> parsed = RegistryDocument::parse(text, error);
    if (!parsed) {
        return ERROR_BADDB;
    }
    auto shared = std::make_shared<const RegistryDocument>(std::move(*parsed));
    rememberDocument(path, identity, shared);
    document = std::move(shared);
    return ERROR_SUCCESS;
}

LSTATUS makeParentDirectories(const std::string& path) {
    for (size_t slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1)) {
        if (mkdir(path.substr(0, slash).c_str(), 0700) != 0 && errno != EEXIST) {
            return win32Error(errno, ERROR_PATH_NOT_FOUND);
        }
    }
    return ERROR_SUCCESS;
}

// Holds an exclusive advisory lock on "<registry file>.lock" for its lifetime.
class WriterLock {
  public:
    explicit WriterLock(const std::string& registryPath) {
        status_ = makeParentDirectories(registryPath);
        if (status_ != ERROR_SUCCESS) {
            return;
        }
        descriptor_ = open((registryPath + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (descriptor_ < 0) {
            status_ = win32Error(errno, ERROR_ACCESS_DENIED);
            return;
        }
        while (flock(descriptor_, LOCK_EX) != 0) {
            if (errno != EINTR) {
                status_ = win32Error(errno, ERROR_ACCESS_DENIED);
                return;
            }
        }
    }
    ~WriterLock() {
        if (descriptor_ >= 0) {
            close(descriptor_); // Closing releases the lock.
        }
    }
    WriterLock(const WriterLock&) = delete;
    WriterLock& operator=(const WriterLock&) = delete;
    LSTATUS status() const { return status_; }

  private:
    int descriptor_ = -1;
    LSTATUS status_ = ERROR_SUCCESS;
};

LSTATUS writeAll(int descriptor, const std::string& text) {
    size_t written = 0;
    while (written < text.size()) {
        const ssize_t count = write(descriptor, text.data() + written, text.size() - written);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return win32Error(errno, ERROR_WRITE_FAULT);
        }
        written += static_cast<size_t>(count);
    }
    return ERROR_SUCCESS;
}

// The file a path names with its symbolic links followed: a registry kept by a dotfile manager is
// a link, and its target is what must change.
std::string linkTarget(const std::string& path) {
    std::string target = path;
    for (int links = 0; links < 40; ++links) {
        struct stat status {};
        if (lstat(target.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) {
            break;
        }
        std::string text(4096, '\0');
        const ssize_t length = readlink(target.c_str(), text.data(), text.size());
        if (length <= 0) {
            break;
        }
        text.resize(static_cast<size_t>(length));
        const size_t slash = target.rfind('/');
        target = text[0] == '/' || slash == std::string::npos ? text : target.substr(0, slash + 1) + text;
    }
    return target;
}

// A file with several hard links is rewritten in place, so that every name sees the change;
// readers of such a file wait for the writers' lock (readDocument).
LSTATUS rewriteInPlace(const std::string& path, const std::string& text, FileIdentity& identity) {
    const int descriptor = open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (descriptor < 0) {
        return win32Error(errno, ERROR_WRITE_FAULT);
    }
    LSTATUS status = writeAll(descriptor, text);
    struct stat written {};
    if (status == ERROR_SUCCESS && (ftruncate(descriptor, static_cast<off_t>(text.size())) != 0 ||
                                    fsync(descriptor) != 0 || fstat(descriptor, &written) != 0)) {
        status = win32Error(errno, ERROR_WRITE_FAULT);
    }
    if (close(descriptor) != 0 && status == ERROR_SUCCESS) {
        status = win32Error(errno, ERROR_WRITE_FAULT);
    }
    if (status == ERROR_SUCCESS) {
        identity = FileIdentity::of(written);
    }
    return status;
}

// The new file takes the old one's owner and group where this process may set them: a user who
// is not root keeps at least the group when it is one of theirs.
void takeOwnership(int descriptor, const struct stat& old) {
    if (fchown(descriptor, old.st_uid, old.st_gid) != 0 &&
        fchown(descriptor, static_cast<uid_t>(-1), old.st_gid) != 0) {
        errno = 0;
    }
}

// Writes `text` beside the file and renames it over the file, keeping the old file's mode, owner
// and group. On success `identity` is the new file's.
LSTATUS replaceFile(const std::string& linkedPath, const std::string& text, FileIdentity& identity) {
    const std::string path = linkTarget(linkedPath);
    struct stat old {};
    const bool existed = stat(path.c_str(), &old) == 0;
    if (existed && old.st_nlink > 1) {
        return rewriteInPlace(path, text, identity);
    }
    const std::string temporary = path + ".tmp." + std::to_string(getpid());
    const int descriptor = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (descriptor < 0) {
        return win32Error(errno, ERROR_WRITE_FAULT);
    }
    LSTATUS status = writeAll(descriptor, text);
    if (existed) {
        takeOwnership(descriptor, old);
    }
    if (status == ERROR_SUCCESS &&
        (fchmod(descriptor, existed ? old.st_mode & 07777 : 0600) != 0 || fsync(descriptor) != 0)) {
        status = win32Error(errno, ERROR_WRITE_FAULT);
    }
    struct stat written {};
    if (status == ERROR_SUCCESS && fstat(descriptor, &written) != 0) {
        status = win32Error(errno, ERROR_WRITE_FAULT);
    }
    if (close(descriptor) != 0 && status == ERROR_SUCCESS) {
        status = win32Error(errno, ERROR_WRITE_FAULT);
    }
    if (status == ERROR_SUCCESS && rename(temporary.c_str(), path.c_str()) != 0) {
        status = win32Error(errno, ERROR_WRITE_FAULT);
    }
    if (status != ERROR_SUCCESS) {
        unlink(temporary.c_str());
        return status;
    }
    identity = FileIdentity::of(written);
    return ERROR_SUCCESS;
}

} // namespace

std::string registryFilePath() {
    if (const char* path = std::getenv("CVN_REGISTRY"); path != nullptr && *path != '\0') {
        return path;
    }
    std::string base;
    if (const char* config = std::getenv("XDG_CONFIG_HOME"); config != nullptr && *config != '\0') {
        base = config;
    } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
        base = std::string(home) + "/.config";
    } else if (const passwd* user = getpwuid(getuid()); user != nullptr && user->pw_dir != nullptr) {
        base = std::string(user->pw_dir) + "/.config";
    } else {
        base = "/nonexistent/.config"; // no home to be found: the file can be neither read nor made
    }
    return base + "/cvnplatform/registry.reg";
}

namespace {

// The changes of one thread gathered into one write of the file (beginRegistryChanges).
struct Transaction {
    std::mutex lock;
    std::optional<std::thread::id> owner;
    std::string path;
    std::unique_ptr<WriterLock> writer;
    std::shared_ptr<RegistryDocument> document;
    bool changed = false;
};
Transaction& g_transaction = *new Transaction;

__attribute__((destructor)) void freeTransaction() {
    delete &g_transaction;
}

// The version of the file this thread's reads are held to (holdRegistryReads).
thread_local bool t_holdingReads = false;
thread_local std::shared_ptr<const RegistryDocument> t_heldDocument;

bool ownsTransaction() {
    std::lock_guard<std::mutex> guard(g_transaction.lock);
    return g_transaction.owner == std::this_thread::get_id();
}

} // namespace

LSTATUS readRegistry(std::shared_ptr<const RegistryDocument>& document) {
    if (ownsTransaction()) {
        document = g_transaction.document;
        return ERROR_SUCCESS;
    }
    if (t_holdingReads && t_heldDocument) {
        document = t_heldDocument;
        return ERROR_SUCCESS;
    }
    const LSTATUS status = readDocument(registryFilePath(), document);
    if (status == ERROR_SUCCESS && t_holdingReads) {
        t_heldDocument = document;
    }
    return status;
}

void holdRegistryReads(bool hold) {
    t_holdingReads = hold;
    t_heldDocument.reset();
}

LSTATUS beginRegistryChanges() {
    if (ownsTransaction()) {
        return ERROR_BUSY;
    }
    const std::string path = registryFilePath();
    auto writer = std::make_unique<WriterLock>(path);
    if (writer->status() != ERROR_SUCCESS) {
        return writer->status();
    }
    std::shared_ptr<const RegistryDocument> current;
    if (const LSTATUS status = readDocument(path, current); status != ERROR_SUCCESS) {
        return status;
    }
    std::lock_guard<std::mutex> guard(g_transaction.lock);
    g_transaction.owner = std::this_thread::get_id();
    g_transaction.path = path;
    g_transaction.writer = std::move(writer);
    g_transaction.document = std::make_shared<RegistryDocument>(*current);
    g_transaction.changed = false;
    return ERROR_SUCCESS;
}

LSTATUS endRegistryChanges(bool keep) {
    if (!ownsTransaction()) {
        return ERROR_INVALID_FUNCTION;
    }
    LSTATUS status = ERROR_SUCCESS;
    if (keep && g_transaction.changed) {
        FileIdentity identity;
        status = replaceFile(g_transaction.path, g_transaction.document->text(), identity);
        if (status == ERROR_SUCCESS) {
            rememberDocument(g_transaction.path, identity, g_transaction.document);
        }
    }
    std::lock_guard<std::mutex> guard(g_transaction.lock);
    g_transaction.owner.reset();
    g_transaction.writer.reset();
    g_transaction.document.reset();
    return status;
}

LSTATUS changeRegistry(const std::function<bool(RegistryDocument&)>& change) {
    if (ownsTransaction()) {
        g_transaction.changed = change(*g_transaction.document) || g_transaction.changed;
        return ERROR_SUCCESS;
    }
    const std::string path = registryFilePath();
    WriterLock lock(path);
    if (lock.status() != ERROR_SUCCESS) {
        return lock.status();
    }
    std::shared_ptr<const RegistryDocument> current;
    if (const LSTATUS status = readDocument(path, current); status != ERROR_SUCCESS) {
        return status;
    }
    auto changed = std::make_shared<RegistryDocument>(*current);
    if (!change(*changed)) {
        return ERROR_SUCCESS;
    }
    FileIdentity identity;
    if (const LSTATUS status = replaceFile(path, changed->text(), identity); status != ERROR_SUCCESS) {
        return status;
    }
    rememberDocument(path, identity, std::move(changed));
    return ERROR_SUCCESS;
}

} // namespace cvn
