// The plug-in exports exactly its ten entry points and nothing else, on every build.
#include "support/binary_exports.h"
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

const std::set<std::string> kEntryPoints = {
    "CVN_GetPlugInSupportInfo", "CVN_InitPlugInDLL",   "CVN_ClosePlugInDLL",           "CVN_GetPlugInInfo",
    "CVN_GetFormatInfo",        "CVN_DisplayAboutDlg", "CVN_DisplayAdvancedConfigDlg", "CVN_InitStream",
    "CVN_WriteBuffer",          "CVN_CloseStream",
};

TEST(Exports, PlugInOfThisBuildExportsExactlyTheTenEntryPoints) {
    EXPECT_EQ(cvn::test::exportedNames(cvn::test::pluginPath()), kEntryPoints);
}

// The Windows builds are checked from the native suite when their paths were given at configure
// time (scripts/test builds them first).
TEST(Exports, WindowsPlugInsExportTheTenAndImportOnlySystemDlls) {
    const std::string paths = CVN_WINDOWS_PLUGINS;
    if (paths.empty()) {
        GTEST_SKIP() << "no Windows build to check";
    }
    std::istringstream list(paths);
    for (std::string path; std::getline(list, path, '|');) {
        EXPECT_EQ(cvn::test::exportedNames(path), kEntryPoints) << path;
        // Static runtime: nothing but system DLLs, which every Windows has.
        EXPECT_EQ(cvn::test::importedLibraries(path),
                  (std::set<std::string>{"ADVAPI32.dll", "KERNEL32.dll", "USER32.dll", "msvcrt.dll"}))
            << path;
    }
}

} // namespace
