// The controls of the open "Extended Settings" dialog, read through the ordinary Win32 calls: by
// the plug-in when the user presses OK, by a host that plays the user (cvnhost), and by the
// tests. Each reader makes its own sense of them; this only says what the controls show.
#pragma once

#include "VelmoraPlugIn.h"
#include "VelmoraPlugInResources.h"

#include <windows.h>

namespace share {

struct SettingsControls {
    bool jointStereo = false;
    bool twoChannelStereo = false;
    bool copyright = false;
    bool crc = false;
    bool original = false;
    bool privateBit = false;
    bool qualityNormal = false;
    bool qualityLow = false;
    bool qualityHigh = false;
    LRESULT vbrSelection = CB_ERR; // the VBR list's selection: 0 "disabled", k + 1 for quality k
};

inline SettingsControls readSettingsControls(HWND dialog) {
    const auto checked = [dialog](int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; };
    SettingsControls controls;
    controls.jointStereo = checked(IDC_JOINT_STEREO);
    controls.twoChannelStereo = checked(IDC_TWO_CHANNEL_STEREO);
    controls.copyright = checked(IDC_COPYRIGHT);
    controls.crc = checked(IDC_CRC);
    controls.original = checked(IDC_ORIGINAL);
    controls.privateBit = checked(IDC_PRIVATE);
    controls.qualityNormal = checked(IDC_QUALITY_NORMAL);
    controls.qualityLow = checked(IDC_QUALITY_LOW);
    controls.qualityHigh = checked(IDC_QUALITY_HIGH);
    controls.vbrSelection = SendDlgItemMessageA(dialog, IDC_VBR_QUALITY, CB_GETCURSEL, 0, 0);
    return controls;
}

// The Quality value the buttons stand for: low or high when checked, else normal.
inline uint32_t qualityOfButtons(const SettingsControls& controls) {
    return controls.qualityLow    ? CVN_QUALITY_LOW
           : controls.qualityHigh ? CVN_QUALITY_HIGH
                                  : CVN_QUALITY_NORMAL;
}

} // namespace share
