// Shows each dialog under Wine long enough for scripts/screenshots to capture it from the X
// display. Runs only when CVN_SCREENSHOT_DIRECTORY names where the pictures go.
#include "support/dialog_driver.h"
#include "support/plugin_fixture.h"
#include "support/settings_key.h"
#include "support/temporary_directory.h"
#include "support/test_language.h"

#include <cstdio>
#include <cstdlib>

namespace cvn::test {
namespace {

// Writes the dialog's place on the screen to <name>.geometry and waits for <name>.png.
void holdForCapture(HWND dialog, const std::string& directory, const std::string& name) {
    RECT rect{};
    GetWindowRect(dialog, &rect);
    const std::string geometry = directory + "\\" + name + ".geometry";
    if (std::FILE* file = std::fopen(geometry.c_str(), "w")) {
        std::fprintf(file, "%ldx%ld+%ld+%ld\n", rect.right - rect.left, rect.bottom - rect.top, rect.left,
                     rect.top);
        std::fclose(file);
    }
    for (int i = 0; i < 400 && !fileExists(directory + "\\" + name + ".png"); ++i) {
        Sleep(50);
    }
}

TEST_F(PlugInTest, ScreenshotsOfBothDialogs) {
    const char* directory = std::getenv("CVN_SCREENSHOT_DIRECTORY");
    if (directory == nullptr || *directory == '\0') {
        GTEST_SKIP() << "CVN_SCREENSHOT_DIRECTORY is not set";
    }
    const std::string language = expectGerman() ? "de" : "en";
    bind();
    BE_VersionInfo info{};
    info.dllMajor = 1;
    info.engineMajor = 3;
    info.engineMinor = 100;
    info.releaseDay = 9;
    info.releaseMonth = 12;
    info.releaseYear = 2026;
    std::strcpy(info.homePage, "http://lame.sf.net");
    fake.setVersion(info);
    {
        DialogDriver driver([&](HWND dialog) {
            holdForCapture(dialog, directory, "about-" + language);
            pressOk(dialog);
        });
        EXPECT_EQ(plugIn.displayAboutDlg(nullptr, 0), 1);
    }
    SettingsKey settings;
    settings.set("VBR", 5);
    settings.set("CRC", 1);
    {
        DialogDriver driver([&](HWND dialog) {
            holdForCapture(dialog, directory, "settings-" + language);
            pressCancel(dialog);
        });
        EXPECT_EQ(plugIn.displayAdvancedConfigDlg(nullptr, 0, 0, settings.handle()), 0);
    }
    plugIn.closePlugInDLL();
}

} // namespace
} // namespace cvn::test
