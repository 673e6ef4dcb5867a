// cvnhost: the encoder front end for Linux. It loads the Velmora plug-in as Corvane does and
// drives it through its entry points only: bind, queries, dialogs, streams, release. This file is
// the command line: the commands and their options, the parse, and the exit status
// (cli/command_line.h).
#include "cli/command_line.h"
#include "cli/common_options.h"
#include "cli/encode_command.h"
#include "cli/profiles_command.h"
#include "cli/query_commands.h"
#include "cli/settings_command.h"
#include "cli/sync_command.h"
#include "cli/unknown_words.h"

#include <CLI/CLI.hpp>
#include <cvnplatform.h>

#include <algorithm>
#include <csignal>
#include <filesystem>

namespace {

using namespace cvnhost;

// Every command's options, filled by the parse.
struct Commands {
    EncodeCommand encode;
    CommonOptions demo;
    std::string demoOutput = "demo.mp3";
    bool formatInputs = false;
    SettingsCommand settings;
    SyncCommand sync;
    ProfilesCommand profiles;
    CLI::App* encodeApp = nullptr;
    CLI::App* demoApp = nullptr;
    CLI::App* formatsApp = nullptr;
    CLI::App* infoApp = nullptr;
    CLI::App* aboutApp = nullptr;
    CLI::App* settingsApp = nullptr;
    CLI::App* syncApp = nullptr;
    CLI::App* profilesApp = nullptr;
};

void addCommands(CLI::App& app, Commands& commands) {
    commands.encodeApp = addEncodeCommand(app, commands.encode);
    commands.demoApp = app.add_subcommand("demo", "Encode ten seconds of a built-in signal, with demo tags");
    commands.demoApp->add_option("output", commands.demoOutput, "The MP3 file to write")
        ->default_val("demo.mp3");
    addFormatOptions(*commands.demoApp, commands.demo);
    addTagOptions(*commands.demoApp, commands.demo, "the demo's own");
    commands.formatsApp =
        app.add_subcommand("formats", "List the 28 output formats as the plug-in describes them");
    commands.formatsApp->add_flag("--inputs", commands.formatInputs,
                                  "List the input formats this build reads instead");
    commands.infoApp = app.add_subcommand("info", "Show what the plug-in says of itself");
    commands.aboutApp =
        app.add_subcommand("about", "Show the about box's lines (the encoder library's versions)");
    commands.settingsApp = addSettingsCommand(app, commands.settings);
    commands.syncApp = addSyncCommand(app, commands.sync);
    commands.profilesApp = addProfilesCommand(app, commands.profiles);
}

// The words after the command's name, as given.
std::vector<std::string> wordsAfter(int argc, char** argv, const std::string& command) {
    char** const end = argv + argc;
    char** const found = std::find(argv + 1, end, command);
    return {found == end ? end : found + 1, end};
}

// Parses the command line; a status to exit with when the run ends there (help, version, a usage
// error), else nothing.
std::optional<int> parse(CLI::App& app, int argc, char** argv) {
    if (argc > 1) {
        if (const std::string unknown = unknownFirstWord(app, argv[1]); !unknown.empty()) {
            fail(unknown);
            return kExitUsage;
        }
    }
    for (CLI::App* command : app.get_subcommands({})) {
        command->allow_extras();
    }
    try {
        app.parse(argc, argv);
        for (const CLI::App* command : app.get_subcommands()) {
            if (const std::string unexpected = unexpectedWord(*command); !unexpected.empty()) {
                fail(command->get_name() + ": " + unexpected);
                return kExitUsage;
            }
        }
    } catch (const CLI::ParseError& error) {
        if (error.get_exit_code() == 0) {
            return app.exit(error); // --help, --version
        }
        fail(std::string(error.what()) + "; `cvnhost --help` lists the commands and options");
        return kExitUsage;
    }
    return std::nullopt;
}

int run(const Commands& commands) {
    if (*commands.encodeApp) {
        return runEncode(commands.encode);
    }
    if (*commands.demoApp) {
        return runDemo(commands.demo, commands.demoOutput);
    }
    if (*commands.formatsApp) {
        return runFormats(commands.formatInputs);
    }
    if (*commands.infoApp) {
        return runInfo();
    }
    if (*commands.aboutApp) {
        return runAbout();
    }
    if (*commands.settingsApp) {
        return runSettings(commands.settings);
    }
    if (*commands.syncApp) {
        return runSync(commands.sync);
    }
    if (*commands.profilesApp) {
        return runProfiles(commands.profiles);
    }
    return kExitUsage;
}

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"cvnhost: encodes audio files to MP3 through the Velmora plug-in.\n"
                 "Reads WAV, AIFF, FLAC, Ogg Vorbis, Opus, MP3 and more; converts any rate to 44100 Hz."};
    app.name("cvnhost");
    app.set_version_flag("--version", std::string("cvnhost ") + CVN_VERSION);
    app.require_subcommand(1);
    Commands commands;
    addCommands(app, commands);
    if (const std::optional<int> status = parse(app, argc, argv)) {
        return *status;
    }
    if (*commands.syncApp) {
        commands.sync.words = wordsAfter(argc, argv, "sync");
    }
    cvnSetMessageBoxHandler(showMessageBox);
    // A file size limit then fails the write that passes it, which is reported, instead of
    // ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        return run(commands);
    } catch (const std::filesystem::filesystem_error& error) {
        fail(error.path1().string() + ": " + error.code().message());
        return kExitFailure;
    } catch (const std::exception& error) {
        fail(error.what());
        return kExitFailure;
    }
}
