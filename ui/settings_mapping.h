// The two rules of the settings dialog, apart from any window: stored values to what its controls
// show when it opens, and what they show back to values on OK. Both are the table's
// (share/win32/settings_table.h).
#pragma once

#include "share/win32/settings_table.h"

namespace velmora {

// Each value as shown (share::shownValueOf): StereoMode 0 joint stereo and anything else 2 channel
// stereo; a flag's box checked for any value but 0; Quality 0 to 2 and VBR 0 to 10 as themselves,
// and no button or item for any other value.
share::SettingChoices shownOnOpen(const share::StoredSettings& stored);

// Each value as the controls show it (share::shownSettings: StereoMode 0 for joint stereo, else 1;
// each flag 1 when checked; Quality 1 for Low, else 2 for High, else 0 for Normal; VBR the
// selected index), and 0 where they show none.
share::StoredSettings storedOnOk(const share::SettingChoices& shown);

} // namespace velmora
