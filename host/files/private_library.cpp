#include "files/private_library.h"

#include <unistd.h>

#include <climits>
#include <string>

namespace cvnhost {

namespace {

std::filesystem::path programDirectory() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    return std::filesystem::path(std::string(path, length > 0 ? static_cast<size_t>(length) : 0))
        .parent_path();
}

} // namespace

std::vector<std::filesystem::path> privateLibraryCandidates(const char* fileName) {
    const std::filesystem::path directory = programDirectory();
    return {directory / fileName,
            (directory / CVN_PLUGIN_DIRECTORY_FROM_PROGRAM / fileName).lexically_normal()};
}

} // namespace cvnhost
