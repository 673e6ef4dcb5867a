// `cvnhost about` and `cvnhost settings`: the plug-in's own dialogs, played through the platform
// layer's dialog driver. The host reads what the plug-in put in the controls, and for settings
// sets the controls the user named and presses OK, so the plug-in stays the only writer of its
// settings.
#pragma once

#include "encoding/plugin_host.h"
#include "share/win32/settings_table.h"

#include <optional>
#include <string>
#include <vector>

namespace cvnhost {

// The about box's lines, as the plug-in filled them from the encoder library's beVersion.
std::vector<std::string> aboutLines(const PlugInHost& host);

// Whether `changes` names any setting.
bool hasChanges(const share::SettingChoices& changes);

// Opens the settings dialog on `settingsKey`, sets the controls of each setting that `changes`
// names to its value and presses OK (or, with no changes, Cancel). Returns what the controls showed
// after the changes, `shownBefore` what they showed when it opened; nothing when the dialog could
// not be shown.
std::optional<share::SettingChoices> runSettingsDialog(const PlugInHost& host, HKEY settingsKey,
                                                       const share::SettingChoices& changes,
                                                       share::SettingChoices& shownBefore);

// The settings as the dialog shows them, one "Name: value" line each, in the dialog's order.
std::vector<std::string> describeSettings(const share::SettingChoices& settings);

} // namespace cvnhost
