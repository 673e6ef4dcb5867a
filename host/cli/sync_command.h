// `cvnhost sync NAME` and `cvnhost sync --all`: the encode that keeps a profile's copy in step
// (--update --delete with the profile's settings), the command line's options over the profile's.
#pragma once

#include "cli/encode_command.h"
#include "cli/profiles.h"

#include <CLI/CLI.hpp>

#include <optional>
#include <string>
#include <vector>

namespace cvnhost {

struct SyncCommand {
    EncodeCommand encode; // the command line's encode options, checked by the parse
    std::vector<std::string> names;
    bool all = false;
    std::string profilesFile; // empty: defaultProfilesPath()
    // The command line after `sync`, as given: each profile's run parses it again over its settings.
    std::vector<std::string> words;
};

// Adds the command to `app`, filling `sync` (but its words) when it is parsed.
CLI::App* addSyncCommand(CLI::App& app, SyncCommand& sync);

// The profiles file of `--profiles FILE`, or the default one.
std::string profilesPathOf(const std::string& given);

// The encode run of `profile`: its settings, --update and --delete, then `words` (a sync command
// line), whose options win, an option given twice taking its last value; nothing after `error`
// says why.
std::optional<EncodeCommand> encodeCommandOf(const Profile& profile, const std::vector<std::string>& words,
                                             std::string& error);

// The problems of a profile's values as the encode options check them, each named with its line.
std::vector<std::string> valueProblemsOf(const Profile& profile, const std::string& path);

int runSync(const SyncCommand& sync);

} // namespace cvnhost
