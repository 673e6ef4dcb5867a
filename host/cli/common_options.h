// The options that several commands share: how the output is encoded (format, bitrate, this run's
// settings) and tagged.
#pragma once

#include "cli/command_line.h"
#include "share/win32/settings_table.h"
#include "tags/track_tags.h"

#include <CLI/CLI.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace cvnhost {

// What several commands share: how the output is encoded and tagged.
struct CommonOptions {
    std::optional<int32_t> format;
    int bitrate = 0;
    // The settings of this run alone; the stored ones serve where these are not given.
    std::optional<int> vbrQuality;
    std::string quality;
    std::string stereoMode;
    bool mono = false;
    bool stereo = false;
    std::string settingsKey = kDefaultSettingsKey;
    TrackTags tags;
    std::optional<std::string> track, disc, albumArtist, date, comment, coverFile;
    bool noId3v2 = false;
    int id3v2Version = 3;
    bool quiet = false;
};

// The words of a setting's values as its options take them, and in prose: "normal, low or high".
CLI::IsMember settingWords(share::SettingIndex setting);
std::string settingWordsInProse(share::SettingIndex setting);

void addFormatOptions(CLI::App& command, CommonOptions& options);

// `source` names where a tag comes from when its option is not given: "the input's own".
void addTagOptions(CLI::App& command, CommonOptions& options, const std::string& source);

// The tags that the options give, in the record that the input's own are merged into; nothing
// after saying why (an unreadable --cover).
std::optional<TrackTags> givenTags(const CommonOptions& options);

// "title "X", artist "Y", track 3", or "no texts".
std::string tagSummary(const TrackTags& tags);

} // namespace cvnhost
