// `cvnhost profiles`: each profile of the file with its settings, and whether it can be synced as
// it stands (its inputs there, its out_dir a folder, a card mounted, its values ones the encode
// options take); `--names`: only the names, for completion.
#pragma once

#include <CLI/CLI.hpp>

#include <string>

namespace cvnhost {

struct ProfilesCommand {
    std::string profilesFile; // empty: defaultProfilesPath()
    bool namesOnly = false;
};

CLI::App* addProfilesCommand(CLI::App& app, ProfilesCommand& profiles);

// 0 when every profile is fine, 1 when any is not (each problem named).
int runProfiles(const ProfilesCommand& profiles);

} // namespace cvnhost
