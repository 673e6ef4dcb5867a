#include "settings_dialog.h"

#include "common/encoder_settings.h"
#include "common/process_state.h"
#include "settings_mapping.h"
#include "share/win32/registry_values.h"
#include "share/win32/settings_controls.h"

namespace velmora {

namespace {

UINT checkState(bool checked) {
    return checked ? BST_CHECKED : BST_UNCHECKED;
}

// The item of each VBR value: "disabled" (in the resource language) for 0, then the VBR qualities.
void fillVbrList(HWND dialog, const share::Setting& vbr) {
    char text[260];
    LoadStringA(g_moduleInstance, IDS_VBR_DISABLED, text, sizeof text);
    SendDlgItemMessageA(dialog, vbr.controls[0], CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    for (uint32_t value = CVN_VBR_OFF + 1; value <= vbr.highest; ++value) {
        wsprintfA(text, "%d", cvn::vbrQualityOf(value));
        SendDlgItemMessageA(dialog, vbr.controls[0], CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
}

// Sets the controls of one setting to show `shown`.
void show(HWND dialog, const share::Setting& setting, std::optional<uint32_t> shown) {
    switch (setting.control) {
    case share::SettingControl::CheckBox:
        CheckDlgButton(dialog, setting.controls[0], checkState(shown == 1u));
        break;
    case share::SettingControl::RadioButtons:
        // An id outside the range leaves every button unchecked.
        CheckRadioButton(dialog, setting.controls[0], setting.controls[setting.highest],
                         shown ? setting.controls[*shown] : 0);
        break;
    case share::SettingControl::List:
        // The one list is VBR's, filled as the dialog opens; -1 selects nothing.
        fillVbrList(dialog, setting);
        SendDlgItemMessageA(dialog, setting.controls[0], CB_SETCURSEL,
                            shown ? *shown : static_cast<WPARAM>(-1), 0);
        break;
    }
}

void open(HWND dialog, HKEY key) {
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(key));
    // All seven, StereoMode included, in the order a stereo stream reads them.
    const share::SettingChoices shown = shownOnOpen(readStoredSettings(key, true));
    for (size_t index = 0; index < share::kSettingCount; ++index) {
        show(dialog, share::kSettings[index], shown[index]);
    }
}

void saveOnOk(HWND dialog) {
    const auto key = reinterpret_cast<HKEY>(GetWindowLongPtrA(dialog, DWLP_USER));
    const share::StoredSettings stored = storedOnOk(share::shownSettings(dialog));
    for (size_t index = 0; index < share::kSettingCount; ++index) {
        // A failed write is not reported; the other values are still written.
        share::writeDword(key, share::kSettings[index].name, stored[index]);
    }
}

} // namespace

INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG) {
        open(dialog, reinterpret_cast<HKEY>(lParam));
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == 0) {
        if (LOWORD(wParam) == IDOK) {
            saveOnOk(dialog);
            EndDialog(dialog, IDOK);
            return TRUE;
        }
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
    }
    return FALSE;
}

} // namespace velmora
