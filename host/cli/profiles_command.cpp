#include "cli/profiles_command.h"

#include "cli/command_line.h"
#include "cli/profiles.h"
#include "cli/sync_command.h"
#include "files/file_system.h"

#include <cstdio>
#include <filesystem>

namespace cvnhost {

namespace {

namespace fs = std::filesystem;

// What a profile names on disk that a sync would not find: inputs, the out_dir folder, the card.
std::vector<std::string> diskProblemsOf(const Profile& profile, const std::string& path) {
    const auto at = [&](size_t line) {
        return path + ":" + std::to_string(line) + ": profile " + profile.name + ": ";
    };
    std::vector<std::string> problems;
    std::error_code error;
    for (const std::string& input : profile.inputs) {
        if (!fs::exists(input, error)) {
            problems.push_back(at(profile.inputsLine) + "input " + input + " does not exist");
        }
    }
    const ProfileSetting* outDir = settingOf(profile, "out_dir");
    const ProfileSetting* mount = settingOf(profile, "mount");
    if (outDir == nullptr) {
        return problems;
    }
    if (mount != nullptr && mount->value == "true" && !isMountPoint(outDir->value)) {
        problems.push_back(at(mount->line) + "the card is not mounted at " + outDir->value);
    } else if (!fs::is_directory(outDir->value, error)) {
        problems.push_back(at(outDir->line) + "out_dir " + outDir->value +
                           (fs::exists(outDir->value, error) ? " is no folder" : " does not exist"));
    }
    return problems;
}

void printProfile(const Profile& profile) {
    std::printf("%s\n", profile.name.c_str());
    for (const std::string& input : profile.inputs) {
        std::printf("  input %s\n", input.c_str());
    }
    for (const ProfileSetting& setting : profile.settings) {
        std::printf("  %s = %s\n", setting.key.c_str(), setting.value.c_str());
    }
}

} // namespace

CLI::App* addProfilesCommand(CLI::App& app, ProfilesCommand& profiles) {
    CLI::App* command = app.add_subcommand(
        "profiles", "List the profiles of the profiles file with their settings, and check that each can be "
                    "synced (inputs, out_dir, a mounted card, the values)");
    command->add_option("--profiles", profiles.profilesFile,
                        "The profiles file (default: $XDG_CONFIG_HOME/cvnhost/profiles.toml, else "
                        "~/.config/cvnhost/profiles.toml)");
    command->add_flag("--names", profiles.namesOnly, "Only the names of the profiles, one a line");
    return command;
}

int runProfiles(const ProfilesCommand& command) {
    const ProfilesFile file = readProfiles(profilesPathOf(command.profilesFile));
    for (const std::string& problem : file.problems) {
        fail(problem);
    }
    if (file.problems.empty() && file.profiles.empty()) {
        fail(file.path + " holds no profiles (tables such as [car] with inputs and out_dir)");
    }
    bool fine = file.problems.empty() && !file.profiles.empty();
    for (const Profile& profile : file.profiles) {
        if (command.namesOnly) {
            std::printf("%s\n", profile.name.c_str());
            continue;
        }
        printProfile(profile);
        std::fflush(stdout); // the profile before its problems, also where both streams are one file
        std::vector<std::string> problems = profile.problems;
        for (const auto& more : {valueProblemsOf(profile, file.path), diskProblemsOf(profile, file.path)}) {
            problems.insert(problems.end(), more.begin(), more.end());
        }
        for (const std::string& problem : problems) {
            fail(problem);
        }
        fine = fine && problems.empty();
    }
    return fine ? 0 : kExitFailure;
}

} // namespace cvnhost
