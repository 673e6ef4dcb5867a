// cvnhost: the encoder front end for Linux. It loads the Velmora plug-in as Corvane does and
// drives it through its entry points only: bind, queries, dialogs, streams, release.
//
// Exit status: 0 success, 1 a failure (each named on stderr with its file and cause), 2 a usage
// error, 130 stopped by Ctrl-C or SIGTERM.
#include "audio_input.h"
#include "album_identity.h"
#include "batch.h"
#include "demo_signal.h"
#include "dialog_commands.h"
#include "content_digest.h"
#include "input_formats.h"
#include "library_sync.h"
#include "lossy_input.h"
#include "input_tags.h"
#include "interrupt.h"
#include "output_name.h"
#include "manifest.h"
#include "output_plan.h"
#include "output_target.h"
#include "file_io.h"
#include "temporary_file.h"
#include "write_plan.h"
#include "run_report.h"
#include "shard.h"
#include "plugin_host.h"
#include "standard_streams.h"
#include "stored_settings.h"
#include "unknown_words.h"

#include <CLI/CLI.hpp>
#include <cvnplatform.h>

#include <cmath>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <map>
#include <set>
#include <thread>

namespace {

using namespace cvnhost;

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
constexpr int kExitInterrupted = 130;
constexpr const char* kDefaultSettingsKey = "Software\\Corvane\\VelmoraPlugIn";

void fail(const std::string& message) {
    std::fprintf(stderr, "cvnhost: %s\n", message.c_str());
}

int showMessageBox(HWND, LPCSTR text, LPCSTR, UINT) {
    std::fprintf(stderr, "cvnhost: the plug-in says: %s\n", text == nullptr ? "" : text);
    return IDOK;
}

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

// Checked before a range or list, so that a word is called what it is rather than out of range.
std::string wholeNumber(const std::string& text) {
    const bool digits = !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
    return digits ? std::string() : text + " is not a number";
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
    command.add_option("--quality", options.quality, "Encoder quality for this run: normal, low or high")
        ->check(CLI::IsMember({"normal", "low", "high"}));
    command.add_option("--stereo-mode", options.stereoMode, "Stereo mode for this run: joint or 2ch")
        ->check(CLI::IsMember({"joint", "2ch"}));
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
}

// `source` names where a tag comes from when its option is not given: "the input's own".
void addTagOptions(CLI::App& command, CommonOptions& options, const std::string& source) {
    const auto help = [&](const std::string& what) { return what + " (default: " + source + ")"; };
    command.add_option("--title", options.tags.title, help("Title"));
    command.add_option("--artist", options.tags.artist, help("Artist"));
    command.add_option("--album", options.tags.album, help("Album"));
    command.add_option("--album-artist", options.albumArtist, help("Album artist"));
    command.add_option("--genre", options.tags.genre,
                       "Genre: any text in ID3v2; in ID3v1 only an ID3v1 genre name such as Rock");
    command.add_option("--track", options.track, "Track number, N or N/TOTAL (N from 1 to 255)")
        ->check([](const std::string& text) {
            return parseTrackNumber(text) ? std::string() : "must be N or N/TOTAL with N from 1 to 255";
        });
    command.add_option("--disc", options.disc, help("Disc number, N or N/TOTAL"))
        ->check([](const std::string& text) {
            return parseNumberAndTotal(text).number ? std::string() : "must be N or N/TOTAL";
        });
    command.add_option("--date", options.date, help("Date or year, such as 2024 or 2024-05-17"));
    command.add_option("--comment", options.comment, help("Comment"));
    command.add_option("--cover", options.coverFile, help("Front cover, a PNG or JPEG file"))
        ->check(CLI::ExistingFile);
}

// The tags that the options give, in the record that the input's own are merged into.
std::optional<TrackTags> givenTags(const CommonOptions& options) {
    TrackTags tags = options.tags;
    if (options.track) {
        tags.track = parseTrackNumber(*options.track);
        tags.trackTotal = parseNumberAndTotal(*options.track).total;
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

// The format for a stereo input; a mono input keeps to one channel unless a format, --mono or
// --stereo was asked for (monoInputStaysMono).
int32_t chosenFormat(const CommonOptions& options) {
    if (options.format || (options.bitrate == 0 && !options.mono && !options.vbrQuality)) {
        return options.format.value_or(cvn::kDefaultFormat);
    }
    // A VBR run without -b has the encoder's own floor, the lowest bitrate, as the encoder's
    // command-line program has it.
    const int defaultBitrate =
        options.vbrQuality ? cvn::kBitrateTable[0] : cvn::bitrateOf(cvn::kDefaultFormat);
    // The catalogue's order: each bitrate in stereo, then in mono.
    const int bitrate = options.bitrate == 0 ? defaultBitrate : options.bitrate;
    for (int32_t index = options.mono ? 1 : 0; cvn::isValidFormatIndex(index); index += 2) {
        if (cvn::bitrateOf(index) == bitrate) {
            return index;
        }
    }
    return cvn::kDefaultFormat;
}

RunSettings runSettingsFrom(const CommonOptions& options) {
    RunSettings run;
    if (options.vbrQuality) {
        run.vbr = cvn::vbrValueOf(*options.vbrQuality);
    } else if (options.bitrate != 0) {
        run.vbr = CVN_VBR_OFF; // -b alone asks for a constant bitrate
    }
    if (!options.quality.empty()) {
        run.quality = static_cast<uint32_t>(qualityOfWord(options.quality));
    }
    if (!options.stereoMode.empty()) {
        run.stereoMode = options.stereoMode == "joint" ? CVN_STEREO_MODE_JOINT : CVN_STEREO_MODE_TWO_CHANNEL;
    }
    return run;
}

// The settings key for an encode: a volatile key of the run's own, holding the stored values (read
// as one version of the registry file, and checked) with this run's own on top. Every stream of
// the run reads this snapshot, so that a `cvnhost settings` during a batch changes none of its
// tracks. Null after saying why.
HKEY openSettingsKeyForEncoding(const CommonOptions& options) {
    std::string error;
    cvnRegistryHoldReads(TRUE);
    HKEY key =
        openSettingsForEncoding(options.settingsKey, options.settingsKey != kDefaultSettingsKey, error);
    const bool checked = key != nullptr && checkStoredSettings(key, options.settingsKey, error);
    HKEY runKey = checked ? runSettingsKey(key, runSettingsFrom(options), error) : nullptr;
    cvnRegistryHoldReads(FALSE);
    if (key != nullptr) {
        RegCloseKey(key);
    }
    if (runKey == nullptr) {
        fail(error);
    }
    return runKey;
}

std::unique_ptr<PlugInHost> openPlugIn() {
    std::string error;
    std::unique_ptr<PlugInHost> host = PlugInHost::open(error);
    if (!host) {
        fail(error);
    }
    return host;
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

// --- encode -------------------------------------------------------------------------------

struct EncodeCommand {
    CommonOptions common;
    std::vector<std::string> files;
    std::string output;
    std::string outDirectory;
    std::string nameTemplate;
    std::string manifest;
    std::optional<Shard> shard;
    std::string report;
    bool keepPartial = false;
    bool overwrite = false;
    bool update = false;
    bool deleteOrphans = false;
    bool dryRun = false;
    std::string lossy = "encode";
    std::string replayGain = "off";
    // --raw and the shape of its samples, as the encoder project's program takes them.
    bool raw = false;
    double rawKiloHertz = 44.1;
    int rawChannels = 2;
    int rawBits = 16;
    bool rawUnsigned = false;
    bool rawBigEndian = false;
    unsigned jobs = std::max(1u, std::thread::hardware_concurrency());
};

// Whether the track's output is kept as it is: it exists, and --overwrite was not given.
bool outputKept(const BatchItem& item, const EncodeCommand& command) {
    std::error_code typeError;
    return !command.overwrite && !isStandardStream(item.output) &&
           std::filesystem::is_regular_file(item.output, typeError);
}

// The tracks of this run (its shard), the paths it writes checked before any work; nothing after
// saying why (a usage error).
struct RunTracks {
    std::vector<BatchItem> tracks;
    std::vector<bool> kept; // the output exists and stays
    std::vector<BatchItem> toWrite;
    std::vector<std::string> unreadable;
    // Outputs that exist but are encoded again: their album has tracks to encode, and an album's
    // gain is measured over all of its tracks.
    size_t encodedAgainForAlbum = 0;
    std::vector<BatchItem> toRetag; // --update: their tags changed, their audio did not
    std::vector<BatchItem> toCopy;  // --lossy copy: MP3 inputs put in place as they are
    size_t lossyEncoded = 0;        // lossy inputs among those encoded
    size_t lossySkipped = 0;        // --lossy skip
    // Of every track planned, also of other shards: what --delete keeps.
    std::set<std::string> allSources;
    std::set<std::filesystem::path> allOutputs;
};

std::optional<RunTracks> planTracks(const EncodeCommand& command, const std::vector<ManifestEntry>& manifest,
                                    const TrackTags& given, const std::string& settingsDigest) {
    std::string usageError;
    const OutputRequest request = {
        command.files,
        manifest,
        command.output,
        command.outDirectory,
        command.nameTemplate,
        given,
        [](const std::string& input) { return readInputTags(input).value_or(TrackTags{}); }};
    std::optional<PlannedTracks> planned = planOutputs(request, usageError);
    if (!planned) {
        fail(usageError);
        return std::nullopt;
    }
    // Every track's paths are checked, also those of other shards: two shards must not write one file.
    const bool albumGain = command.replayGain == "album";
    if (albumGain) {
        for (BatchItem& item : planned->tracks) {
            item.album = albumIdentityOf(tagsGivenTo(item, given));
        }
    }
    RunTracks run;
    std::vector<bool> inRun(planned->tracks.size());
    std::vector<bool> toEncode(planned->tracks.size());
    std::set<std::string> albumsToEncode;
    for (size_t i = 0; i < planned->tracks.size(); ++i) {
        const BatchItem& item = planned->tracks[i];
        // With album gain an album is one unit: in one shard, measured whole.
        const std::string& shardKey = item.album.empty() ? item.input : item.album;
        inRun[i] = !command.shard || belongsToShard(shardKey, *command.shard);
        toEncode[i] = inRun[i] && !outputKept(item, command);
        if (inRun[i] && !toEncode[i] && command.update && !isStandardStream(item.output)) {
            const SyncAction action = syncActionFor(item, settingsDigest);
            toEncode[i] = action == SyncAction::Encode;
            if (action == SyncAction::Retag) {
                run.toRetag.push_back(item);
            }
        }
        if (toEncode[i] && !item.album.empty()) {
            albumsToEncode.insert(item.album);
        }
    }
    std::vector<size_t> written;
    for (size_t i = 0; i < planned->tracks.size(); ++i) {
        const bool albumMate =
            inRun[i] && !toEncode[i] && albumsToEncode.count(planned->tracks[i].album) == 1;
        run.encodedAgainForAlbum += albumMate ? 1 : 0;
        if (toEncode[i] || albumMate) {
            written.push_back(i);
        }
    }
    const WriteRules rules = {command.outDirectory, command.manifest, command.report, command.keepPartial};
    if (!planWrites(planned->tracks, written, rules, usageError)) {
        fail(usageError);
        return std::nullopt;
    }
    for (size_t i = 0, next = 0; i < planned->tracks.size(); ++i) {
        if (!inRun[i]) {
            continue;
        }
        const bool kept = next >= written.size() || written[next] != i;
        next += kept ? 0 : 1;
        run.tracks.push_back(planned->tracks[i]);
        run.kept.push_back(kept);
        if (!kept) {
            run.toWrite.push_back(planned->tracks[i]);
        }
    }
    for (const BatchItem& item : planned->tracks) {
        std::error_code canonicalError;
        run.allSources.insert(item.source);
        run.allOutputs.insert(std::filesystem::weakly_canonical(item.output, canonicalError));
    }
    run.unreadable = std::move(planned->unreadable);
    return run;
}

// Removes what runs killed outright left in the folders this run writes to, and says so once.
void removeAbandonedTemporariesOf(const RunTracks& run, const std::string& report, bool quiet) {
    std::set<std::string> directories;
    const auto addFolderOf = [&](const std::string& path) {
        std::string ignored;
        const std::optional<OutputTarget> target = outputTargetOf(path, ignored);
        const std::string folder = std::filesystem::path(target ? target->path : path).parent_path().string();
        directories.insert(isStandardStream(path) ? temporaryDirectory() : folder.empty() ? "." : folder);
    };
    for (const BatchItem& item : run.tracks) {
        addFolderOf(item.output);
        if (isStandardStream(item.input)) {
            directories.insert(temporaryDirectory());
        }
    }
    if (!report.empty()) {
        addFolderOf(report);
    }
    for (const std::string& directory : directories) {
        const size_t removed = removeAbandonedTemporaries(directory).size();
        if (removed > 0 && !quiet) {
            std::fprintf(stderr, "cvnhost: %s: removed %zu temporary file(s) left by runs that were killed\n",
                         directory.c_str(), removed);
        }
    }
}

// Sorts the tracks to write by their codecs: a lossy one is encoded (and counted), copied (an MP3
// with --lossy copy) or left out and named (--lossy skip).
void sortLossyInputs(RunTracks& run, const std::string& mode, bool quiet) {
    std::vector<BatchItem> toEncode;
    for (BatchItem& item : run.toWrite) {
        const std::optional<Lossiness> lossiness =
            isStandardStream(item.input) ? std::nullopt : lossinessOf(item.input);
        if (!lossiness || !lossiness->lossy) {
            toEncode.push_back(std::move(item));
        } else if (mode == "skip") {
            ++run.lossySkipped;
            if (!quiet) {
                std::fprintf(stderr, "cvnhost: %s: lossy, left out (--lossy skip)\n", item.input.c_str());
            }
        } else if (mode == "copy" && lossiness->mp3) {
            run.toCopy.push_back(std::move(item));
        } else {
            ++run.lossyEncoded;
            toEncode.push_back(std::move(item));
        }
    }
    run.toWrite = std::move(toEncode);
}

// The outputs made without the plug-in: `write` for each item, which is then named with `what`
// ("tags written again", "copied as it is"), or its failure. The failures.
size_t writeEach(const std::vector<BatchItem>& items,
                 bool (*write)(const BatchItem&, const EncodeOptions&, std::string&), const char* what,
                 const EncodeOptions& options, bool quiet) {
    size_t failed = 0;
    for (const BatchItem& item : items) {
        std::string error;
        if (!write(item, options, error)) {
            fail(item.output + " " + error);
            ++failed;
        } else if (!quiet) {
            std::fprintf(stderr, "%s -> %s (%s)\n", item.input.c_str(), item.output.c_str(), what);
        }
    }
    return failed;
}

// Why --delete must not remove anything in this run: an input that is not there (an unmounted
// disk) or a folder that could not be read would make every output of it look orphaned.
std::string deleteRefusal(const RunTracks& run, const EncodeCommand& command) {
    for (const std::string& input : command.files) {
        std::error_code existsError;
        if (!isStandardStream(input) && !std::filesystem::exists(input, existsError)) {
            return "the input " + input + " does not exist (an unmounted disk?)";
        }
    }
    if (!run.unreadable.empty()) {
        return "not every folder of the inputs could be read";
    }
    return {};
}

// --delete: the outputs whose source is gone; nothing, after saying why, when that cannot be told.
std::optional<std::vector<std::string>> orphansOf(const RunTracks& run, const EncodeCommand& command) {
    if (const std::string refusal = deleteRefusal(run, command); !refusal.empty()) {
        fail("--delete removes nothing: " + refusal);
        return std::nullopt;
    }
    return orphanOutputs(command.outDirectory, run.allSources, run.allOutputs);
}

// --dry-run: what the run would do, one line each on standard output; it does none of it.
int showPlan(const RunTracks& run, const EncodeCommand& command) {
    for (const BatchItem& item : run.toWrite) {
        std::printf("encode %s -> %s\n", item.input.c_str(), item.output.c_str());
    }
    for (const BatchItem& item : run.toRetag) {
        std::printf("retag %s -> %s\n", item.input.c_str(), item.output.c_str());
    }
    for (const BatchItem& item : run.toCopy) {
        std::printf("copy %s -> %s\n", item.input.c_str(), item.output.c_str());
    }
    if (!command.deleteOrphans) {
        return 0;
    }
    const std::optional<std::vector<std::string>> orphans = orphansOf(run, command);
    for (const std::string& orphan : orphans.value_or(std::vector<std::string>{})) {
        std::printf("remove %s\n", orphan.c_str());
    }
    return orphans ? 0 : kExitFailure;
}

// How the run's tracks are encoded and tagged, from the options and the run's settings key; the
// settings digest that each output's source marker keeps.
EncodeOptions encodeOptionsFor(const EncodeCommand& command, const TrackTags& given, HKEY key,
                               bool manifest) {
    EncodeOptions options;
    options.formatIndex = chosenFormat(command.common);
    options.vbr = storedVbrOf(key);
    options.monoInputStaysMono = !command.common.format && !command.common.mono && !command.common.stereo;
    options.settingsKey = key;
    options.givenTags = given;
    options.id3v2Version = command.common.id3v2Version == 4 ? Id3v2Version::V4 : Id3v2Version::V3;
    options.id3v2 = !command.common.noId3v2;
    options.keepPartial = command.keepPartial;
    options.makeFolders = !command.outDirectory.empty() || manifest;
    options.replayGain = command.replayGain == "album"   ? ReplayGainMode::Album
                         : command.replayGain == "track" ? ReplayGainMode::Track
                                                         : ReplayGainMode::Off;
    std::vector<std::string> parts = settingTexts(key);
    parts.insert(parts.end(), {"format=" + std::to_string(options.formatIndex),
                               "monoInputStaysMono=" + std::to_string(options.monoInputStaysMono),
                               "id3v2=" + std::to_string(options.id3v2 ? command.common.id3v2Version : 0),
                               "replaygain=" + command.replayGain});
    options.settingsDigest = settingsDigest(parts);
    if (command.raw) {
        // Given in kHz as the encoder project's program takes it (-s 44.1); a number of Hz is taken too.
        const double hertz = command.rawKiloHertz < 1000 ? command.rawKiloHertz * 1000 : command.rawKiloHertz;
        options.raw = RawFormat{static_cast<int>(std::lround(hertz)), command.rawChannels, command.rawBits,
                                !command.rawUnsigned, command.rawBigEndian};
    }
    return options;
}

// What became of the lossy inputs, or nothing.
std::string lossyText(const RunTracks& run, size_t copied) {
    std::string text;
    if (run.lossyEncoded > 0) {
        text +=
            "; " + std::to_string(run.lossyEncoded) +
            " lossy input(s) encoded again, their quality lost twice (--lossy copy keeps MP3 inputs as they "
            "are)";
    }
    if (copied > 0) {
        text += "; " + std::to_string(copied) + " MP3 input(s) copied as they are";
    }
    if (run.lossySkipped > 0) {
        text += "; " + std::to_string(run.lossySkipped) + " lossy input(s) left out";
    }
    return text;
}

// "; 2 retagged; 3 removed: their sources are gone", or nothing.
std::string syncText(size_t retagged, size_t removed) {
    return (retagged > 0 ? "; " + std::to_string(retagged) + " retagged" : std::string()) +
           (removed > 0 ? "; " + std::to_string(removed) + " removed: their sources are gone"
                        : std::string());
}

// "; 2 album(s) measured (3 existing outputs encoded again for their album)", or nothing.
std::string albumText(const RunTracks& run, const std::vector<TrackOutcome>& outcomes) {
    std::set<std::string> measured;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        if (outcomes[i].status == TrackOutcome::Status::Encoded &&
            outcomes[i].tags.more.count("REPLAYGAIN_ALBUM_GAIN") == 1) {
            measured.insert(run.toWrite[i].album);
        }
    }
    if (measured.empty()) {
        return {};
    }
    return "; " + std::to_string(measured.size()) + " album(s) measured" +
           (run.encodedAgainForAlbum > 0 ? " (" + std::to_string(run.encodedAgainForAlbum) +
                                               " existing output(s) encoded again for their album)"
                                         : "");
}

// The folder a new file at `path` goes into, or the nearest one above it that exists.
std::filesystem::path nearestFolderOf(const std::string& path) {
    std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
    std::error_code existsError;
    while (folder.has_relative_path() && !std::filesystem::exists(folder, existsError)) {
        folder = folder.parent_path();
    }
    return folder;
}

// The tracks whose output folder cannot be written, said once a folder and taken out of the run;
// how many.
size_t refuseUnwritableFolders(RunTracks& run) {
    std::map<std::filesystem::path, size_t> refused;
    std::vector<BatchItem> writable;
    for (BatchItem& item : run.toWrite) {
        const std::filesystem::path folder = nearestFolderOf(item.output);
        if (isStandardStream(item.output) || access(folder.c_str(), W_OK | X_OK) == 0) {
            writable.push_back(std::move(item));
        } else {
            ++refused[folder];
        }
    }
    size_t count = 0;
    for (const auto& [folder, tracks] : refused) {
        fail(folder.string() + ": cannot be written (" + std::strerror(EACCES) + "): its " +
             std::to_string(tracks) + " track(s) are not encoded");
        count += tracks;
    }
    run.toWrite = std::move(writable);
    return count;
}

int runEncode(const EncodeCommand& command) {
    if (command.rawUnsigned && command.rawBits != 8) {
        fail("--unsigned takes 8-bit samples only (--bitwidth 8); wider raw samples are signed");
        return kExitUsage;
    }
    if (command.deleteOrphans && command.outDirectory.empty()) {
        fail("--delete needs --out-dir DIR, below which it removes the outputs whose sources are gone");
        return kExitUsage;
    }
    const std::optional<TrackTags> given = givenTags(command.common);
    if (!given) {
        return kExitFailure;
    }
    std::vector<ManifestEntry> manifest;
    if (!command.manifest.empty()) {
        std::string error;
        std::optional<std::vector<ManifestEntry>> entries = readManifest(command.manifest, error);
        if (!entries) {
            fail(error);
            return kExitUsage;
        }
        manifest = std::move(*entries);
    }
    HKEY key = openSettingsKeyForEncoding(command.common);
    if (key == nullptr) {
        return kExitFailure;
    }
    const EncodeOptions options = encodeOptionsFor(command, *given, key, !manifest.empty());
    std::optional<RunTracks> run = planTracks(command, manifest, *given, options.settingsDigest);
    if (!run) {
        return kExitUsage;
    }
    for (const std::string& problem : run->unreadable) {
        fail(problem);
    }
    for (const BatchItem& item : run->toWrite) {
        if (!command.common.quiet && !isStandardStream(item.output) && !hasMp3Extension(item.output)) {
            fail(item.output + ": MP3 data under a name that does not end in .mp3 (players go by the name)");
        }
    }
    const std::vector<BatchItem>* tracks = &run->tracks;
    const std::vector<bool>& kept = run->kept;
    const std::vector<BatchItem>& toWrite = run->toWrite;
    // An existing output is kept unless --overwrite: a batch skips it (a re-run encodes what is not
    // there yet), a single encode stops and says how to replace it.
    for (size_t i = 0; command.outDirectory.empty() && manifest.empty() && i < tracks->size(); ++i) {
        if (kept[i]) {
            fail((*tracks)[i].output + ": exists; --overwrite replaces it once the new file is complete");
            return kExitFailure;
        }
    }
    std::unique_ptr<PendingOutput> report;
    if (!command.report.empty()) {
        std::string error;
        report = PendingOutput::create(command.report, "", error);
        if (!report) {
            fail("--report " + command.report + " " + error);
            return kExitFailure;
        }
    }
    removeAbandonedTemporariesOf(*run, command.report, command.common.quiet);
    const size_t unwritable = refuseUnwritableFolders(*run);
    if (!command.raw) { // samples without a header are lossless, and have no codec to ask
        sortLossyInputs(*run, command.lossy, command.common.quiet);
    }
    if (command.dryRun) {
        return showPlan(*run, command);
    }
    const size_t skipped = tracks->size() - toWrite.size() - run->toRetag.size() - run->toCopy.size() -
                           run->lossySkipped - unwritable;
    std::unique_ptr<PlugInHost> host = openPlugIn();
    if (!host) {
        return kExitFailure;
    }

    // Only the bar shows how far the whole batch has come, so only it needs the total up front.
    const Progress::Mode mode = Progress::modeFor(command.common.quiet);
    int64_t expectedFrames = 0;
    for (size_t i = 0; mode == Progress::Mode::Bar && i < toWrite.size(); ++i) {
        expectedFrames += AudioInput::expectedFramesOf(toWrite[i].input);
    }
    const std::atomic<bool>& stop = stopOnInterrupt();
    Progress progress(mode, toWrite.size(), expectedFrames);
    const std::vector<TrackOutcome> outcomes =
        encodeBatch(*host, toWrite, options, command.jobs, progress, stop);
    progress.close();
    RegCloseKey(key);
    if (report) {
        std::string error;
        if (!writeReport(*report, reportLines(*tracks, kept, outcomes), error)) {
            fail(error);
            return kExitFailure;
        }
    }

    size_t failed = 0;
    std::vector<std::string> cutShort;
    for (size_t i = 0; i < outcomes.size(); ++i) {
        if (outcomes[i].status == TrackOutcome::Status::Failed ||
            outcomes[i].status == TrackOutcome::Status::NotStarted) {
            ++failed;
        } else if (outcomes[i].status == TrackOutcome::Status::CutShort) {
            cutShort.push_back(toWrite[i].output);
        }
    }
    if (stop.load()) {
        fail("stopped: " + std::to_string(cutShort.size()) + " file(s) cut short" +
             (command.keepPartial ? ", kept as .partial files" : ", not written") +
             "; no existing output was changed by them");
        for (const std::string& output : cutShort) {
            std::fprintf(stderr, "  cut short: %s\n", output.c_str());
        }
        return kExitInterrupted;
    }
    const size_t retagFailures =
        writeEach(run->toRetag, retagOutput, "tags written again", options, command.common.quiet);
    const size_t copyFailures =
        writeEach(run->toCopy, copyMp3Input, "copied as it is", options, command.common.quiet);
    size_t removed = 0;
    size_t removeFailures = 0;
    if (command.deleteOrphans) {
        const std::optional<std::vector<std::string>> orphans = orphansOf(*run, command);
        const std::vector<std::string> failures =
            orphans ? removeOutputs(*orphans, command.outDirectory) : std::vector<std::string>{};
        for (const std::string& failure : failures) {
            fail(failure);
        }
        removed = orphans ? orphans->size() - failures.size() : 0;
        removeFailures = orphans ? failures.size() : 1;
    }
    // Tracks by the format they got: a mono input may have taken the mono format.
    std::map<std::string, size_t> formats;
    bool monoDefault = false;
    for (const TrackOutcome& outcome : outcomes) {
        if (outcome.status == TrackOutcome::Status::Encoded ||
            outcome.status == TrackOutcome::Status::CutShort) {
            ++formats[outcome.formatDescription];
            monoDefault = monoDefault || outcome.formatIndex != options.formatIndex;
        }
    }
    std::string skippedText =
        (skipped > 0 ? std::to_string(skipped) + " skipped: exists (--overwrite replaces)" : std::string()) +
        syncText(run->toRetag.size() - retagFailures, removed) +
        lossyText(*run, run->toCopy.size() - copyFailures);
    skippedText.erase(0, skippedText.rfind("; ", 0) == 0 ? 2 : 0);
    if (!command.common.quiet && toWrite.empty() && !skippedText.empty()) {
        std::fprintf(stderr, "cvnhost: nothing to encode: %s\n", skippedText.c_str());
    } else if (!command.common.quiet &&
               (toWrite.size() > 1 || failed > 0 || monoDefault || !skippedText.empty())) {
        // "encoded as 128 kbit/s, stereo", or "encoded: 1 as VBR quality 2, mono, 10 as ...".
        std::string encodedAs = formats.size() > 1 ? ":" : "";
        for (const auto& [description, count] : formats) {
            encodedAs += (encodedAs.size() > 1 ? ", " : " ") +
                         (formats.size() > 1 ? std::to_string(count) + " as " : std::string("as ")) +
                         description;
        }
        if (formats.empty()) {
            encodedAs = " as " + describeEncoding(options.formatIndex, options.vbr);
        }
        std::fprintf(stderr, "cvnhost: %zu of %zu track(s) encoded%s%s%s%s%s\n", toWrite.size() - failed,
                     toWrite.size(), encodedAs.c_str(),
                     monoDefault ? " (mono inputs in the mono format; --stereo for two channels)" : "",
                     albumText(*run, outcomes).c_str(),
                     skippedText.empty() ? "" : ("; " + skippedText).c_str(),
                     failed > 0 ? "; see above for the rest" : "");
    }
    if (!run->unreadable.empty()) {
        fail(std::to_string(run->unreadable.size()) +
             " folder(s) or file(s) below the inputs could not be read (named above): the library was not "
             "read whole");
    }
    return failed + retagFailures + copyFailures + removeFailures + unwritable > 0 || !run->unreadable.empty()
               ? kExitFailure
               : 0;
}

// The encoder project's program's options for samples without a header.
void addRawOptions(CLI::App& command, EncodeCommand& encode) {
    command.add_flag("-r,--raw", encode.raw,
                     "The inputs are raw PCM samples without a header (as -s, --bitwidth, "
                     "--signed or --unsigned, --little-endian or --big-endian, --channels say)");
    command
        .add_option("-s,--sample-rate", encode.rawKiloHertz, "Sample rate of raw input in kHz (default 44.1)")
        ->check(CLI::Range(1.0, 768000.0));
    command.add_option("--bitwidth", encode.rawBits, "Bits of a raw input sample: 8, 16 (default), 24 or 32")
        ->check(CLI::IsMember({8, 16, 24, 32}));
    auto* isSigned = command.add_flag("--signed")->description("Raw input samples are signed (default)");
    auto* isUnsigned =
        command.add_flag("--unsigned", encode.rawUnsigned, "Raw input samples are unsigned (8-bit)");
    isSigned->excludes(isUnsigned);
    auto* little =
        command.add_flag("--little-endian")->description("Raw input samples are little-endian (default)");
    auto* big = command.add_flag("--big-endian", encode.rawBigEndian, "Raw input samples are big-endian");
    little->excludes(big);
    command.add_option("--channels", encode.rawChannels, "Channels of raw input: 1 or 2 (default)")
        ->check(CLI::IsMember({1, 2}));
}

// --- demo ---------------------------------------------------------------------------------

int runDemo(const CommonOptions& common, const std::string& output) {
    std::unique_ptr<PlugInHost> host = openPlugIn();
    if (!host) {
        return kExitFailure;
    }
    HKEY key = openSettingsKeyForEncoding(common);
    if (key == nullptr) {
        return kExitFailure;
    }
    EncodeOptions options;
    options.formatIndex = chosenFormat(common);
    options.vbr = storedVbrOf(key);
    options.settingsKey = key;
    options.id3v2 = !common.noId3v2;
    options.id3v2Version = common.id3v2Version == 4 ? Id3v2Version::V4 : Id3v2Version::V3;
    const std::optional<TrackTags> given = givenTags(common);
    if (!given) {
        return kExitFailure;
    }
    DemoSignal signal;
    const std::atomic<bool>& stop = stopOnInterrupt();
    const TrackOutcome outcome =
        encodeSource(*host, signal, mergeTags(*given, DemoSignal::tags()), output, options, stop, nullptr);
    RegCloseKey(key);
    if (outcome.status == TrackOutcome::Status::Failed) {
        fail(outcome.message);
        return kExitFailure;
    }
    std::printf("%s: %.2f s of the built-in signal as %s, %ju bytes\n", output.c_str(),
                static_cast<double>(outcome.framesEncoded) / CVN_PLUGIN_SAMPLE_RATE,
                outcome.formatDescription.c_str(), outcome.bytes);
    std::printf("tag: %s\n", tagSummary(outcome.tags).c_str());
    return outcome.status == TrackOutcome::Status::CutShort ? kExitInterrupted : 0;
}

// --- queries ------------------------------------------------------------------------------

int runFormats(bool inputs) {
    if (inputs) {
        for (const std::string& line : inputFormatLines()) {
            std::printf("%s\n", line.c_str());
        }
        return 0;
    }
    std::unique_ptr<PlugInHost> host = openPlugIn();
    if (!host) {
        return kExitFailure;
    }
    for (int32_t index = 0; index < CVN_FORMAT_COUNT; ++index) {
        const std::optional<CVN_FormatInfo> format = host->format(index);
        std::printf("%2d  %s\n", index, format ? format->description : "(the plug-in refuses it)");
    }
    return 0;
}

int runInfo() {
    std::unique_ptr<PlugInHost> host = openPlugIn();
    if (!host) {
        return kExitFailure;
    }
    const CVN_PlugInInfo info = host->info();
    std::printf("Name: %s\nFile type: %s\nFormats: %d\nSupport value: 0x%X\nPlug-in: %s\n", info.name,
                info.fileTypeText, info.formatCount, static_cast<unsigned>(host->supportInfo()),
                host->path().c_str());
    return 0;
}

int runAbout() {
    std::unique_ptr<PlugInHost> host = openPlugIn();
    if (!host) {
        return kExitFailure;
    }
    const std::vector<std::string> lines = aboutLines(*host);
    if (lines.empty()) {
        fail("the plug-in could not show its about box");
        return kExitFailure;
    }
    for (const std::string& line : lines) {
        std::printf("%s\n", line.c_str());
    }
    return 0;
}

// --- settings -----------------------------------------------------------------------------

struct SettingsCommand {
    std::string settingsKey = kDefaultSettingsKey;
    SettingsWords words;
};

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

} // namespace

int main(int argc, char** argv) {
    CLI::App app{"cvnhost: encodes audio files to MP3 through the Velmora plug-in.\n"
                 "Reads WAV, AIFF, FLAC, Ogg Vorbis, Opus, MP3 and more; converts any rate to 44100 Hz."};
    app.name("cvnhost");
    app.set_version_flag("--version", std::string("cvnhost ") + CVN_VERSION);
    app.require_subcommand(1);

    EncodeCommand encode;
    CLI::App* encodeApp = app.add_subcommand("encode", "Encode audio files to MP3");
    encodeApp->add_option(
        "files", encode.files,
        "INPUT OUTPUT, or INPUT... (files or folders) with --out-dir; - is standard input or "
        "output");
    encodeApp->add_option(
        "--manifest", encode.manifest,
        "Encode the tracks of FILE (- for standard input): JSON lines of input, output and tags");
    encodeApp
        ->add_option_function<std::string>(
            "--shard", [&](const std::string& text) { encode.shard = parseShard(text); },
            "Encode only shard K of N (K/N), a stable split of the tracks by their input paths (with "
            "--replaygain album, by album)")
        ->check([](const std::string& text) {
            return parseShard(text) ? std::string() : "must be K/N with 1 <= K <= N";
        });
    encodeApp->add_option(
        "--report", encode.report,
        "Write the result of each track to FILE as JSON lines (input, output, status, cause, "
        "seconds, bytes)");
    encodeApp->add_option("-o,--output", encode.output, "The output file of a single input");
    encodeApp->add_option("--out-dir", encode.outDirectory,
                          "Write INPUT... to DIR, each named after its input; a folder INPUT's audio files "
                          "go to the same tree under DIR");
    encodeApp
        ->add_option("--name", encode.nameTemplate,
                     "Name each output below --out-dir from its tags, such as "
                     "'%albumartist%/%album%/%disc%-%track% - %title%' (see the manual for the placeholders)")
        ->check([](const std::string& text) {
            std::string error;
            return checkNameTemplate(text, error) ? std::string() : error;
        });
    encodeApp->add_option("-j,--jobs", encode.jobs, "Tracks encoded at once (default: the number of cores)")
        ->check(wholeNumber)
        ->check(CLI::Range(1u, 256u));
    encodeApp->add_flag("-q,--quiet", encode.common.quiet, "No progress and no summary; errors still show");
    encodeApp
        ->add_option("--replaygain", encode.replayGain,
                     "track: measure each track's ReplayGain (EBU R 128, -18 LUFS) into its ID3v2 tag; "
                     "album: also the gain of each album (album artist and title, or MusicBrainz album id) "
                     "over all its tracks, which are then all encoded; "
                     "off (default): carry the input's ReplayGain values")
        ->check(CLI::IsMember({"track", "album", "off"}));
    encodeApp->add_flag("--overwrite", encode.overwrite,
                        "Replace existing outputs, each once its new file is complete (default: a batch "
                        "skips them, a single encode stops)");
    encodeApp->add_flag("--update", encode.update,
                        "Make again the outputs whose sources changed since (audio, tags, or this run's "
                        "settings); a change of tags alone writes the tags again");
    encodeApp->add_flag(
        "--delete", encode.deleteOrphans,
        "Remove the outputs under --out-dir that cvnhost made from a source that is no longer "
        "among the inputs, and the folders that leaves empty");
    encodeApp->add_flag(
        "--dry-run", encode.dryRun,
        "List what would be encoded, retagged and removed (encode, retag, remove), and do none "
        "of it");
    addRawOptions(*encodeApp, encode);
    encodeApp
        ->add_option(
            "--lossy", encode.lossy,
            "Inputs of a lossy codec (MP3, Vorbis, Opus, AAC, WMA, ...): encode (default: encode them "
            "again and say how many), copy (put MP3 inputs in place as they are) or skip (leave them "
            "out)")
        ->check(CLI::IsMember({"encode", "copy", "skip"}));
    encodeApp->add_flag("--keep-partial", encode.keepPartial,
                        "Keep a file cut short by Ctrl-C as NAME.partial.mp3, or NAME.partial-N.mp3 when "
                        "that name is taken (default: not written)");
    addFormatOptions(*encodeApp, encode.common);
    addTagOptions(*encodeApp, encode.common, "the input's own");
    encodeApp->footer("Examples:\n  cvnhost encode song.flac song.mp3\n"
                      "  cvnhost encode --out-dir mp3 -b 192 album/*.flac\n"
                      "  cvnhost encode --out-dir mp3 ~/Music/flac      (again later: only what is new)");

    CommonOptions demo;
    std::string demoOutput = "demo.mp3";
    CLI::App* demoApp = app.add_subcommand("demo", "Encode ten seconds of a built-in signal, with demo tags");
    demoApp->add_option("output", demoOutput, "The MP3 file to write")->default_val("demo.mp3");
    addFormatOptions(*demoApp, demo);
    addTagOptions(*demoApp, demo, "the demo's own");

    CLI::App* formatsApp =
        app.add_subcommand("formats", "List the 28 output formats as the plug-in describes them");
    bool formatInputs = false;
    formatsApp->add_flag("--inputs", formatInputs, "List the input formats this build reads instead");
    CLI::App* infoApp = app.add_subcommand("info", "Show what the plug-in says of itself");
    CLI::App* aboutApp =
        app.add_subcommand("about", "Show the about box's lines (the encoder library's versions)");

    SettingsCommand settings;
    CLI::App* settingsApp = app.add_subcommand(
        "settings",
        "Show the encoder settings as the Extended Settings dialog does; with options, change them there");
    settingsApp->add_option("--settings", settings.settingsKey, "Registry key under HKEY_CURRENT_USER")
        ->default_val(kDefaultSettingsKey);
    const auto onOffWords = CLI::IsMember({"on", "off"});
    settingsApp->add_option("--stereo-mode", settings.words.stereoMode, "joint or 2ch")
        ->check(CLI::IsMember({"joint", "2ch"}));
    settingsApp->add_option("--crc", settings.words.crc, "CRC checksums: on or off")->check(onOffWords);
    settingsApp->add_option("--copyright", settings.words.copyright, "Copyright bit: on or off")
        ->check(onOffWords);
    settingsApp->add_option("--original", settings.words.original, "Original bit: on or off")
        ->check(onOffWords);
    settingsApp->add_option("--private", settings.words.privateBit, "Private bit: on or off")
        ->check(onOffWords);
    settingsApp->add_option("--quality", settings.words.quality, "normal, low or high")
        ->check(CLI::IsMember({"normal", "low", "high"}));
    settingsApp->add_option("--vbr", settings.words.vbr, "off, or a VBR quality 0 (best) to 9")
        ->check(CLI::IsMember({"off", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9"}));

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

    cvnSetMessageBoxHandler(showMessageBox);
    // A file size limit then fails the write that passes it, which is reported, instead of
    // ending the process.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        if (*encodeApp) {
            return runEncode(encode);
        }
        if (*demoApp) {
            return runDemo(demo, demoOutput);
        }
        if (*formatsApp) {
            return runFormats(formatInputs);
        }
        if (*infoApp) {
            return runInfo();
        }
        if (*aboutApp) {
            return runAbout();
        }
        if (*settingsApp) {
            return runSettings(settings);
        }
    } catch (const std::filesystem::filesystem_error& error) {
        fail(error.path1().string() + ": " + error.code().message());
        return kExitFailure;
    } catch (const std::exception& error) {
        fail(error.what());
        return kExitFailure;
    }
    return kExitUsage;
}
