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
        settings.stereoMode = readSettingValue(key, CVN_STEREO_MODE_VALUE);
    }
    settings.copyright = readSettingValue(key, CVN_COPYRIGHT_VALUE);
    settings.crc = readSettingValue(key, CVN_CRC_VALUE);
    settings.quality = readSettingValue(key, CVN_QUALITY_VALUE);
    settings.vbr = readSettingValue(key, CVN_VBR_VALUE);
    settings.original = readSettingValue(key, CVN_ORIGINAL_VALUE);
    settings.privateBit = readSettingValue(key, CVN_PRIVATE_VALUE);
    return settings;
}

} // namespace velmora
