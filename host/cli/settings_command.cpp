#include "cli/settings_command.h"

#include "cli/common_options.h"
#include "cli/run_settings.h"
#include "encoding/dialog_commands.h"
#include "encoding/stored_settings.h"

#include <cvnplatform.h>

#include <cstdio>
#include <vector>

namespace cvnhost {

namespace {

// The options in the order the help lists them.
struct SettingOption {
    share::SettingIndex setting;
    const char* name;
    std::string help;
};

std::vector<SettingOption> settingOptions() {
    const auto labelled = [](share::SettingIndex setting) {
        return std::string(share::kSettings[setting].label) + ": " + settingWordsInProse(setting);
    };
    return {
        {share::kStereoMode, "--stereo-mode", settingWordsInProse(share::kStereoMode)},
        {share::kCrc, "--crc", labelled(share::kCrc)},
        {share::kCopyright, "--copyright", labelled(share::kCopyright)},
        {share::kOriginal, "--original", labelled(share::kOriginal)},
        {share::kPrivate, "--private", labelled(share::kPrivate)},
        {share::kQuality, "--quality", settingWordsInProse(share::kQuality)},
        {share::kVbr, "--vbr", "off, or a VBR quality 0 (best) to 9"},
    };
}

// The changes the words ask of the dialog.
share::SettingChoices changesOf(const SettingsCommand& command) {
    share::SettingChoices changes;
    for (size_t index = 0; index < share::kSettingCount; ++index) {
        changes[index] = share::valueOfWord(share::kSettings[index], command.words[index]);
    }
    return changes;
}

} // namespace

CLI::App* addSettingsCommand(CLI::App& app, SettingsCommand& command) {
    CLI::App* settingsCommand = app.add_subcommand(
        "settings",
        "Show the encoder settings as the Extended Settings dialog does; with options, change them there");
    settingsCommand->add_option("--settings", command.settingsKey, "Registry key under HKEY_CURRENT_USER")
        ->default_val(kDefaultSettingsKey);
    for (const SettingOption& option : settingOptions()) {
        settingsCommand->add_option(option.name, command.words[option.setting], option.help)
            ->check(settingWords(option.setting));
    }
    return settingsCommand;
}

int runSettings(const SettingsCommand& command) {
    const share::SettingChoices changes = changesOf(command);
    std::unique_ptr<PlugInHost> host = openPlugIn();
    if (!host) {
        return kExitFailure;
    }
    // The dialog stores its seven values one by one: from reading the key to the last value they
    // are one change of the registry file, so that a concurrent `settings` loses nothing and an
    // encode sees all of them or none.
    if (const LSTATUS status = cvnRegistryBeginChanges(); status != ERROR_SUCCESS) {
        fail("cannot change the settings in " + registryFileName() + ": " + registryErrorText(status));
        return kExitFailure;
    }
    HKEY key = nullptr;
    if (const LSTATUS status = RegCreateKeyExA(HKEY_CURRENT_USER, command.settingsKey.c_str(), 0, nullptr, 0,
                                               KEY_ALL_ACCESS, nullptr, &key, nullptr);
        status != ERROR_SUCCESS) {
        cvnRegistryEndChanges(FALSE);
        fail("cannot open the settings key HKEY_CURRENT_USER\\" + command.settingsKey + " in " +
             registryFileName() + ": " + registryErrorText(status));
        return kExitFailure;
    }
    share::SettingChoices before;
    const std::optional<share::SettingChoices> after = runSettingsDialog(*host, key, changes, before);
    // The dialog does not report a failed store: what it stored is read back through it.
    share::SettingChoices stored;
    const std::optional<share::SettingChoices> reread =
        after && hasChanges(changes) ? runSettingsDialog(*host, key, share::SettingChoices{}, stored) : after;
    const bool readBack = reread && *reread == *after;
    const LSTATUS written = cvnRegistryEndChanges(after && readBack ? TRUE : FALSE);
    if (!after) {
        RegCloseKey(key);
        fail("the plug-in could not show its settings dialog");
        return kExitFailure;
    }
    if (!readBack || written != ERROR_SUCCESS) {
        RegCloseKey(key);
        fail("the settings could not be stored in " + registryFileName() + ": " +
             (written != ERROR_SUCCESS ? registryErrorText(written) : "they did not read back as set"));
        return kExitFailure;
    }
    RegCloseKey(key);
    std::printf("HKEY_CURRENT_USER\\%s\n", command.settingsKey.c_str());
    for (const std::string& line : describeSettings(*after)) {
        std::printf("  %s\n", line.c_str());
    }
    return 0;
}

} // namespace cvnhost
