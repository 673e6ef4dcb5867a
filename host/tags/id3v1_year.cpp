#include "tags/id3v1_year.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace cvnhost {

namespace {

constexpr off_t kTagBytes = 128;
constexpr off_t kYearOffset = 93;
constexpr size_t kYearBytes = 4;

} // namespace

std::optional<std::string> id3v1YearOf(const TrackTags& tags) {
    for (const char* name : {"DATE", "YEAR"}) {
        const auto found = tags.more.find(name);
        if (found == tags.more.end() || found->second.empty()) {
            continue;
        }
        const std::string& text = found->second.front();
        const bool year = text.size() >= kYearBytes && text.find_first_not_of("0123456789") >= kYearBytes;
        if (year) {
            return text.substr(0, kYearBytes);
        }
    }
    return std::nullopt;
}

bool setId3v1Year(const std::string& path, const std::string& year, std::string& error) {
    const int descriptor = open(path.c_str(), O_RDWR | O_CLOEXEC);
    struct stat status {};
    if (descriptor < 0 || fstat(descriptor, &status) != 0) {
        error = std::string("cannot be opened to add the year to its ID3v1 tag: ") + std::strerror(errno);
        if (descriptor >= 0) {
            close(descriptor);
        }
        return false;
    }
    std::array<char, kTagBytes> tag{};
    const off_t start = status.st_size - kTagBytes;
    const bool tagged = start >= 0 && pread(descriptor, tag.data(), tag.size(), start) == kTagBytes &&
                        std::memcmp(tag.data(), "TAG", 3) == 0;
    const bool empty =
        tagged && std::all_of(tag.begin() + kYearOffset, tag.begin() + kYearOffset + kYearBytes,
                              [](char c) { return c == '\0'; });
    bool written = true;
    if (empty) {
        written = pwrite(descriptor, year.data(), kYearBytes, start + kYearOffset) ==
                  static_cast<ssize_t>(kYearBytes);
        if (!written) {
            error = std::string("could not take the year into its ID3v1 tag: ") + std::strerror(errno);
        }
    }
    close(descriptor);
    return written;
}

} // namespace cvnhost
