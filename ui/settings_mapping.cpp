#include "settings_mapping.h"

namespace velmora {

SettingsControlStates controlStatesFrom(const EncoderSettings& stored) {
    SettingsControlStates states;
    states.jointStereo = stored.stereoMode == 0;
    states.copyright = stored.copyright != 0;
    states.crc = stored.crc != 0;
    states.original = stored.original != 0;
    states.privateBit = stored.privateBit != 0;
    states.qualityButton = stored.quality <= 2 ? static_cast<int>(stored.quality) : kNoSelection;
    states.vbrSelection = stored.vbr <= 10 ? static_cast<int>(stored.vbr) : kNoSelection;
    return states;
}

EncoderSettings settingsFrom(const SettingsControlStates& states) {
    EncoderSettings settings;
    settings.stereoMode = states.jointStereo ? 0 : 1;
    settings.copyright = states.copyright ? 1 : 0;
    settings.crc = states.crc ? 1 : 0;
    settings.original = states.original ? 1 : 0;
    settings.privateBit = states.privateBit ? 1 : 0;
    if (states.qualityButton == 1) {
        settings.quality = 1;
    } else if (states.qualityButton == 2) {
        settings.quality = 2;
    } else {
        settings.quality = 0;
    }
    settings.vbr = states.vbrSelection == kNoSelection ? 0 : static_cast<uint32_t>(states.vbrSelection);
    return settings;
}

} // namespace velmora
