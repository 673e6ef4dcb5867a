#include "encoding/dialog_commands.h"

#include "VelmoraPlugInResources.h"
#include "share/win32/settings_controls.h"

#include <cvnplatform.h>

#include <algorithm>
#include <numeric>

namespace cvnhost {

namespace {

// What the settings dialog's driver reads and fills in: owned by one run of the command, which
// hands it to the driver as its context.
struct SettingsRun {
    const share::SettingChoices& changes;
    share::SettingChoices& shownBefore;
    share::SettingChoices shownAfter;
};

std::string controlText(HWND dialog, int id) {
    char text[1024] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// The context is the command's list of lines.
void readAbout(HWND dialog, void* context) {
    auto& lines = *static_cast<std::vector<std::string>*>(context);
    for (int id : {IDC_ENGINE_VERSION, IDC_DLL_VERSION, IDC_DLL_DATE, IDC_HOME_PAGE}) {
        lines.push_back(controlText(dialog, id));
    }
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
}

void click(HWND dialog, int id) {
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

// Makes the controls of one setting show `wanted` as a user would: a click on the value's button,
// or on the box when it shows the other value, or the value's item of the list.
void choose(HWND dialog, const share::Setting& setting, uint32_t wanted) {
    switch (setting.control) {
    case share::SettingControl::CheckBox:
        if (share::isChecked(dialog, setting.controls[0]) != (wanted == 1)) {
            click(dialog, setting.controls[0]);
        }
        break;
    case share::SettingControl::RadioButtons:
        click(dialog, setting.controls[wanted]);
        break;
    case share::SettingControl::List:
        SendDlgItemMessageA(dialog, setting.controls[0], CB_SETCURSEL, wanted, 0);
        break;
    }
}

void chooseSettings(HWND dialog, const share::SettingChoices& changes) {
    for (size_t index = 0; index < share::kSettingCount; ++index) {
        if (changes[index]) {
            choose(dialog, share::kSettings[index], *changes[index]);
        }
    }
}

void driveSettings(HWND dialog, void* context) {
    SettingsRun& run = *static_cast<SettingsRun*>(context);
    run.shownBefore = share::shownSettings(dialog);
    chooseSettings(dialog, run.changes);
    run.shownAfter = share::shownSettings(dialog);
    SendMessageA(GetDlgItem(dialog, hasChanges(run.changes) ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
}

// The settings in the order the dialog shows them, top to bottom, which is that of their controls'
// numbers.
std::array<size_t, share::kSettingCount> inDialogOrder() {
    std::array<size_t, share::kSettingCount> order{};
    std::iota(order.begin(), order.end(), size_t{0});
    std::ranges::sort(order, {}, [](size_t index) { return share::kSettings[index].controls[0]; });
    return order;
}

} // namespace

bool hasChanges(const share::SettingChoices& changes) {
    return std::ranges::any_of(changes,
                               [](const std::optional<uint32_t>& value) { return value.has_value(); });
}

std::vector<std::string> aboutLines(const PlugInHost& host) {
    std::vector<std::string> lines;
    cvnSetDialogDriver(readAbout, &lines);
    const int32_t result = host.displayAbout();
    cvnSetDialogDriver(nullptr, nullptr);
    if (result != IDOK) {
        lines.clear();
    }
    return lines;
}

std::optional<share::SettingChoices> runSettingsDialog(const PlugInHost& host, HKEY settingsKey,
                                                       const share::SettingChoices& changes,
                                                       share::SettingChoices& shownBefore) {
    SettingsRun run{changes, shownBefore, {}};
    cvnSetDialogDriver(driveSettings, &run);
    const int32_t result = host.displaySettings(settingsKey);
    cvnSetDialogDriver(nullptr, nullptr);
    // Without changes the dialog is left with Cancel, which gives 0 too: it was shown if it was read.
    if (hasChanges(changes) ? result != CVN_CALL_DONE : !run.shownAfter[share::kCopyright].has_value()) {
        return std::nullopt;
    }
    return run.shownAfter;
}

std::vector<std::string> describeSettings(const share::SettingChoices& settings) {
    std::vector<std::string> lines;
    for (const size_t index : inDialogOrder()) {
        const share::Setting& setting = share::kSettings[index];
        const share::SettingWord* word = settings[index] ? share::wordOf(setting, *settings[index]) : nullptr;
        lines.push_back(std::string(setting.label) + ": " + (word != nullptr ? word->shown : "(none)"));
    }
    return lines;
}

} // namespace cvnhost
