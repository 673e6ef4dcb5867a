#include "standard_streams.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace cvnhost {

namespace {

// Copies everything from `in` to `out`; false on a read or write error, with errno set.
bool copyAll(int in, int out) {
    char block[65536];
    for (ssize_t count; (count = read(in, block, sizeof block)) != 0;) {
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
    }
    return true;
}

} // namespace

std::optional<StandardInputCopy> StandardInputCopy::make(std::string& error) {
    const char* directory = std::getenv("TMPDIR");
    std::string path = std::string(directory != nullptr && *directory != '\0' ? directory : "/tmp") +
                       "/cvnhost-stdin-XXXXXX";
    const int descriptor = mkstemp(path.data());
    if (descriptor < 0) {
        error = "standard input cannot be copied: " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    StandardInputCopy copy(path);
    const bool copied = copyAll(STDIN_FILENO, descriptor);
    const int copyErrno = errno;
    if (close(descriptor) != 0 || !copied) {
        error =
            "standard input cannot be copied to " + path + ": " + std::strerror(copied ? errno : copyErrno);
        return std::nullopt;
    }
    return copy;
}

StandardInputCopy::~StandardInputCopy() {
    if (!path_.empty()) {
        unlink(path_.c_str());
    }
}

} // namespace cvnhost
