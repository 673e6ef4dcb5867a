#include "cli/sync_command.h"

#include "cli/command_line.h"
#include "files/interrupt.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace cvnhost {

namespace {

// The options of `sync`: on the command of the main parse, and on the parser of each profile's run.
void addSyncOptions(CLI::App& command, SyncCommand& sync) {
    // A profile's run is its settings followed by the command line: the last value given counts.
    command.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    auto* names = command.add_option("profile", sync.names,
                                     "The profile to keep in step (`cvnhost profiles` lists them)");
    command
        .add_flag("--all", sync.all,
                  "Keep every profile in step, one after another in the order of the file, going on after "
                  "a failing one")
        ->excludes(names);
    command.add_option("--profiles", sync.profilesFile,
                       "The profiles file (default: $XDG_CONFIG_HOME/cvnhost/profiles.toml, else "
                       "~/.config/cvnhost/profiles.toml)");
    addEncodeOptions(&command, sync.encode);
}

// The profiles the command names; nothing after saying why there are none.
std::optional<std::vector<const Profile*>> chosenProfiles(const SyncCommand& sync, const ProfilesFile& file) {
    std::vector<const Profile*> chosen;
    if (sync.all) {
        for (const Profile& profile : file.profiles) {
            chosen.push_back(&profile);
        }
        if (chosen.empty()) {
            fail(file.path + " holds no profiles (tables such as [car] with inputs and out_dir)");
            return std::nullopt;
        }
        return chosen;
    }
    if (sync.names.size() != 1) {
        fail(sync.names.empty() ? "sync needs a profile NAME or --all (`cvnhost profiles` lists them)"
                                : "sync takes one profile NAME, not also '" + sync.names[1] +
                                      "': the inputs are the profile's");
        return std::nullopt;
    }
    const Profile* profile = profileNamed(file, sync.names.front());
    if (profile == nullptr) {
        fail(noProfileText(file, sync.names.front()));
        return std::nullopt;
    }
    return std::vector<const Profile*>{profile};
}

// "sync car (1 of 2): /home/u/Music/flac -> /media/card", before each profile of --all.
void announce(const Profile& profile, size_t number, size_t count) {
    std::string inputs;
    for (const std::string& input : profile.inputs) {
        inputs += (inputs.empty() ? "" : ", ") + input;
    }
    const ProfileSetting* outDir = settingOf(profile, "out_dir");
    std::fprintf(stderr, "sync %s (%zu of %zu): %s -> %s\n", profile.name.c_str(), number, count,
                 inputs.c_str(), outDir != nullptr ? outDir->value.c_str() : "");
}

// The encode of a profile in a process of its own, as `cvnhost encode` runs: each has its own
// settings key, plug-in binding and stop flag, and one that crashes ends only itself. A stop
// request that reached only this process is passed on.
int runApart(const EncodeCommand& encode, const std::string& name) {
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child < 0) {
        fail("profile " + name + ": cannot start its run: " + std::strerror(errno));
        return kExitFailure;
    }
    if (child == 0) {
        int status = kExitFailure;
        try {
            status = runEncode(encode);
        } catch (const std::exception& exception) {
            fail("profile " + name + ": " + exception.what());
        }
        std::exit(status);
    }
    const std::atomic<bool>& stop = stopRequested();
    bool passedOn = false;
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) {
            fail("profile " + name + ": its run cannot be waited for: " + std::strerror(errno));
            return kExitFailure;
        }
        if (stop.load() && !passedOn) {
            kill(child, SIGTERM);
            passedOn = true;
        }
    }
    if (WIFEXITED(status)) {
        return WEXITSTATUS(status);
    }
    fail("profile " + name + ": its run ended by signal " + std::to_string(WTERMSIG(status)) + " (" +
         strsignal(WTERMSIG(status)) + ")");
    return kExitFailure;
}

// One profile's run; its exit status. A failure of one profile is said and ends only its run.
int syncProfile(const Profile& profile, const std::vector<std::string>& words, const std::string& path) {
    std::vector<std::string> problems = profile.problems;
    const std::vector<std::string> values = valueProblemsOf(profile, path);
    problems.insert(problems.end(), values.begin(), values.end());
    for (const std::string& problem : problems) {
        fail(problem);
    }
    if (!problems.empty()) {
        return kExitUsage;
    }
    std::string error;
    const std::optional<EncodeCommand> encode = encodeCommandOf(profile, words, error);
    if (!encode) {
        fail(path + ": profile " + profile.name + " with the options of the command line: " + error);
        return kExitUsage;
    }
    return runApart(*encode, profile.name);
}

} // namespace

CLI::App* addSyncCommand(CLI::App& app, SyncCommand& sync) {
    CLI::App* command = app.add_subcommand(
        "sync", "Keep the copy of a profile in step: encode --update --delete with the "
                "profile's inputs and settings, the options given here over the profile's");
    addSyncOptions(*command, sync);
    command->footer(
        "Examples:\n  cvnhost sync car\n  cvnhost sync phone --dry-run\n  cvnhost sync car -b 256\n"
        "  cvnhost sync --all");
    return command;
}

std::string profilesPathOf(const std::string& given) {
    return given.empty() ? defaultProfilesPath() : given;
}

std::optional<EncodeCommand> encodeCommandOf(const Profile& profile, const std::vector<std::string>& words,
                                             std::string& error) {
    SyncCommand parsed;
    CLI::App parser;
    addSyncOptions(parser, parsed);
    std::vector<std::string> arguments = encodeArgumentsOf(profile);
    arguments.insert(arguments.end(), {"--update", "--delete"});
    arguments.insert(arguments.end(), words.begin(), words.end());
    std::reverse(arguments.begin(), arguments.end()); // CLI11 takes a vector's words from its back
    try {
        parser.parse(arguments);
    } catch (const CLI::ParseError& parseError) {
        error = parseError.what();
        return std::nullopt;
    }
    parsed.encode.files = profile.inputs;
    return parsed.encode;
}

std::vector<std::string> valueProblemsOf(const Profile& profile, const std::string& path) {
    const auto at = [&](size_t line) {
        return path + ":" + std::to_string(line) + ": profile " + profile.name + ": ";
    };
    std::vector<std::string> problems;
    std::string error;
    // Each value alone first, so that a problem is named with its line.
    for (const ProfileSetting& setting : profile.settings) {
        Profile alone = profile;
        alone.settings = {setting};
        if (!encodeCommandOf(alone, {}, error)) {
            problems.push_back(at(setting.line) + setting.key + " = " + setting.value + ": " + error);
        }
    }
    if (problems.empty() && !encodeCommandOf(profile, {}, error)) {
        problems.push_back(at(profile.line) + error);
    }
    return problems;
}

int runSync(const SyncCommand& sync) {
    const ProfilesFile file = readProfiles(profilesPathOf(sync.profilesFile));
    for (const std::string& problem : file.problems) {
        fail(problem);
    }
    const std::optional<std::vector<const Profile*>> chosen =
        file.problems.empty() ? chosenProfiles(sync, file) : std::nullopt;
    if (!chosen) {
        return kExitUsage;
    }
    const std::atomic<bool>& stop = stopOnInterrupt();
    int worst = 0;
    std::string failed;
    for (size_t i = 0; i < chosen->size(); ++i) {
        const Profile& profile = *(*chosen)[i];
        if (sync.all) {
            announce(profile, i + 1, chosen->size());
        }
        const int status = syncProfile(profile, sync.words, file.path);
        failed += status == 0 ? "" : (failed.empty() ? "" : ", ") + profile.name;
        worst = std::max(worst, status);
        if (status == kExitInterrupted || stop.load()) {
            return kExitInterrupted;
        }
    }
    if (sync.all && !failed.empty()) {
        fail("sync --all: not every profile is in step: " + failed + " failed (named above)");
    }
    return worst;
}

} // namespace cvnhost
