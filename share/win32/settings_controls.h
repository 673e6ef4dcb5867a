// The controls of the open "Extended Settings" dialog, read through the ordinary Win32 calls as the
// values they show: by the plug-in when the user presses OK, and by a host that plays the user
// (cvnhost).
#pragma once

#include "share/win32/settings_table.h"

#include <windows.h>

namespace share {

inline bool isChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

// The value of a group's checked button. A user leaves exactly one checked; for a group that a
// host left otherwise, the dialog has always read StereoMode as joint stereo or not, and Quality
// as Low, else High, else Normal, else none.
inline std::optional<uint32_t> checkedButtonValue(HWND dialog, const Setting& setting) {
    if (setting.anyNonzeroIsOne) {
        return isChecked(dialog, setting.controls[0]) ? 0u : 1u;
    }
    for (uint32_t value = 1; value <= setting.highest; ++value) {
        if (isChecked(dialog, setting.controls[value])) {
            return value;
        }
    }
    return isChecked(dialog, setting.controls[0]) ? std::optional<uint32_t>(0) : std::nullopt;
}

inline std::optional<uint32_t> shownValue(HWND dialog, const Setting& setting) {
    switch (setting.control) {
    case SettingControl::CheckBox:
        return isChecked(dialog, setting.controls[0]) ? 1u : 0u;
    case SettingControl::RadioButtons:
        return checkedButtonValue(dialog, setting);
    case SettingControl::List:
        break;
    }
    const LRESULT selection = SendDlgItemMessageA(dialog, setting.controls[0], CB_GETCURSEL, 0, 0);
    return selection >= 0 ? std::optional<uint32_t>(static_cast<uint32_t>(selection)) : std::nullopt;
}

inline SettingChoices shownSettings(HWND dialog) {
    SettingChoices shown;
    for (size_t index = 0; index < kSettingCount; ++index) {
        shown[index] = shownValue(dialog, kSettings[index]);
    }
    return shown;
}

} // namespace share
