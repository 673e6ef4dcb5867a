// The "Extended Settings" dialog, driven as a user would, and its two mapping rules.
#include "support/dialog_driver.h"
#include "support/plugin_fixture.h"
#include "support/settings_key.h"
#include "support/test_language.h"
#include "VelmoraPlugInResources.h"
#include "share/win32/settings_controls.h"
#include "ui/settings_mapping.h"

#include <map>

namespace cvn::test {

using namespace velmora;
namespace {

TEST(SettingsMapping, StoredValuesToControls) {
    SettingsControlStates states = controlStatesFrom(EncoderSettings{});
    EXPECT_TRUE(states.jointStereo);
    EXPECT_FALSE(states.copyright || states.crc || states.original || states.privateBit);
    EXPECT_EQ(states.qualityButton, 0);
    EXPECT_EQ(states.vbrSelection, 0);

    EncoderSettings odd;
    odd.stereoMode = 5;
    odd.copyright = 7;
    odd.quality = 3;
    odd.vbr = 11;
    odd.privateBit = 0xFFFFFFFF;
    states = controlStatesFrom(odd);
    EXPECT_FALSE(states.jointStereo);
    EXPECT_TRUE(states.copyright);
    EXPECT_TRUE(states.privateBit);
    EXPECT_EQ(states.qualityButton, kNoSelection);
    EXPECT_EQ(states.vbrSelection, kNoSelection);

    odd.vbr = 10;
    odd.quality = 2;
    EXPECT_EQ(controlStatesFrom(odd).vbrSelection, 10);
    EXPECT_EQ(controlStatesFrom(odd).qualityButton, 2);
}

TEST(SettingsMapping, ControlsToStoredValues) {
    SettingsControlStates states;
    states.jointStereo = false;
    states.crc = true;
    states.qualityButton = kNoSelection;
    states.vbrSelection = kNoSelection;
    EncoderSettings settings = settingsFrom(states);
    EXPECT_EQ(settings.stereoMode, 1u);
    EXPECT_EQ(settings.crc, 1u);
    EXPECT_EQ(settings.copyright, 0u);
    EXPECT_EQ(settings.quality, 0u);
    EXPECT_EQ(settings.vbr, 0u);
    states.qualityButton = 1;
    states.vbrSelection = 7;
    settings = settingsFrom(states);
    EXPECT_EQ(settings.quality, 1u);
    EXPECT_EQ(settings.vbr, 7u);
    states.qualityButton = 2;
    EXPECT_EQ(settingsFrom(states).quality, 2u);
}

// What the dialog shows, read through the same calls on every platform.
struct DialogState {
    bool joint, twoChannel, copyright, crc, original, privateBit, normal, low, high;
    LRESULT selection, count;
    std::string firstItem, lastItem, title;
};

DialogState readState(HWND dialog) {
    DialogState state{};
    const share::SettingsControls controls = share::readSettingsControls(dialog);
    state.joint = controls.jointStereo;
    state.twoChannel = controls.twoChannelStereo;
    state.copyright = controls.copyright;
    state.crc = controls.crc;
    state.original = controls.original;
    state.privateBit = controls.privateBit;
    state.normal = controls.qualityNormal;
    state.low = controls.qualityLow;
    state.high = controls.qualityHigh;
    state.selection = controls.vbrSelection;
    state.count = SendDlgItemMessageA(dialog, IDC_VBR_QUALITY, CB_GETCOUNT, 0, 0);
    char item[64] = "";
    SendDlgItemMessageA(dialog, IDC_VBR_QUALITY, CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(item));
    state.firstItem = item;
    SendDlgItemMessageA(dialog, IDC_VBR_QUALITY, CB_GETLBTEXT, 10, reinterpret_cast<LPARAM>(item));
    state.lastItem = item;
    state.title = windowTitle(dialog);
    return state;
}

class SettingsDialogTest : public BoundPlugInTest {
  protected:
    // Opens the dialog, lets `act` read and change it and end it; returns the entry point's result.
    int32_t runDialog(const std::function<void(HWND)>& act, HKEY key, int32_t unused = 0) {
        DialogDriver driver([&](HWND dialog) {
            shown = readState(dialog);
            act(dialog);
        });
        const int32_t result = plugIn.displayAdvancedConfigDlg(nullptr, 0, unused, key);
        EXPECT_TRUE(driver.ran());
        return result;
    }
    std::map<std::string, std::optional<uint32_t>> stored() const {
        std::map<std::string, std::optional<uint32_t>> values;
        for (const char* name : kSettingNames) {
            values[name] = settings.get(name);
        }
        return values;
    }
    SettingsKey settings;
    DialogState shown{};
};

TEST_F(SettingsDialogTest, EmptyKeyOpensWithDefaultsAndOkCreatesAllSevenInBothLanguages) {
    EXPECT_EQ(runDialog(pressOk, settings.handle()), 1);
    EXPECT_EQ(shown.title, expectGerman() ? "Erweiterte Einstellungen" : "Extended Settings");
    EXPECT_TRUE(shown.joint);
    EXPECT_FALSE(shown.twoChannel);
    EXPECT_FALSE(shown.copyright || shown.crc || shown.original || shown.privateBit);
    EXPECT_TRUE(shown.normal);
    EXPECT_FALSE(shown.low || shown.high);
    EXPECT_EQ(shown.selection, 0);
    EXPECT_EQ(shown.count, 11);
    EXPECT_EQ(shown.firstItem, expectGerman() ? "deaktiviert" : "disabled");
    EXPECT_EQ(shown.lastItem, "9");
    for (const auto& [name, value] : stored()) {
        EXPECT_EQ(value, 0u) << name;
    }
}

TEST_F(SettingsDialogTest, ValuesOutsideTheRangesShowAndSaveAsTheRulesSay) {
    settings.set("StereoMode", 5);
    settings.set("Copyright", 7);
    settings.set("Quality", 3);
    settings.set("VBR", 11);
    EXPECT_EQ(runDialog(pressOk, settings.handle()), 1);
    EXPECT_TRUE(shown.twoChannel);
    EXPECT_FALSE(shown.joint);
    EXPECT_TRUE(shown.copyright);
    EXPECT_FALSE(shown.normal || shown.low || shown.high);
    EXPECT_EQ(shown.selection, CB_ERR);
    EXPECT_EQ(settings.get("StereoMode"), 1u);
    EXPECT_EQ(settings.get("Copyright"), 1u);
    EXPECT_EQ(settings.get("Quality"), 0u);
    EXPECT_EQ(settings.get("VBR"), 0u);
}

TEST_F(SettingsDialogTest, VbrValueSelectsItsItem) {
    for (uint32_t vbr : {1u, 10u}) {
        settings.set("VBR", vbr);
        std::string selectedText;
        runDialog(
            [&](HWND dialog) {
                char text[64] = "";
                SendDlgItemMessageA(
                    dialog, IDC_VBR_QUALITY, CB_GETLBTEXT,
                    static_cast<WPARAM>(SendDlgItemMessageA(dialog, IDC_VBR_QUALITY, CB_GETCURSEL, 0, 0)),
                    reinterpret_cast<LPARAM>(text));
                selectedText = text;
                pressOk(dialog);
            },
            settings.handle());
        EXPECT_EQ(selectedText, vbr == 1 ? "0" : "9");
        EXPECT_EQ(settings.get("VBR"), vbr);
    }
}

TEST_F(SettingsDialogTest, ClicksAreSavedOnOk) {
    settings.set("Quality", 0);
    const int32_t result = runDialog(
        [](HWND dialog) {
            clickButton(dialog, IDC_TWO_CHANNEL_STEREO);
            clickButton(dialog, IDC_QUALITY_HIGH);
            clickButton(dialog, IDC_COPYRIGHT);
            clickButton(dialog, IDC_PRIVATE);
            clickButton(dialog, IDC_PRIVATE);
            clickButton(dialog, IDC_ORIGINAL);
            SendDlgItemMessageA(dialog, IDC_VBR_QUALITY, CB_SETCURSEL, 4, 0);
            EXPECT_FALSE(isChecked(dialog, IDC_JOINT_STEREO)) << "radio buttons of one group";
            EXPECT_FALSE(isChecked(dialog, IDC_QUALITY_NORMAL));
            EXPECT_TRUE(isChecked(dialog, IDC_TWO_CHANNEL_STEREO)) << "another group is not touched";
            pressOk(dialog);
        },
        settings.handle(), 0x7FFFFFFF);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(stored(), (std::map<std::string, std::optional<uint32_t>>{{"StereoMode", 1},
                                                                        {"Copyright", 1},
                                                                        {"CRC", 0},
                                                                        {"Quality", 2},
                                                                        {"VBR", 4},
                                                                        {"Original", 1},
                                                                        {"Private", 0}}));
}

TEST_F(SettingsDialogTest, CancelEscapeAndCloseBoxWriteNothing) {
    settings.set("CRC", 1);
    for (const auto& leave : {pressCancel, pressEscape, pressCloseBox}) {
        const int32_t result = runDialog(
            [&](HWND dialog) {
                clickButton(dialog, IDC_TWO_CHANNEL_STEREO);
                clickButton(dialog, IDC_CRC);
                leave(dialog);
            },
            settings.handle(), -1);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(stored(), (std::map<std::string, std::optional<uint32_t>>{{"StereoMode", std::nullopt},
                                                                            {"Copyright", std::nullopt},
                                                                            {"CRC", 1},
                                                                            {"Quality", std::nullopt},
                                                                            {"VBR", std::nullopt},
                                                                            {"Original", std::nullopt},
                                                                            {"Private", std::nullopt}}));
    }
}

TEST_F(SettingsDialogTest, NullKeyOpensWithDefaultsAndOkStillCloses) {
    EXPECT_EQ(runDialog(pressOk, nullptr), 1);
    EXPECT_TRUE(shown.joint);
    EXPECT_TRUE(shown.normal);
    EXPECT_EQ(shown.selection, 0);
}

#ifndef _WIN32
TEST_F(SettingsDialogTest, WithoutAUserInterfaceNothingIsShownOrWritten) {
    EXPECT_EQ(plugIn.displayAdvancedConfigDlg(nullptr, 0, 0, settings.handle()), 0);
    EXPECT_EQ(plugIn.displayAboutDlg(nullptr, 0), -1) << "DialogBoxParamA's failure, unchanged";
    EXPECT_EQ(settings.get("StereoMode"), std::nullopt);
}
#endif

} // namespace
} // namespace cvn::test
