// `cvnhost settings`: shows the encoder settings as the Extended Settings dialog does and, with
// options, changes them there, as a user would.
#pragma once

#include "cli/command_line.h"
#include "share/win32/settings_table.h"

#include <CLI/CLI.hpp>

#include <array>
#include <string>

namespace cvnhost {

struct SettingsCommand {
    std::string settingsKey = kDefaultSettingsKey;
    // Each setting's word as the user typed it; an empty word changes nothing.
    std::array<std::string, share::kSettingCount> words;
};

// Adds the command and its options to `app`, filling `command` when it is parsed.
CLI::App* addSettingsCommand(CLI::App& app, SettingsCommand& command);

int runSettings(const SettingsCommand& command);

} // namespace cvnhost
