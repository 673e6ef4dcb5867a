// The about box, filled from the bound library's version record.
#include "support/dialog_driver.h"
#include "support/plugin_fixture.h"
#include "support/test_language.h"
#include "VelmoraPlugInResources.h"

#include <cstring>

namespace cvn::test {
namespace {

class AboutDialogTest : public BoundPlugInTest {
  protected:
    int32_t runDialog(void (*leave)(HWND)) {
        DialogDriver driver([&](HWND dialog) {
            title = windowTitle(dialog);
            for (int id : {IDC_ENGINE_VERSION, IDC_DLL_VERSION, IDC_DLL_DATE, IDC_HOME_PAGE}) {
                lines.push_back(controlText(dialog, id));
            }
            leave(dialog);
        });
        const int32_t result = plugIn.displayAboutDlg(nullptr, 0);
        EXPECT_TRUE(driver.ran());
        return result;
    }
    static BE_VersionInfo version(const std::string& homePage) {
        BE_VersionInfo info;
        std::memset(&info, 0, sizeof info);
        info.dllMajor = 1;
        info.dllMinor = 5;
        info.engineMajor = 3;
        info.engineMinor = 100;
        info.releaseDay = 5;
        info.releaseMonth = 1;
        info.releaseYear = 2000;
        std::memcpy(info.homePage, homePage.data(), std::min(homePage.size(), sizeof info.homePage));
        return info;
    }
    std::string title;
    std::vector<std::string> lines;
};

TEST_F(AboutDialogTest, LinesComeFromTheVersionRecordInBothLanguages) {
    fake.setVersion(version("http://lame.example/"));
    EXPECT_EQ(runDialog(pressOk), 1);
    const bool german = expectGerman();
    EXPECT_EQ(title, german ? "Info \xFC"
                              "ber Velmora MP3 PlugIn f\xFC"
                              "r Corvane"
                            : "Info about Velmora MP3 PlugIn for Corvane");
    EXPECT_EQ(lines, (std::vector<std::string>{"Encoder Version : 3.100", "DLL Version : 1.5",
                                               german ? "DLL Datum : 5.1.2000" : "DLL Date : 5.1.2000",
                                               "Lame Project Homepage: http://lame.example/"}));
    EXPECT_EQ(fake.calls("beVersion").size(), 1u);
}

TEST_F(AboutDialogTest, EscapeAndCloseBoxGiveTwo) {
    EXPECT_EQ(runDialog(pressEscape), 2);
    EXPECT_EQ(runDialog(pressCloseBox), 2);
    EXPECT_EQ(fake.calls("beVersion").size(), 2u) << "filled afresh every time";
}

TEST_F(AboutDialogTest, EmptyAndOverlongHomePages) {
    fake.setVersion(version(""));
    runDialog(pressOk);
    EXPECT_EQ(lines.back(), "Lame Project Homepage: ");

    // 300 characters do not fit the record: it holds 260 of them with no terminator.
    fake.setVersion(version(std::string(300, 'h')));
    lines.clear();
    runDialog(pressOk);
    EXPECT_EQ(lines.back(), "Lame Project Homepage: " + std::string(255 - 23, 'h'))
        << "cut to fit 255 characters";
}

} // namespace
} // namespace cvn::test
