// The fuzzer's bytes as a file that the code under test opens by path, in memory.
#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

// The path of a memory file holding `data`; `descriptor` is closed by the caller.
inline std::string memoryFile(const uint8_t* data, size_t size, int& descriptor) {
    descriptor = memfd_create("input", 0);
    if (descriptor < 0 || write(descriptor, data, size) != static_cast<ssize_t>(size)) {
        std::abort();
    }
    return "/proc/self/fd/" + std::to_string(descriptor);
}
