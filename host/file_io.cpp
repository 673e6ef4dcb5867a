#include "file_io.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>

namespace cvnhost {

std::string temporaryDirectory() {
    const char* directory = std::getenv("TMPDIR");
    return directory != nullptr && *directory != '\0' ? directory : "/tmp";
}

bool copyAll(int in, int out, uintmax_t& bytes) {
    char block[65536];
    bytes = 0;
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
        bytes += static_cast<uintmax_t>(count);
    }
    return true;
}

} // namespace cvnhost
