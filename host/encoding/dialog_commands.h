// `cvnhost about` and `cvnhost settings`: the plug-in's own dialogs, played through the platform
// layer's dialog driver. The host reads what the plug-in put in the controls, and for settings
// sets the controls the user named and presses OK, so the plug-in stays the only writer of its
// settings.
#pragma once

#include "encoding/plugin_host.h"

#include <optional>
#include <string>
#include <vector>

namespace cvnhost {

// The about box's lines, as the plug-in filled them from the encoder library's beVersion.
std::vector<std::string> aboutLines(const PlugInHost& host);

// What the settings dialog shows, and what the user asks to change.
struct DialogSettings {
    std::optional<bool> jointStereo; // false: 2 channel stereo
    std::optional<bool> copyright;
    std::optional<bool> crc;
    std::optional<bool> original;
    std::optional<bool> privateBit;
    std::optional<int> quality; // 0 normal, 1 low, 2 high
    std::optional<int> vbr;     // the list's index: 0 off, k + 1 for VBR quality k
};

// The settings command's words, as the user typed them; an empty word changes nothing.
struct SettingsWords {
    std::string stereoMode;                           // joint, 2ch
    std::string crc, copyright, original, privateBit; // on, off
    std::string quality;                              // normal, low, high
    std::string vbr;                                  // off, 0 to 9
};

// A quality word (normal, low, high) as the Quality setting stores it, and as the dialog's
// quality buttons count: 0, 1, 2.
int qualityOfWord(const std::string& word);

// The changes the words ask of the dialog; describeSettings gives them back as words.
DialogSettings dialogSettingsFrom(const SettingsWords& words);

// Whether `changes` names any control.
bool hasChanges(const DialogSettings& changes);

// Opens the settings dialog on `settingsKey`, sets each control that `changes` names and presses
// OK (or, with no changes, Cancel). Returns the controls as the dialog showed them when it opened
// (and after the changes); nothing when the dialog could not be shown.
std::optional<DialogSettings> runSettingsDialog(const PlugInHost& host, HKEY settingsKey,
                                                const DialogSettings& changes, DialogSettings& shownBefore);

// The settings as the dialog shows them, one "Name: value" line each.
std::vector<std::string> describeSettings(const DialogSettings& settings);

} // namespace cvnhost
