#include "settings_mapping.h"

namespace velmora {

share::SettingChoices shownOnOpen(const share::StoredSettings& stored) {
    share::SettingChoices shown;
    for (size_t index = 0; index < share::kSettingCount; ++index) {
        shown[index] = share::shownValueOf(share::kSettings[index], stored[index]);
    }
    return shown;
}

share::StoredSettings storedOnOk(const share::SettingChoices& shown) {
    share::StoredSettings stored{};
    for (size_t index = 0; index < share::kSettingCount; ++index) {
        stored[index] = shown[index].value_or(0);
    }
    return stored;
}

} // namespace velmora
