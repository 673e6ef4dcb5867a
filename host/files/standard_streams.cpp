#include "files/standard_streams.h"

#include "files/file_io.h"
#include "files/interrupt.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace cvnhost {

std::optional<StandardInputCopy> StandardInputCopy::make(std::string& error) {
    std::string createError;
    std::unique_ptr<LockedTemporary> temporary =
        LockedTemporary::create(temporaryDirectory(), "stdin", 0600, 0, createError);
    if (!temporary) {
        error = "standard input cannot be copied into " + temporaryDirectory() + ": " + createError;
        return std::nullopt;
    }
    uintmax_t bytes = 0;
    if (!copyAllUntil(STDIN_FILENO, temporary->descriptor(), bytes, stopRequested())) {
        error = errno == EINTR && stopRequested().load()
                    ? "standard input: not read to its end: stopped by the user"
                    : "standard input cannot be copied to " + temporary->path() + ": " + std::strerror(errno);
        return std::nullopt;
    }
    return StandardInputCopy(std::move(temporary));
}

} // namespace cvnhost
