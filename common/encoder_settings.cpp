#include "encoder_settings.h"

#include <cstring>

namespace velmora {

uint32_t readSettingValue(HKEY key, const char* name) {
    BYTE data[4] = {0, 0, 0, 0};
    DWORD size = sizeof data;
    if (RegQueryValueExA(key, name, nullptr, nullptr, data, &size) != ERROR_SUCCESS) {
        return 0;
    }
    return static_cast<uint32_t>(data[0]) | static_cast<uint32_t>(data[1]) << 8 |
           static_cast<uint32_t>(data[2]) << 16 | static_cast<uint32_t>(data[3]) << 24;
}

EncoderSettings readEncoderSettings(HKEY key, bool stereoFormat) {
    EncoderSettings settings;
    if (stereoFormat) {
        settings.stereoMode = readSettingValue(key, kStereoModeValue);
    }
    settings.copyright = readSettingValue(key, kCopyrightValue);
    settings.crc = readSettingValue(key, kCrcValue);
    settings.quality = readSettingValue(key, kQualityValue);
    settings.vbr = readSettingValue(key, kVbrValue);
    settings.original = readSettingValue(key, kOriginalValue);
    settings.privateBit = readSettingValue(key, kPrivateValue);
    return settings;
}

} // namespace velmora
