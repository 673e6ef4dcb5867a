// `cvnhost settings`: shows the encoder settings as the Extended Settings dialog does and, with
// options, changes them there, as a user would.
#pragma once

#include "cli/command_line.h"
#include "encoding/dialog_commands.h"

#include <CLI/CLI.hpp>

#include <string>

namespace cvnhost {

struct SettingsCommand {
    std::string settingsKey = kDefaultSettingsKey;
    SettingsWords words;
};

// Adds the command and its options to `app`, filling `command` when it is parsed.
CLI::App* addSettingsCommand(CLI::App& app, SettingsCommand& command);

int runSettings(const SettingsCommand& command);

} // namespace cvnhost
