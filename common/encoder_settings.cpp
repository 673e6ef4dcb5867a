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

share::StoredSettings readStoredSettings(HKEY key, bool stereoFormat) {
    share::StoredSettings settings{};
    for (size_t index = 0; index < share::kSettingCount; ++index) {
        // A mono stream has no use for the stereo mode.
        if (index != share::kStereoMode || stereoFormat) {
            settings[index] = readSettingValue(key, share::kSettings[index].name);
        }
    }
    return settings;
}

} // namespace velmora
