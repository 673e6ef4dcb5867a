#include "cli/settings_command.h"

#include "cli/run_settings.h"
#include "encoding/stored_settings.h"

#include <cvnplatform.h>

#include <cstdio>

namespace cvnhost {

CLI::App* addSettingsCommand(CLI::App& app, SettingsCommand& command) {
    CLI::App* settingsCommand = app.add_subcommand(
        "settings",
        "Show the encoder settings as the Extended Settings dialog does; with options, change them there");
    settingsCommand->add_option("--settings", command.settingsKey, "Registry key under HKEY_CURRENT_USER")
        ->default_val(kDefaultSettingsKey);
    const auto onOffWords = CLI::IsMember({"on", "off"});
    settingsCommand->add_option("--stereo-mode", command.words.stereoMode, "joint or 2ch")
        ->check(CLI::IsMember({"joint", "2ch"}));
    settingsCommand->add_option("--crc", command.words.crc, "CRC checksums: on or off")->check(onOffWords);
    settingsCommand->add_option("--copyright", command.words.copyright, "Copyright bit: on or off")
        ->check(onOffWords);
    settingsCommand->add_option("--original", command.words.original, "Original bit: on or off")
        ->check(onOffWords);
    settingsCommand->add_option("--private", command.words.privateBit, "Private bit: on or off")
        ->check(onOffWords);
    settingsCommand->add_option("--quality", command.words.quality, "normal, low or high")
        ->check(CLI::IsMember({"normal", "low", "high"}));
    settingsCommand->add_option("--vbr", command.words.vbr, "off, or a VBR quality 0 (best) to 9")
        ->check(CLI::IsMember({"off", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}));
    return settingsCommand;
}

int runSettings(const SettingsCommand& command) {
    const DialogSettings changes = dialogSettingsFrom(command.words);
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
    DialogSettings before;
    const std::optional<DialogSettings> after = runSettingsDialog(*host, key, changes, before);
    // The dialog does not report a failed store: what it stored is read back through it.
    DialogSettings stored;
    const std::optional<DialogSettings> reread =
        after && hasChanges(changes) ? runSettingsDialog(*host, key, DialogSettings{}, stored) : after;
    const bool readBack = reread && describeSettings(*reread) == describeSettings(*after);
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
