// The Windows release packages, opened as a user opens them: each zip holds the DLL, the readme,
// the licence and a SHA-256 list that matches them; the DLL is of the package's architecture and
// exports the ten entry points.
#include "support/binary_exports.h"
#include "support/child_process.h"
#include "support/temporary_directory.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

namespace cvn::test {
namespace {

// The machine field of a PE file's header: 0x14c for i386, 0x8664 for x86-64.
uint16_t peMachine(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < 0x40) {
        return 0;
    }
    const size_t header =
        bytes[0x3C] | bytes[0x3D] << 8 | bytes[0x3E] << 16 | static_cast<size_t>(bytes[0x3F]) << 24;
    if (header + 6 > bytes.size() ||
        std::string(bytes.begin() + static_cast<std::ptrdiff_t>(header),
                    bytes.begin() + static_cast<std::ptrdiff_t>(header) + 4) != std::string("PE\0\0", 4)) {
        return 0;
    }
    return static_cast<uint16_t>(bytes[header + 4] | bytes[header + 5] << 8);
}

TEST(ReleasePackages, EachZipHoldsItsDllReadmeLicenceAndChecksums) {
    const std::string packages = CVN_WINDOWS_PACKAGES;
    if (packages.empty()) {
        GTEST_SKIP() << "no Windows package to check";
    }
    std::istringstream list(packages);
    for (std::string zip; std::getline(list, zip, '|');) {
        const bool win64 = zip.find("-win64.zip") != std::string::npos;
        ASSERT_TRUE(win64 || zip.find("-win32.zip") != std::string::npos) << zip;
        TemporaryDirectory directory;
        const ChildResult unpacked =
            runProgram("/usr/bin/python3", {"-m", "zipfile", "-e", zip, directory.path()});
        ASSERT_EQ(unpacked.exitStatus, 0) << unpacked.errors;
        const std::string top = std::filesystem::path(zip).stem().string();
        const std::string folder = directory.file(top);
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            names.insert(entry.path().filename().string());
        }
        EXPECT_EQ(names,
                  (std::set<std::string>{"VelmoraPlugIn.dll", "README.txt", "LICENSE.txt", "SHA256SUMS.txt"}))
            << zip;
        const std::string dll = folder + "/VelmoraPlugIn.dll";
        EXPECT_EQ(peMachine(readFileBytes(dll)), win64 ? 0x8664 : 0x14c) << zip;
        EXPECT_EQ(exportedNames(dll).size(), 10u) << zip;
        const std::vector<uint8_t> readme = readFileBytes(folder + "/README.txt");
        EXPECT_NE(std::string(readme.begin(), readme.end()).find("LAME_ENC.DLL"), std::string::npos);
        // Every line of the list is "HASH *NAME", and each hash is that file's.
        const std::vector<uint8_t> sums = readFileBytes(folder + "/SHA256SUMS.txt");
        std::istringstream lines(std::string(sums.begin(), sums.end()));
        size_t checked = 0;
        for (std::string line; std::getline(lines, line);) {
            const std::string name = line.substr(66, line.find('\r') - 66);
            const ChildResult sum = runProgram("/usr/bin/sha256sum", {folder + "/" + name});
            ASSERT_EQ(sum.exitStatus, 0) << name << ": " << sum.errors;
            const std::string hex = sum.output.substr(0, 64);
            EXPECT_EQ(line.substr(0, 64), hex) << name;
            ++checked;
        }
        EXPECT_EQ(checked, 3u) << zip;
    }
}

} // namespace
} // namespace cvn::test
