// The "Extended Settings" dialog, driven as a user would, and its two mapping rules.
#include "support/dialog_driver.h"
#include "support/plugin_fixture.h"
#include "support/settings_key.h"
#include "support/test_language.h"
#include "VelmoraPlugInResources.h"
#include "ui/settings_mapping.h"

#include <map>

namespace cvn::test {

using namespace velmora;
namespace {

TEST(SettingsMapping, StoredValuesToControls) {
    using share::SettingChoices;
    using share::StoredSettings;
    const std::nullopt_t none = std::nullopt;
    struct Case {
        StoredSettings stored;
        SettingChoices shown;
    };
    const Case cases[] = {
        {{}, {0u, 0u, 0u, 0u, 0u, 0u, 0u}},
        {{5, 7, 0, 3, 11, 0, 0xFFFFFFFF}, {1u, 1u, 0u, none, none, 0u, 1u}},
        {{1, 1, 1, 2, 10, 1, 1}, {1u, 1u, 1u, 2u, 10u, 1u, 1u}},
        {{0, 0, 0, 16, 16, 0, 0}, {0u, 0u, 0u, none, none, 0u, 0u}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(shownOnOpen(c.stored), c.shown) << ::testing::PrintToString(c.stored);
    }
}

TEST(SettingsMapping, ControlsToStoredValues) {
    const std::nullopt_t none = std::nullopt;
    EXPECT_EQ(storedOnOk({1u, 0u, 1u, none, none, 0u, 0u}), (share::StoredSettings{1, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(storedOnOk({0u, 1u, 0u, 1u, 7u, 1u, 1u}), (share::StoredSettings{0, 1, 0, 1, 7, 1, 1}));
    EXPECT_EQ(storedOnOk({0u, 0u, 0u, 2u, 10u, 0u, 0u}), (share::StoredSettings{0, 0, 0, 2, 10, 0, 0}));
}

// The one table of the seven settings: every value the dialog stores has one word and one control,
// and the names are the contract's, in the order the plug-in reads them.
TEST(SettingsTable, EachStoredValueHasOneWordAndOneControl) {
    for (size_t index = 0; index < share::kSettingCount; ++index) {
        const share::Setting& setting = share::kSettings[index];
        EXPECT_STREQ(setting.name, kSettingNames[index]);
        EXPECT_EQ(setting.words.size(), setting.highest + 1) << setting.name;
        for (uint32_t value = 0; value <= setting.highest; ++value) {
            const share::SettingWord* word = share::wordOf(setting, value);
            ASSERT_NE(word, nullptr) << setting.name << " " << value;
            EXPECT_EQ(share::valueOfWord(setting, word->word), value) << setting.name;
            EXPECT_EQ(share::shownValueOf(setting, value), value) << setting.name;
        }
        EXPECT_EQ(share::shownValueOf(setting, setting.highest + 1),
                  setting.anyNonzeroIsOne ? std::optional<uint32_t>(1) : std::nullopt)
            << setting.name;
        const size_t controls =
            setting.control == share::SettingControl::RadioButtons ? setting.highest + 1 : 1;
        for (size_t control = 0; control < setting.controls.size(); ++control) {
            EXPECT_EQ(setting.controls[control] != 0, control < controls) << setting.name << " " << control;
        }
    }
    EXPECT_EQ(share::valueOfWord(share::kSettings[share::kVbr], "9"), CVN_VBR_HIGHEST);
    EXPECT_EQ(share::valueOfWord(share::kSettings[share::kQuality], ""), std::nullopt);
}

// What the dialog shows, read through the same calls on every platform.
struct DialogState {
    bool joint, twoChannel, copyright, crc, original, privateBit, normal, low, high;
    LRESULT selection, count;
    std::string firstItem, lastItem, title;
};

DialogState readState(HWND dialog) {
    DialogState state{};
    state.joint = isChecked(dialog, IDC_JOINT_STEREO);
    state.twoChannel = isChecked(dialog, IDC_TWO_CHANNEL_STEREO);
    state.copyright = isChecked(dialog, IDC_COPYRIGHT);
    state.crc = isChecked(dialog, IDC_CRC);
    state.original = isChecked(dialog, IDC_ORIGINAL);
    state.privateBit = isChecked(dialog, IDC_PRIVATE);
    state.normal = isChecked(dialog, IDC_QUALITY_NORMAL);
    state.low = isChecked(dialog, IDC_QUALITY_LOW);
    state.high = isChecked(dialog, IDC_QUALITY_HIGH);
    state.selection = SendDlgItemMessageA(dialog, IDC_VBR_QUALITY, CB_GETCURSEL, 0, 0);
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

// A host may leave a radio group with no button or several checked, which no user can.
TEST_F(SettingsDialogTest, GroupsLeftWithNoOrSeveralButtonsCheckedSaveByTheOldRules) {
    const int32_t result = runDialog(
        [](HWND dialog) {
            CheckDlgButton(dialog, IDC_JOINT_STEREO, BST_UNCHECKED);
            CheckDlgButton(dialog, IDC_QUALITY_HIGH, BST_CHECKED);
            CheckDlgButton(dialog, IDC_QUALITY_LOW, BST_CHECKED);
            pressOk(dialog);
        },
        settings.handle());
    EXPECT_EQ(result, 1);
    EXPECT_EQ(settings.get("StereoMode"), 1u) << "not joint stereo";
    EXPECT_EQ(settings.get("Quality"), 1u) << "Low before High before Normal";
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
