// The two rules of the settings dialog, apart from any window: stored values to the states of
// its controls when it opens, and control states back to values on OK.
#pragma once

#include "common/encoder_settings.h"

namespace velmora {

inline constexpr int kNoSelection = -1;

struct SettingsControlStates {
    bool jointStereo = true; // 1005; when false, 1006 (2 channel stereo) is the checked one
    bool copyright = false;  // 1007
    bool crc = false;        // 1008
    bool original = false;   // 1009
    bool privateBit = false; // 1010
    int qualityButton = 0;   // 0 Normal (1011), 1 Low (1012), 2 High (1013), kNoSelection for none
    int vbrSelection = 0;    // the combo box index: 0 "disabled", k the VBR quality k - 1; or none
};

// StereoMode 0 checks joint stereo, anything else 2 channel stereo; a flag's box is checked for any
// nonzero value; Quality 0 to 2 checks its button and any other value none; VBR 0 to 10 selects that
// item and any other value nothing.
SettingsControlStates controlStatesFrom(const EncoderSettings& stored);

// StereoMode 0 when joint stereo is checked, else 1; each flag 1 when checked; Quality 1 for Low,
// else 2 for High, else 0; VBR the selected index, 0 when nothing is selected.
EncoderSettings settingsFrom(const SettingsControlStates& states);

} // namespace velmora
