#include "settings_dialog.h"

#include "common/process_state.h"
#include "VelmoraPlugInResources.h"
#include "settings_mapping.h"
#include "share/win32/registry_values.h"
#include "share/win32/settings_controls.h"
#include "common/encoder_settings.h"

namespace velmora {

namespace {

constexpr int kVbrDigits = 10;

UINT checkState(bool checked) {
    return checked ? BST_CHECKED : BST_UNCHECKED;
}

void fillVbrList(HWND dialog) {
    char text[260];
    LoadStringA(g_moduleInstance, IDS_VBR_DISABLED, text, sizeof text);
    SendDlgItemMessageA(dialog, IDC_VBR_QUALITY, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    for (int digit = 0; digit < kVbrDigits; ++digit) {
        wsprintfA(text, "%d", digit);
        SendDlgItemMessageA(dialog, IDC_VBR_QUALITY, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
    }
}

void open(HWND dialog, HKEY key) {
    SetWindowLongPtrA(dialog, DWLP_USER, reinterpret_cast<LONG_PTR>(key));
    // All seven, StereoMode included, in the order a stereo stream reads them.
    const SettingsControlStates states = controlStatesFrom(readEncoderSettings(key, true));

    CheckRadioButton(dialog, IDC_JOINT_STEREO, IDC_TWO_CHANNEL_STEREO,
                     states.jointStereo ? IDC_JOINT_STEREO : IDC_TWO_CHANNEL_STEREO);
    CheckDlgButton(dialog, IDC_COPYRIGHT, checkState(states.copyright));
    CheckDlgButton(dialog, IDC_CRC, checkState(states.crc));
    // An id outside the range leaves all three unchecked.
    CheckRadioButton(dialog, IDC_QUALITY_NORMAL, IDC_QUALITY_HIGH,
                     states.qualityButton == kNoSelection ? 0 : IDC_QUALITY_NORMAL + states.qualityButton);
    fillVbrList(dialog);
    SendDlgItemMessageA(dialog, IDC_VBR_QUALITY, CB_SETCURSEL, static_cast<WPARAM>(states.vbrSelection), 0);
    CheckDlgButton(dialog, IDC_ORIGINAL, checkState(states.original));
    CheckDlgButton(dialog, IDC_PRIVATE, checkState(states.privateBit));
}

void writeSetting(HKEY key, const char* name, uint32_t value) {
    // A failed write is not reported; the other values are still written.
    share::writeDword(key, name, value);
}

void saveOnOk(HWND dialog) {
    const auto key = reinterpret_cast<HKEY>(GetWindowLongPtrA(dialog, DWLP_USER));
    const share::SettingsControls controls = share::readSettingsControls(dialog);
    SettingsControlStates states;
    states.jointStereo = controls.jointStereo;
    states.copyright = controls.copyright;
    states.crc = controls.crc;
    // Neither Low nor High is Normal, also when no button is checked.
    states.qualityButton = static_cast<int>(share::qualityOfButtons(controls));
    states.vbrSelection = static_cast<int>(controls.vbrSelection);
    states.original = controls.original;
    states.privateBit = controls.privateBit;
    const EncoderSettings settings = settingsFrom(states);
    writeSetting(key, CVN_STEREO_MODE_VALUE, settings.stereoMode);
    writeSetting(key, CVN_COPYRIGHT_VALUE, settings.copyright);
    writeSetting(key, CVN_CRC_VALUE, settings.crc);
    writeSetting(key, CVN_QUALITY_VALUE, settings.quality);
    writeSetting(key, CVN_VBR_VALUE, settings.vbr);
    writeSetting(key, CVN_ORIGINAL_VALUE, settings.original);
    writeSetting(key, CVN_PRIVATE_VALUE, settings.privateBit);
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
