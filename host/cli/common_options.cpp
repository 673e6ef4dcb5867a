#include "cli/common_options.h"

#include "audio/ffmpeg_module.h"
#include "cli/command_line.h"
#include "tags/input_tags.h"

#include "VelmoraPlugIn.hpp"

#include <iterator>
#include <vector>

namespace cvnhost {

CLI::IsMember settingWords(share::SettingIndex setting) {
    std::vector<std::string> words;
    for (const share::SettingWord& word : share::kSettings[setting].words) {
        words.emplace_back(word.word);
    }
    return CLI::IsMember(words);
}

std::string settingWordsInProse(share::SettingIndex setting) {
    const std::span<const share::SettingWord> words = share::kSettings[setting].words;
    std::string prose = words.front().word;
    for (size_t index = 1; index < words.size(); ++index) {
        prose += (index + 1 == words.size() ? " or " : ", ") + std::string(words[index].word);
    }
    return prose;
}

void addFormatOptions(CLI::App& command, CommonOptions& options) {
    auto* format = command
                       .add_option("--format", options.format,
                                   "Output format 0 to 27 (see `cvnhost formats`; default: 16, 128 kBit/sec "
                                   "Stereo, or 17, its mono format, for a mono input)")
                       ->check(wholeNumber)
                       ->check(CLI::Range(0, 27));
    auto* bitrate =
        command
            .add_option(
                "-b,--bitrate", options.bitrate,
                "Constant bitrate in kbit/s, 32 to 320 (picks the format); with -V the lowest bitrate")
            ->check(wholeNumber)
            ->check(CLI::IsMember(
                std::vector<int>(std::begin(cvn::kBitrateTable), std::end(cvn::kBitrateTable))));
    command
        .add_option("-V,--vbr-quality", options.vbrQuality,
                    "Variable bitrate of quality 0 (best, largest) to 9 (smallest), for this run")
        ->check(wholeNumber)
        ->check(CLI::Range(0, 9));
    command
        .add_option("--quality", options.quality,
                    "Encoder quality for this run: " + settingWordsInProse(share::kQuality))
        ->check(settingWords(share::kQuality));
    command
        .add_option("--stereo-mode", options.stereoMode,
                    "Stereo mode for this run: " + settingWordsInProse(share::kStereoMode))
        ->check(settingWords(share::kStereoMode));
    auto* mono = command.add_flag("--mono", options.mono, "Mono output (picks the format)");
    auto* stereo = command.add_flag("--stereo", options.stereo, "Stereo output, also for a mono input");
    format->excludes(bitrate)->excludes(mono)->excludes(stereo);
    mono->excludes(stereo);
    command
        .add_option("--settings", options.settingsKey,
                    "Registry key under HKEY_CURRENT_USER that holds the encoder settings")
        ->default_val(kDefaultSettingsKey);
    command.add_flag("--no-id3v2", options.noId3v2,
                     "Leave the file as the plug-in wrote it (ID3v1 tag only)");
    command.add_option("--id3v2-version", options.id3v2Version, "ID3v2 version of the tag: 3 (default) or 4")
        ->check(CLI::IsMember({3, 4}));
    // FFmpeg's log is process-wide, as its module is: the flag sets it as it is parsed.
    command.add_flag_callback("-v,--verbose", showEveryFfmpegMessage,
                              "Show every message of FFmpeg, which reads M4A, WMA, APE and the like "
                              "(default: its errors only)");
}

void addTagOptions(CLI::App& command, CommonOptions& options, const std::string& source) {
    const auto help = [&](const std::string& what) { return what + " (default: " + source + ")"; };
    command.add_option("--title", options.tags.title, help("Title"));
    command.add_option("--artist", options.tags.artist, help("Artist"));
    command.add_option("--album", options.tags.album, help("Album"));
    command.add_option("--album-artist", options.albumArtist, help("Album artist"));
    command.add_option("--genre", options.tags.genre,
                       "Genre: any text in ID3v2; in ID3v1 only an ID3v1 genre name such as Rock");
    const auto numberAndTotal = [](const std::string& text) {
        return parseNumberAndTotal(text).number
                   ? std::string()
                   : "must be N or N/TOTAL with N from 1 to " + std::to_string(kLargestNumber);
    };
    command
        .add_option("--track", options.track,
                    "Track number, N or N/TOTAL (N from 1 to " + std::to_string(kLargestNumber) + ")")
        ->check(numberAndTotal);
    command.add_option("--disc", options.disc, help("Disc number, N or N/TOTAL"))->check(numberAndTotal);
    command.add_option("--date", options.date, help("Date or year, such as 2024 or 2024-05-17"));
    command.add_option("--comment", options.comment, help("Comment"));
    command.add_option("--cover", options.coverFile, help("Front cover, a PNG or JPEG file"))
        ->check(CLI::ExistingFile);
}

std::optional<TrackTags> givenTags(const CommonOptions& options) {
    TrackTags tags = options.tags;
    if (options.track) {
        const NumberAndTotal track = parseNumberAndTotal(*options.track);
        tags.track = track.number;
        tags.trackTotal = track.total;
    }
    const auto setMore = [&](const char* name, const std::optional<std::string>& text) {
        if (text) {
            tags.more[name] = {*text};
        }
    };
    setMore("ALBUMARTIST", options.albumArtist);
    setMore("DATE", options.date);
    setMore(kCommentName, options.comment);
    if (options.disc) {
        setMore("DISCNUMBER", numberAndTotalText(parseNumberAndTotal(*options.disc)));
    }
    if (options.coverFile) {
        std::string error;
        std::optional<Picture> cover = readCover(*options.coverFile, error);
        if (!cover) {
            fail(*options.coverFile + ": " + error);
            return std::nullopt;
        }
        tags.pictures.push_back(std::move(*cover));
    }
    return tags;
}

std::string tagSummary(const TrackTags& tags) {
    std::string text;
    const auto add = [&](const char* name, const std::optional<std::string>& value) {
        if (value) {
            text += std::string(text.empty() ? "" : ", ") + name + " \"" + *value + "\"";
        }
    };
    add("title", tags.title);
    add("artist", tags.artist);
    add("album", tags.album);
    add("genre", tags.genre);
    if (tags.track) {
        text += std::string(text.empty() ? "" : ", ") + "track " + std::to_string(*tags.track);
    }
    return text.empty() ? "no texts" : text;
}

} // namespace cvnhost
