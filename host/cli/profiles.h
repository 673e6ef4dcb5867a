// The file of named profiles (TOML): each table one copy of the library kept in step for one device,
// its keys standing for `cvnhost encode` options. Reading the file and turning a profile into
// encode arguments are pure functions of its text, so the same file gives the same runs anywhere.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace cvnhost {

// One key of a profile, its value as the option takes it ("192", "album", "true").
struct ProfileSetting {
    std::string key;
    std::string value;
    size_t line = 0;
};

struct Profile {
    std::string name;
    size_t line = 0;
    std::vector<std::string> inputs; // `~` expanded, relative ones below the file's folder
    size_t inputsLine = 0;
    std::vector<ProfileSetting> settings; // in the order of the file, the inputs apart
    // "FILE:LINE: profile NAME: ..." for each key the profile cannot be run with.
    std::vector<std::string> problems;
};

struct ProfilesFile {
    std::string path;
    std::vector<Profile> profiles; // in the order of the file
    // What makes the whole file unusable (unreadable, not TOML, a key outside every profile).
    std::vector<std::string> problems;
};

// $XDG_CONFIG_HOME/cvnhost/profiles.toml, else ~/.config/cvnhost/profiles.toml.
std::string defaultProfilesPath();

// The profiles of `text`, read from `path` (named in every problem, and the folder relative paths
// lie in); `home` stands for a leading `~` of a path.
ProfilesFile parseProfiles(const std::string& text, const std::string& path, const std::string& home);

// The profiles of the file at `path`, `~` being $HOME.
ProfilesFile readProfiles(const std::string& path);

// The `cvnhost encode` arguments of a profile's settings, in their order: --OPTION=VALUE, or the
// flag of a switch that is true. The inputs are not among them.
std::vector<std::string> encodeArgumentsOf(const Profile& profile);

// The setting of `key` in the profile; null when it has none.
const ProfileSetting* settingOf(const Profile& profile, const std::string& key);

// The profile called `name`; null when the file has none of that name.
const Profile* profileNamed(const ProfilesFile& file, const std::string& name);

// "no profile NAME in FILE; did you mean car? (the profiles: car, phone)".
std::string noProfileText(const ProfilesFile& file, const std::string& name);

} // namespace cvnhost
