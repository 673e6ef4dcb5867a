#include "settings_mapping.h"

namespace velmora {

SettingsControlStates controlStatesFrom(const EncoderSettings& stored) {
    SettingsControlStates states;
    states.jointStereo = stored.stereoMode == CVN_STEREO_MODE_JOINT;
    states.copyright = stored.copyright != 0;
    states.crc = stored.crc != 0;
    states.original = stored.original != 0;
    states.privateBit = stored.privateBit != 0;
    states.qualityButton =
        stored.quality <= CVN_QUALITY_HIGH ? static_cast<int>(stored.quality) : kNoSelection;
    states.vbrSelection = stored.vbr <= CVN_VBR_HIGHEST ? static_cast<int>(stored.vbr) : kNoSelection;
    return states;
}

EncoderSettings settingsFrom(const SettingsControlStates& states) {
    EncoderSettings settings;
    settings.stereoMode = states.jointStereo ? CVN_STEREO_MODE_JOINT : CVN_STEREO_MODE_TWO_CHANNEL;
    settings.copyright = states.copyright ? 1 : 0;
    settings.crc = states.crc ? 1 : 0;
    settings.original = states.original ? 1 : 0;
    settings.privateBit = states.privateBit ? 1 : 0;
    const bool storable = states.qualityButton == static_cast<int>(CVN_QUALITY_LOW) ||
                          states.qualityButton == static_cast<int>(CVN_QUALITY_HIGH);
    settings.quality = storable ? static_cast<uint32_t>(states.qualityButton) : CVN_QUALITY_NORMAL;
    settings.vbr =
        states.vbrSelection == kNoSelection ? CVN_VBR_OFF : static_cast<uint32_t>(states.vbrSelection);
    return settings;
}

} // namespace velmora
