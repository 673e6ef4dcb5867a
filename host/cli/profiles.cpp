#include "cli/profiles.h"

#include "cli/nearest_word.h"

#include <toml++/toml.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>

namespace cvnhost {

namespace {

namespace fs = std::filesystem;

enum class ValueKind { Text, Path, WholeNumber, Switch };

struct ProfileKey {
    const char* key;
    ValueKind kind;
    const char* option;
};

// Every key a profile takes but `inputs`, and the encode option it stands for.
constexpr ProfileKey kProfileKeys[] = {
    {"out_dir", ValueKind::Path, "--out-dir"},
    {"name", ValueKind::Text, "--name"},
    {"format", ValueKind::WholeNumber, "--format"},
    {"bitrate", ValueKind::WholeNumber, "--bitrate"},
    {"vbr_quality", ValueKind::WholeNumber, "--vbr-quality"},
    {"quality", ValueKind::Text, "--quality"},
    {"stereo_mode", ValueKind::Text, "--stereo-mode"},
    {"mono", ValueKind::Switch, "--mono"},
    {"stereo", ValueKind::Switch, "--stereo"},
    {"settings", ValueKind::Text, "--settings"},
    {"id3v2_version", ValueKind::WholeNumber, "--id3v2-version"},
    {"replaygain", ValueKind::Text, "--replaygain"},
    {"cover_size", ValueKind::WholeNumber, "--cover-size"},
    {"fat_names", ValueKind::Switch, "--fat-names"},
    {"ascii_names", ValueKind::Switch, "--ascii-names"},
    {"name_max", ValueKind::WholeNumber, "--name-max"},
    {"path_max", ValueKind::WholeNumber, "--path-max"},
    {"play_order", ValueKind::Switch, "--play-order"},
    {"playlists", ValueKind::Switch, "--playlists"},
    {"lossy", ValueKind::Text, "--lossy"},
    {"mount", ValueKind::Switch, "--mounted"},
    {"jobs", ValueKind::WholeNumber, "--jobs"},
};

constexpr const char* kInputsKey = "inputs";

const ProfileKey* profileKeyNamed(const std::string& key) {
    const auto* found = std::find_if(std::begin(kProfileKeys), std::end(kProfileKeys),
                                     [&](const ProfileKey& known) { return key == known.key; });
    return found == std::end(kProfileKeys) ? nullptr : found;
}

std::vector<std::string> allKeys() {
    std::vector<std::string> keys = {kInputsKey};
    for (const ProfileKey& known : kProfileKeys) {
        keys.emplace_back(known.key);
    }
    return keys;
}

std::string listed(const std::vector<std::string>& words) {
    std::string list;
    for (const std::string& word : words) {
        list += (list.empty() ? "" : ", ") + word;
    }
    return list;
}

// What a value that is not of its key's kind is instead, in the words of the messages.
std::string kindOf(const toml::node& node) {
    switch (node.type()) {
    case toml::node_type::string:
        return "text";
    case toml::node_type::integer:
        return "a whole number";
    case toml::node_type::floating_point:
        return "a number with a fraction";
    case toml::node_type::boolean:
        return "true or false";
    case toml::node_type::array:
        return "a list";
    case toml::node_type::table:
        return "a table";
    default:
        return "a date or time";
    }
}

// Where paths of the file lie: `~` is `home`, a relative path is below the file's folder.
struct PathContext {
    std::string home;
    fs::path folder;

    std::string resolve(const std::string& path) const {
        std::string expanded = path;
        if (path == "~" || path.rfind("~/", 0) == 0) {
            expanded = home + path.substr(1);
        }
        const fs::path resolved = fs::path(expanded).is_absolute() ? fs::path(expanded) : folder / expanded;
        return resolved.lexically_normal().string();
    }
};

// A key's value as its option takes it; nothing when the value is not of the key's kind.
std::optional<std::string> valueText(const toml::node& node, ValueKind kind, const PathContext& paths) {
    if ((kind == ValueKind::Text || kind == ValueKind::Path) && node.is_string()) {
        const std::string& text = node.as_string()->get();
        return kind == ValueKind::Path ? paths.resolve(text) : text;
    }
    if (kind == ValueKind::WholeNumber && node.is_integer()) {
        return std::to_string(node.as_integer()->get());
    }
    if (kind == ValueKind::Switch && node.is_boolean()) {
        return node.as_boolean()->get() ? "true" : "false";
    }
    return std::nullopt;
}

std::string expectedOf(ValueKind kind) {
    switch (kind) {
    case ValueKind::Text:
        return "text in quotes";
    case ValueKind::Path:
        return "a path in quotes";
    case ValueKind::WholeNumber:
        return "a whole number";
    case ValueKind::Switch:
        return "true or false";
    }
    return {};
}

// The `inputs` list, or why it is none.
bool readInputs(const toml::node& node, const PathContext& paths, Profile& profile, std::string& error) {
    const toml::array* list = node.as_array();
    const auto isText = [](const toml::node& item) { return item.is_string(); };
    if (list == nullptr || list->empty() || !std::all_of(list->begin(), list->end(), isText)) {
        error = "inputs must be a list of folders or files in quotes, such as [\"~/Music/flac\"], not " +
                (list != nullptr && list->empty() ? std::string("an empty list") : kindOf(node));
        return false;
    }
    for (const toml::node& item : *list) {
        profile.inputs.push_back(paths.resolve(item.as_string()->get()));
    }
    return true;
}

// One key of a profile into its setting, or the problem with it.
void readKey(const std::string& key, const toml::node& node, size_t line, const PathContext& paths,
             Profile& profile, const std::string& where) {
    std::string error;
    if (key == kInputsKey) {
        profile.inputsLine = line;
        if (!readInputs(node, paths, profile, error)) {
            profile.problems.push_back(where + error);
        }
        return;
    }
    const ProfileKey* known = profileKeyNamed(key);
    if (known == nullptr) {
        const std::optional<std::string> nearest = nearestWord(key, allKeys());
        profile.problems.push_back(
            where + "unknown key " + key +
            (nearest ? "; did you mean " + *nearest + "?" : " (the keys: " + listed(allKeys()) + ")"));
        return;
    }
    if (const std::optional<std::string> value = valueText(node, known->kind, paths)) {
        profile.settings.push_back({key, *value, line});
    } else {
        profile.problems.push_back(where + key + " must be " + expectedOf(known->kind) + ", not " +
                                   kindOf(node));
    }
}

Profile readProfile(const std::string& name, const toml::table& table, const std::string& path,
                    const PathContext& paths) {
    Profile profile;
    profile.name = name;
    profile.line = table.source().begin.line;
    // toml++ keeps a table's keys sorted by name; settings and problems follow the lines of the file.
    std::vector<std::pair<const toml::key*, const toml::node*>> keys;
    for (const auto& [key, node] : table) {
        keys.emplace_back(&key, &node);
    }
    std::sort(keys.begin(), keys.end(),
              [](const auto& a, const auto& b) { return a.first->source().begin < b.first->source().begin; });
    for (const auto& [key, node] : keys) {
        const size_t line = key->source().begin.line;
        readKey(std::string(key->str()), *node, line, paths, profile,
                path + ":" + std::to_string(line) + ": profile " + name + ": ");
    }
    const std::string where = path + ":" + std::to_string(profile.line) + ": profile " + name + ": ";
    if (profile.inputsLine == 0) {
        profile.problems.push_back(where + "no inputs (inputs = [\"~/Music/flac\"])");
    }
    const auto outDir = [](const ProfileSetting& setting) { return setting.key == "out_dir"; };
    if (std::none_of(profile.settings.begin(), profile.settings.end(), outDir)) {
        profile.problems.push_back(where + "no out_dir (out_dir = \"/media/card\")");
    }
    return profile;
}

} // namespace

std::string defaultProfilesPath() {
    const char* config = std::getenv("XDG_CONFIG_HOME");
    const char* home = std::getenv("HOME");
    const fs::path folder = config != nullptr && fs::path(config).is_absolute()
                                ? fs::path(config)
                                : fs::path(home != nullptr ? home : "") / ".config";
    return (folder / "cvnhost" / "profiles.toml").string();
}

ProfilesFile parseProfiles(const std::string& text, const std::string& path, const std::string& home) {
    ProfilesFile file;
    file.path = path;
    toml::table document;
    try {
        document = toml::parse(text, path);
    } catch (const toml::parse_error& error) {
        file.problems.push_back(path + ":" + std::to_string(error.source().begin.line) + ":" +
                                std::to_string(error.source().begin.column) + ": " +
                                std::string(error.description()));
        return file;
    }
    const PathContext paths{home, fs::path(path).parent_path()};
    for (const auto& [name, node] : document) {
        if (const toml::table* table = node.as_table()) {
            file.profiles.push_back(readProfile(std::string(name.str()), *table, path, paths));
        } else {
            file.problems.push_back(path + ":" + std::to_string(name.source().begin.line) + ": " +
                                    std::string(name.str()) +
                                    " is outside every profile: a profile is a table, [NAME] with its "
                                    "keys on the lines below it");
        }
    }
    // The profiles run in the order the file gives them.
    std::sort(file.profiles.begin(), file.profiles.end(),
              [](const Profile& a, const Profile& b) { return a.line < b.line; });
    return file;
}

ProfilesFile readProfiles(const std::string& path) {
    std::ifstream stream(path, std::ios::binary);
    std::ostringstream text;
    if (stream.is_open()) {
        text << stream.rdbuf();
    }
    if (!stream.is_open() || stream.bad()) {
        ProfilesFile file;
        file.path = path;
        file.problems.push_back(path + ": cannot be read (" + std::strerror(errno) +
                                "); it holds the profiles, tables such as [car] with inputs and out_dir");
        return file;
    }
    const char* home = std::getenv("HOME");
    return parseProfiles(text.str(), path, home != nullptr ? home : "");
}

std::vector<std::string> encodeArgumentsOf(const Profile& profile) {
    std::vector<std::string> arguments;
    for (const ProfileSetting& setting : profile.settings) {
        const ProfileKey* known = profileKeyNamed(setting.key);
        if (known->kind != ValueKind::Switch) {
            arguments.push_back(std::string(known->option) + "=" + setting.value);
        } else if (setting.value == "true") {
            arguments.emplace_back(known->option);
        }
    }
    return arguments;
}

const ProfileSetting* settingOf(const Profile& profile, const std::string& key) {
    const auto found = std::find_if(profile.settings.begin(), profile.settings.end(),
                                    [&](const ProfileSetting& setting) { return setting.key == key; });
    return found == profile.settings.end() ? nullptr : &*found;
}

const Profile* profileNamed(const ProfilesFile& file, const std::string& name) {
    const auto found = std::find_if(file.profiles.begin(), file.profiles.end(),
                                    [&](const Profile& profile) { return profile.name == name; });
    return found == file.profiles.end() ? nullptr : &*found;
}

std::string noProfileText(const ProfilesFile& file, const std::string& name) {
    std::vector<std::string> names;
    for (const Profile& profile : file.profiles) {
        names.push_back(profile.name);
    }
    const std::optional<std::string> nearest = nearestWord(name, names);
    return "no profile " + name + " in " + file.path +
           (names.empty() ? "; it holds none" : "; the profiles are " + listed(names)) +
           (nearest ? "; did you mean " + *nearest + "?" : "");
}

} // namespace cvnhost
