#include "standard_streams.h"

#include "file_io.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace cvnhost {

std::optional<StandardInputCopy> StandardInputCopy::make(std::string& error) {
    std::string path = temporaryDirectory() + "/cvnhost-stdin-XXXXXX";
    const int descriptor = mkstemp(path.data());
    if (descriptor < 0) {
        error = "standard input cannot be copied: " + path + ": " + std::strerror(errno);
        return std::nullopt;
    }
    StandardInputCopy copy(path);
    uintmax_t bytes = 0;
    const bool copied = copyAll(STDIN_FILENO, descriptor, bytes);
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
