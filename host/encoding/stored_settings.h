// The plug-in's stored settings as cvnhost hands them to an encode: the key opened for reading
// only, and the seven values checked before any stream starts, so that a problem is named with its
// cause and the registry file instead of surfacing as a stream that would not start.
#pragma once

#include "share/win32/settings_table.h"

#include <windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cvnhost {

// Opens HKEY_CURRENT_USER\`path` for an encode, which never writes the registry: read only, and
// when the key does not exist, a volatile key of that path stands in (the plug-in then reads its
// defaults) unless `mustExist` (a key the user named, where a missing one is a slip). Null with
// the cause in `error`.
HKEY openStoredSettingsKey(const std::string& path, bool mustExist, std::string& error);

// Reads the seven values as the plug-in will: a value that is there but cannot be read, or a
// Quality or VBR that the settings dialog does not show (above 2, above 10), is an error naming
// the value, the key and the registry file. A missing value is the plug-in's default.
bool checkStoredSettings(HKEY key, const std::string& path, std::string& error);

// A key of this run's own for the plug-in: the stored values with the run's own settings on top
// (those it asks for on its command line, as the plug-in stores them), in a volatile key (in this
// process's memory only), so that the stored settings stay as they are, no other cvnhost sees it,
// and no later change of the stored ones reaches the run. Null with the cause in `error`.
HKEY makeSettingsKeyOfThisRun(HKEY stored, const share::SettingChoices& ownSettings, std::string& error);

// The seven values as the streams started with `key` read them, "Name=VALUE" each (a missing one
// is 0, as for the plug-in): what a run's settings digest is made of.
std::vector<std::string> settingTexts(HKEY key);

// The VBR value that streams started with `key` will use: 0 for constant bitrate.
uint32_t storedVbrOf(HKEY key);

// "the registry file PATH" and, for a failed registry call, its cause in words.
std::string registryFileName();
std::string registryErrorText(LSTATUS status);

} // namespace cvnhost
