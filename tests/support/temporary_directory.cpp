#include "temporary_directory.h"

#include "test_paths.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace cvn::test {

TemporaryDirectory::TemporaryDirectory() {
    static std::atomic<unsigned> counter{0};
    // Test programs start in parallel, so the name holds a random part besides the time.
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("velmora-test-" + std::to_string(stamp) + "-" + std::to_string(std::random_device{}()) + "-" +
         std::to_string(counter++));
    std::filesystem::create_directories(path);
    path_ = path.string();
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}

std::string TemporaryDirectory::file(const std::string& name) const {
    return joinPath(path_, name);
}

std::vector<uint8_t> readFileBytes(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(stream)), std::istreambuf_iterator<char>());
}

bool fileExists(const std::string& path) {
    return std::filesystem::exists(path);
}

} // namespace cvn::test
