#include "cli/encode_command.h"

#include "cli/command_line.h"
#include "cli/encode_plan.h"
#include "cli/run_settings.h"
#include "cli/run_summary.h"
#include "audio/audio_input.h"
#include "encoding/batch.h"
#include "encoding/gain_measure.h"
#include "files/interrupt.h"
#include "encoding/playlist_sync.h"
#include "encoding/play_order.h"
#include "files/file_system.h"
#include "files/folder_order.h"
#include "files/output_device.h"
#include "encoding/progress.h"
#include "encoding/run_report.h"
#include "files/pending_output.h"
#include "files/standard_streams.h"
#include "encoding/mp3_copy.h"
#include "encoding/output_rewrites.h"
#include "planning/lossy_input.h"
#include "planning/output_name.h"
#include "planning/output_plan.h"
#include "planning/content_digest.h"
#include "tags/source_marker.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <cstdio>

namespace cvnhost {

namespace {

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

// Where the outputs go: one file, or a folder with names from the inputs or their tags.
void addOutputOptions(CLI::App* command, EncodeCommand& encode) {
    command->add_option("-o,--output", encode.output, "The output file of a single input");
    command->add_option("--out-dir", encode.outDirectory,
                        "Write INPUT... to DIR, each named after its input; a folder INPUT's audio files "
                        "go to the same tree under DIR");
    command
        ->add_option(
            "--name", encode.nameTemplate,
            "Name each output below --out-dir from its tags, such as "
            "'%albumartist%/%album%/%disc+-%%track% - %title%' (see the manual for the placeholders)")
        ->check([](const std::string& text) {
            std::string error;
            return checkNameTemplate(text, error) ? std::string() : error;
        });
}

// What a library kept in step asks of a run: what it replaces, updates, deletes and copies.
void addLibraryOptions(CLI::App* command, EncodeCommand& encode) {
    command->add_flag("--overwrite", encode.overwrite,
                      "Replace existing outputs, each once its new file is complete (default: a batch "
                      "skips them, a single encode stops)");
    command->add_flag("--update", encode.update,
                      "Make again the outputs whose sources changed since (audio, tags, or this run's "
                      "settings); a change of tags alone writes the tags again");
    command->add_flag("--delete", encode.deleteOrphans,
                      "Remove the outputs under --out-dir that cvnhost made from a source that is no longer "
                      "among the inputs, and the folders that leaves empty");
    command->add_flag(
        "--dry-run", encode.dryRun,
        "List what would be moved, encoded, retagged, marked, copied, written and removed (move, encode, "
        "retag, mark, copy, playlist, remove, remove stale temporary), end with the summary, and do none of "
        "it");
}

// What a device asks of the copy made for it: names, covers, play order, playlists, a mounted card.
void addDeviceOptions(CLI::App* command, EncodeCommand& encode) {
    command->add_flag("--fat-names", encode.fatNames,
                      "Names FAT and Windows take: no reserved DOS name (CON, PRN, AUX, NUL, COM1-9, "
                      "LPT1-9), a _ after one");
    command->add_flag("--ascii-names", encode.asciiNames,
                      "ASCII names for players that show no other letters, transliterated (Björk: Bjork)");
    command
        ->add_option("--name-max", encode.nameMax,
                     "Most characters of a file or folder name below --out-dir (default: what the "
                     "file system takes); longer ones are shortened, the extension kept")
        ->check(CLI::Range(size_t{8}, size_t{255}));
    command
        ->add_option("--path-max", encode.pathMax,
                     "Most characters of an output's path below --out-dir; longer ones are shortened")
        ->check(CLI::Range(size_t{16}, size_t{4096}));
    command
        ->add_option("--cover-size", encode.coverSize,
                     "Covers at most N pixels on their long side, as baseline JPEG (a cover that fits "
                     "is kept as it is)")
        ->check(CLI::Range(16, 4096));
    command->add_flag("--play-order", encode.playOrder,
                      "Keep the entries of each output folder in the order of their names, for players "
                      "that play in the order of the directory");
    command->add_flag("--playlists", encode.playlists,
                      "Write the .m3u and .m3u8 playlists of the input folders into the copy, each entry "
                      "naming its track's output");
    command->add_flag("--mounted", encode.mounted,
                      "Refuse the run unless --out-dir is a mounted file system of its own (a card or "
                      "stick), and stop writing when it is no longer there");
}

// What became of the outputs written without the plug-in.
struct StepCounts {
    size_t failed = 0;
    size_t notStarted = 0;     // left by a stop
    bool removalsLeft = false; // --delete: a stop came before the orphans were looked for
};

// Whether the track is not to be started: after a stop, or when the output's card is full or gone
// (said once, by the device); it is then marked so.
bool leftUnstarted(PlannedTrack& track, const std::atomic<bool>& stop, OutputDevice* device) {
    const std::string refusal = stop.load() ? std::string() : refusalOf(device);
    if (!stop.load() && refusal.empty()) {
        return false;
    }
    track.outcome.status = TrackOutcome::Status::NotStarted;
    track.outcome.message =
        "not started: " + (refusal.empty() ? std::string("stopped by the user") : refusal);
    return true;
}

// The outputs made without the plug-in: `write` for each track, which is then named with `what`
// ("tags written again", "copied as it is"), or its failure, kept in its outcome; after a stop, the
// rest is not started.
StepCounts writeEach(const std::vector<PlannedTrack*>& tracks,
                     const std::function<bool(const PlannedTrack&, std::string&)>& write, const char* what,
                     bool quiet, const std::atomic<bool>& stop, OutputDevice* device) {
    StepCounts counts;
    for (PlannedTrack* track : tracks) {
        const Track& item = track->item;
        std::string error;
        if (leftUnstarted(*track, stop, device)) {
            ++counts.notStarted;
        } else if (!write(*track, error)) {
            fail(item.output + " " + error);
            track->outcome.message = error;
            ++counts.failed;
        } else if (!quiet && what != nullptr) {
            std::fprintf(stderr, "%s -> %s (%s)\n", item.input.c_str(), item.output.c_str(), what);
        }
    }
    return counts;
}

// The ReplayGain a retag gives when the run's tag settings changed; null when the output's own stay.
const TrackTags* measuredOf(const PlannedTrack& track) {
    return track.newTagging ? &track.outcome.tags : nullptr;
}

// The tracks retagged because the run's tag settings changed, moved first or not.
std::vector<PlannedTrack*> retunedTracksOf(RunTracks& run) {
    std::vector<PlannedTrack*> tracks;
    for (PlannedTrack& track : run.tracks) {
        const bool retagged =
            track.action == PlannedTrack::Action::Retag ||
            (track.action == PlannedTrack::Action::Move && track.afterMove == PlannedTrack::Action::Retag);
        if (retagged && track.newTagging) {
            tracks.push_back(&track);
        }
    }
    return tracks;
}

// The output of a track put at its planned path, then retagged or marked as planned; false after
// naming the failure. `shownFrom` is where it stood when the run began.
bool moveThenWrite(PlannedTrack& track, const std::string& shownFrom, bool replacing,
                   const EncodeOptions& options, const EncodeCommand& command) {
    const Track& item = track.item;
    std::string error;
    const bool done = moveOutput(track.movedFrom, item.output, command.outDirectory, error, replacing) &&
                      (track.afterMove != PlannedTrack::Action::Retag ||
                       retagOutput(item, options, measuredOf(track), error)) &&
                      (track.afterMove != PlannedTrack::Action::Mark || updateMarkerOf(item, options, error));
    if (!done) {
        fail(item.output + " " + error);
        track.outcome.message = error;
    } else if (!command.common.quiet) {
        std::fprintf(stderr, "%s -> %s (moved%s)\n", shownFrom.c_str(), item.output.c_str(),
                     track.afterMove == PlannedTrack::Action::Retag ? ", tags written again" : "");
    }
    return done;
}

bool placeIsFree(const PlannedTrack* track) {
    std::error_code error;
    return !std::filesystem::exists(std::filesystem::symlink_status(track->item.output, error));
}

// Whether the place of the track's move holds an older output of another of the run's tracks,
// which no move takes away: that track is encoded anew elsewhere, and the file is left over. One
// that another shard's track claims is that shard's to move.
bool holdsLeftOverOutput(const PlannedTrack& track, const RunTracks& run) {
    const std::string& place = track.item.output;
    const std::optional<SourceMarker> marker = readMarker(place);
    return marker && run.allSources.holdsAnotherOutput(*marker, place, track.item) &&
           run.claims.byOtherShards.count(canonicalPathOf(place)) == 0;
}

bool isSameFile(const std::string& a, const std::string& b) {
    std::error_code error;
    return std::filesystem::equivalent(a, b, error);
}

// Of moves that each wait for a place another output holds, one whose output holds the place of
// another (outputs that swap names, or one renamed by case alone on FAT and exFAT) is moved out of
// the way; false when there is none, or it cannot be.
bool stepAsideOneOf(const std::vector<PlannedTrack*>& waiting) {
    for (PlannedTrack* track : waiting) {
        const bool inTheWay = std::any_of(waiting.begin(), waiting.end(), [&](const PlannedTrack* other) {
            return isSameFile(other->item.output, track->movedFrom);
        });
        std::string error;
        if (const std::optional<std::string> aside =
                inTheWay ? stepAside(track->movedFrom, error) : std::nullopt) {
            track->movedFrom = *aside;
            return true;
        }
        if (inTheWay) {
            fail(track->movedFrom + " " + error);
            return false;
        }
    }
    return false;
}

// The moves, before any encode, so that the folders they leave are no longer in the way. A move onto
// a name another output still holds waits until that one has moved; one whose place is held by a
// file that does not move is refused, named.
StepCounts moveEach(RunTracks& run, const EncodeOptions& options, const EncodeCommand& command,
                    RunCounts& counts, const std::atomic<bool>& stop) {
    std::vector<PlannedTrack*> waiting = run.tracksFor(PlannedTrack::Action::Move);
    std::map<const PlannedTrack*, std::string> shownFrom;
    for (const PlannedTrack* track : waiting) {
        shownFrom[track] = track->movedFrom;
    }
    StepCounts steps;
    while (!waiting.empty()) {
        auto ready = std::stable_partition(waiting.begin(), waiting.end(), placeIsFree);
        // None can go: each is tried, onto a left-over output of the run, else refused (or left by
        // the stop).
        const bool stuck = ready == waiting.begin() && (stop.load() || !stepAsideOneOf(waiting));
        if (stuck) {
            ready = waiting.end();
        }
        for (auto at = waiting.begin(); at != ready; ++at) {
            PlannedTrack* track = *at;
            const bool replacing = stuck && holdsLeftOverOutput(*track, run);
            if (leftUnstarted(*track, stop, options.device)) {
                ++steps.notStarted;
            } else if (moveThenWrite(*track, shownFrom[track], replacing, options, command)) {
                ++counts.moved;
            } else {
                ++steps.failed;
            }
        }
        waiting.erase(waiting.begin(), ready);
    }
    return steps;
}

// The digests of the run's settings that each output's source marker keeps: what changes the
// audio frames, and what changes only tags; the template changes only names, which a move mends.
void giveSettingsDigests(EncodeOptions& options, const EncodeCommand& command, HKEY key) {
    std::vector<std::string> audio = settingTexts(key);
    audio.insert(audio.end(), {"format=" + std::to_string(options.formatIndex),
                               "monoInputStaysMono=" + std::to_string(options.monoInputStaysMono)});
    std::vector<std::string> tagging = {"id3v2=" +
                                            std::to_string(options.id3v2 ? command.common.id3v2Version : 0),
                                        "replaygain=" + command.replayGain};
    if (command.coverSize > 0) { // added only when set: the outputs of earlier runs keep their digest
        tagging.push_back("cover=" + std::to_string(command.coverSize));
    }
    options.settingsDigest = settingsDigest(audio);
    options.taggingDigest = settingsDigest(tagging);
    audio.insert(audio.end(), tagging.begin(), tagging.end());
    options.legacySettingsDigest = settingsDigest(audio);
}

// How the run's tracks are encoded and tagged, from the options and the run's settings key.
EncodeOptions encodeOptionsFor(const EncodeCommand& command, const TrackTags& given, HKEY key,
                               bool manifest) {
    EncodeOptions options = encodeOptionsOf(command.common, key);
    options.monoInputStaysMono = !command.common.format && !command.common.mono && !command.common.stereo;
    options.givenTags = given;
    options.keepPartial = command.keepPartial;
    options.makeFolders = !command.outDirectory.empty() || manifest;
    options.replayGain = command.replayGain == "album"   ? ReplayGainMode::Album
                         : command.replayGain == "track" ? ReplayGainMode::Track
                                                         : ReplayGainMode::Off;
    options.coverSize = command.coverSize;
    giveSettingsDigests(options, command, key);
    if (command.raw) {
        // Given in kHz as the encoder project's program takes it (-s 44.1); a number of Hz is taken too.
        const double hertz = command.rawKiloHertz < 1000 ? command.rawKiloHertz * 1000 : command.rawKiloHertz;
        options.raw = RawFormat{static_cast<int>(std::lround(hertz)), command.rawChannels, command.rawBits,
                                !command.rawUnsigned, command.rawBigEndian};
    }
    return options;
}

// The checks of options that go together, which the parser cannot make.
bool optionsAgree(const EncodeCommand& command) {
    if (command.rawUnsigned && command.rawBits != 8) {
        fail("--unsigned takes 8-bit samples only (--bitwidth 8); wider raw samples are signed");
        return false;
    }
    if (command.playlists && command.shard) {
        // A playlist names tracks of every shard, and no shard knows which of the others' are made.
        fail("--playlists takes the whole library: run it without --shard (after the shards)");
        return false;
    }
    if (command.mounted && command.outDirectory.empty()) {
        fail("--mounted needs --out-dir DIR, the folder where the card is mounted");
        return false;
    }
    if (command.deleteOrphans && command.outDirectory.empty()) {
        fail("--delete needs --out-dir DIR, below which it removes the outputs whose sources are gone");
        return false;
    }
    return true;
}

// The tracks of --manifest, none without one; nothing after saying why.
std::optional<std::vector<ManifestEntry>> manifestOf(const EncodeCommand& command) {
    if (command.manifest.empty()) {
        return std::vector<ManifestEntry>{};
    }
    std::string error;
    std::optional<std::vector<ManifestEntry>> entries = readManifest(command.manifest, error);
    if (!entries) {
        fail(error);
    }
    return entries;
}

// What must be said before any work: folders that could not be read, names that do not say MP3, and
// an existing output of a single encode, which stops the run (false).
bool sayBeforeWork(const RunTracks& run, const EncodeCommand& command, bool batch) {
    for (const std::string& problem : run.unreadable) {
        fail(problem);
    }
    for (const std::string& note : run.notes) {
        warn(note);
    }
    for (const PlannedTrack* track : run.tracksFor(PlannedTrack::Action::Encode)) {
        const Track& item = track->item;
        if (!command.common.quiet && !isStandardStream(item.output) && !hasMp3Extension(item.output)) {
            warn(item.output + ": MP3 data under a name that does not end in .mp3 (players go by the name)");
        }
    }
    // An existing output is kept unless --overwrite: a batch skips it (a re-run encodes what is not
    // there yet), a single encode stops and says how to replace it.
    for (size_t i = 0; !batch && i < run.tracks.size(); ++i) {
        if (run.tracks[i].action == PlannedTrack::Action::Keep) {
            fail(run.tracks[i].item.output +
                 ": exists; --overwrite replaces it once the new file is complete");
            return false;
        }
    }
    return true;
}

// Encodes the tracks to encode, with the progress the run shows; each outcome goes to its track.
void encodeTracks(const PlugInHost& host, RunTracks& run, const EncodeOptions& options,
                  const EncodeCommand& command, const std::atomic<bool>& stop) {
    const std::vector<Track> items = run.itemsFor(PlannedTrack::Action::Encode);
    // Only the bar shows how far the whole batch has come, so only it needs the total up front.
    const Progress::Mode mode = Progress::modeFor(command.common.quiet);
    int64_t expectedFrames = 0;
    for (size_t i = 0; mode == Progress::Mode::Bar && i < items.size(); ++i) {
        expectedFrames += AudioInput::expectedFramesOf(items[i].input);
    }
    Progress progress(mode, items.size(), expectedFrames);
    std::vector<TrackOutcome> outcomes = encodeBatch(host, items, options, command.jobs, progress, stop);
    progress.close();
    const std::vector<PlannedTrack*> tracks = run.tracksFor(PlannedTrack::Action::Encode);
    for (size_t i = 0; i < tracks.size(); ++i) {
        tracks[i]->outcome = std::move(outcomes[i]);
    }
}

// After a stop: what was cut short, and what was not started.
int stoppedRun(const RunTracks& run, const EncodeCommand& command, const StepCounts& steps) {
    std::vector<std::string> cutShort;
    size_t notStarted = steps.notStarted;
    for (const PlannedTrack* track : run.tracksFor(PlannedTrack::Action::Encode)) {
        if (track->outcome.status == TrackOutcome::Status::CutShort) {
            cutShort.push_back(track->item.output);
        }
        notStarted += track->outcome.status == TrackOutcome::Status::NotStarted ? 1 : 0;
    }
    fail("stopped: " + std::to_string(cutShort.size()) + " file(s) cut short" +
         (command.keepPartial ? ", kept as .partial files" : ", not written") +
         " (no existing output was changed by them); what was done stays done" +
         (notStarted > 0
              ? "; " + std::to_string(notStarted) + " encode(s), retag(s), copies or removal(s) not started"
              : "") +
         (steps.removalsLeft ? "; --delete removed nothing" : ""));
    for (const std::string& output : cutShort) {
        std::fprintf(stderr, "  cut short: %s\n", output.c_str());
    }
    return kExitInterrupted;
}

// The retags, marker updates and copies, then the removals, each phase ended by a stop; the
// failures and what was not started.
StepCounts keepLibraryInStep(RunTracks& run, const EncodeOptions& options, const EncodeCommand& command,
                             RunCounts& counts, const std::atomic<bool>& stop) {
    const bool quiet = command.common.quiet;
    const std::vector<PlannedTrack*> retag = run.tracksFor(PlannedTrack::Action::Retag);
    const std::vector<PlannedTrack*> mark = run.tracksFor(PlannedTrack::Action::Mark);
    const std::vector<PlannedTrack*> copy = run.tracksFor(PlannedTrack::Action::Copy);
    const auto retagOne = [&](const PlannedTrack& track, std::string& error) {
        return retagOutput(track.item, options, measuredOf(track), error);
    };
    const auto markOne = [&](const PlannedTrack& track, std::string& error) {
        return updateMarkerOf(track.item, options, error);
    };
    const auto copyOne = [&](const PlannedTrack& track, std::string& error) {
        return copyMp3Input(track.item, options, error);
    };
    const StepCounts retagged = writeEach(retag, retagOne, "tags written again", quiet, stop, options.device);
    const StepCounts marked = writeEach(mark, markOne, nullptr, quiet, stop, options.device);
    const StepCounts copied = writeEach(copy, copyOne, "copied as it is", quiet, stop, options.device);
    counts.retagged = retag.size() - retagged.failed - retagged.notStarted;
    counts.copied = copy.size() - copied.failed - copied.notStarted;
    StepCounts all{retagged.failed + marked.failed + copied.failed,
                   retagged.notStarted + marked.notStarted + copied.notStarted, command.deleteOrphans};
    if (command.deleteOrphans && !stop.load() && refusalOf(options.device).empty()) {
        all.removalsLeft = false;
        const std::optional<Orphans> orphans = orphansOf(run, command);
        const Removal removal =
            orphans ? removeOutputs(orphans->outputs, command.outDirectory, stop) : Removal{};
        for (const std::string& output : quiet ? std::vector<std::string>{} : removal.removed) {
            std::fprintf(stderr, "%s (removed)\n", output.c_str());
        }
        counts.duplicatesRemoved = orphans && removal.notStarted == 0 ? orphans->duplicates : 0;
        for (const std::string& failure : removal.failures) {
            fail(failure);
        }
        counts.removed = removal.removed.size();
        all.failed += orphans ? removal.failures.size() : 1;
        all.notStarted += removal.notStarted;
    }
    if (command.playlists && !stop.load() && refusalOf(options.device).empty()) {
        const PlaylistRequest request{
            command.files,         command.outDirectory,   command.update || command.overwrite,
            command.deleteOrphans, run.unreadable.empty(), command.common.quiet};
        const PlaylistCounts playlists = syncPlaylists(run.tracks, request, stop);
        counts.playlists = playlists.written;
        counts.playlistsRemoved = playlists.removed;
        all.failed += playlists.failed;
    }
    return all;
}

size_t encodeFailuresOf(const RunTracks& run) {
    size_t failed = 0;
    for (const PlannedTrack* track : run.tracksFor(PlannedTrack::Action::Encode)) {
        const TrackOutcome::Status status = track->outcome.status;
        failed +=
            status == TrackOutcome::Status::Failed || status == TrackOutcome::Status::NotStarted ? 1 : 0;
    }
    return failed;
}

// The report, once what the run does is done.
bool writeRunReport(PendingOutput* report, const RunTracks& run) {
    std::string error;
    if (report != nullptr && !writeReport(*report, reportLines(run.tracks), error)) {
        fail(error);
        return false;
    }
    return true;
}

// The planned run, from the report and the last checks to the summary. A stop (SIGINT, SIGTERM,
// SIGHUP) ends each phase: the encodes, then the retags and copies, then the removals.
int runPlanned(const EncodeCommand& command, RunTracks& run, const EncodeOptions& options, HKEY key) {
    std::unique_ptr<PendingOutput> report;
    if (!command.report.empty()) {
        std::string error;
        report = PendingOutput::create(command.report, "", error);
        if (!report) {
            fail("--report " + command.report + " " + error);
            return kExitFailure;
        }
    }
    removeAbandonedTemporariesOf(run, command.report, command.common.quiet, command.dryRun);
    const size_t refused = nameRefusedMoves(run) + refuseUnwritableFolders(run);
    if (!command.raw) { // samples without a header are lossless, and have no codec to ask
        decideLossyInputs(run, command.lossy, typicalBitrateOf(options.formatIndex, options.vbr),
                          command.common.quiet);
    }
    if (command.dryRun) {
        const int shown = showPlan(run, command);
        return refused > 0 ? kExitFailure : shown;
    }
    RunCounts counts;
    (command.update ? counts.upToDate : counts.skipped) =
        run.count(PlannedTrack::Action::Keep) + run.count(PlannedTrack::Action::Mark);
    const std::atomic<bool>& stop = stopRequested();
    std::unique_ptr<PlugInHost> host = openPlugIn();
    if (!host) {
        return kExitFailure;
    }
    const FolderSet changedFolders =
        command.playOrder ? foldersChangedBy(run.tracks, command.outDirectory) : FolderSet{};
    measureGainsForRetag(retunedTracksOf(run), options, stop);
    const StepCounts moves = moveEach(run, options, command, counts, stop);
    encodeTracks(*host, run, options, command, stop);
    RegCloseKey(key);
    StepCounts steps = keepLibraryInStep(run, options, command, counts, stop);
    if (command.playOrder && !stop.load() && refusalOf(options.device).empty()) {
        steps.failed += putFoldersInPlayOrder(changedFolders, command.outDirectory, fail);
    }
    steps.failed += moves.failed;
    steps.notStarted += moves.notStarted;
    if (!writeRunReport(report.get(), run)) {
        return kExitFailure;
    }
    if (stop.load()) {
        return stoppedRun(run, command, steps);
    }
    const size_t failed = encodeFailuresOf(run);
    if (!command.common.quiet) {
        printRunSummary(run, options, counts, failed);
    }
    if (!run.unreadable.empty()) {
        fail(std::to_string(run.unreadable.size()) +
             " folder(s) or file(s) below the inputs could not be read (named above): the library was not "
             "read whole");
    }
    const bool deviceLost = !refusalOf(options.device).empty();
    return failed + steps.failed + refused > 0 || !run.unreadable.empty() || deviceLost ? kExitFailure : 0;
}

} // namespace

void addEncodeOptions(CLI::App* command, EncodeCommand& encode) {
    command->add_option(
        "--manifest", encode.manifest,
        "Encode the tracks of FILE (- for standard input): JSON lines of input, output and tags");
    command
        ->add_option_function<std::string>(
            "--shard", [&](const std::string& text) { encode.shard = parseShard(text); },
            "Encode only shard K of N (K/N), a stable split of the tracks by their input paths (with "
            "--replaygain album, by album)")
        ->check([](const std::string& text) {
            return parseShard(text) ? std::string() : "must be K/N with 1 <= K <= N";
        });
    command->add_option("--report", encode.report,
                        "Write the result of each track to FILE as JSON lines (input, output, status, cause, "
                        "seconds, bytes)");
    addOutputOptions(command, encode);
    command->add_option("-j,--jobs", encode.jobs, "Tracks encoded at once (default: the number of cores)")
        ->check(wholeNumber)
        ->check(CLI::Range(1u, 256u));
    command->add_flag("-q,--quiet", encode.common.quiet, "No progress and no summary; errors still show");
    command
        ->add_option("--replaygain", encode.replayGain,
                     "track: measure each track's ReplayGain (EBU R 128, -18 LUFS) into its ID3v2 tag; "
                     "album: also the gain of each album (album artist and title, or MusicBrainz album id) "
                     "over all its tracks, which are then all encoded; "
                     "off (default): carry the input's ReplayGain values")
        ->check(CLI::IsMember({"track", "album", "off"}));
    addLibraryOptions(command, encode);
    addDeviceOptions(command, encode);
    addRawOptions(*command, encode);
    command
        ->add_option(
            "--lossy", encode.lossy,
            "Inputs of a lossy codec (MP3, Vorbis, Opus, AAC, WMA, ...): encode (default: encode them "
            "again and say how many), copy (put MP3 inputs in place as they are), fit (copy an MP3 at "
            "or below this run's bitrate, encode one above it) or skip (leave them out)")
        ->check(CLI::IsMember({"encode", "copy", "fit", "skip"}));
    command->add_flag("--keep-partial", encode.keepPartial,
                      "Keep a file cut short by Ctrl-C as NAME.partial.mp3, or NAME.partial-N.mp3 when "
                      "that name is taken (default: not written)");
    addFormatOptions(*command, encode.common);
    addTagOptions(*command, encode.common, "the input's own");
}

CLI::App* addEncodeCommand(CLI::App& app, EncodeCommand& encode) {
    CLI::App* command = app.add_subcommand("encode", "Encode audio files to MP3");
    command->add_option("files", encode.files,
                        "INPUT OUTPUT, or INPUT... (files or folders) with --out-dir; - is standard input or "
                        "output");
    addEncodeOptions(command, encode);
    command->footer("Examples:\n  cvnhost encode song.flac song.mp3\n"
                    "  cvnhost encode --out-dir mp3 -b 192 album/*.flac\n"
                    "  cvnhost encode --out-dir mp3 ~/Music/flac      (again later: only what is new)");
    return command;
}

int runEncode(const EncodeCommand& command) {
    if (!optionsAgree(command)) {
        return kExitUsage;
    }
    if (command.mounted && !isMountPoint(command.outDirectory)) {
        fail("the card is not mounted at " + command.outDirectory + " (--mounted): nothing is written there");
        return kExitFailure;
    }
    // From the start: a stop while the run is planned (which writes nothing) ends it before any work.
    stopOnInterrupt();
    const std::optional<TrackTags> given = givenTags(command.common);
    if (!given) {
        return kExitFailure;
    }
    const std::optional<std::vector<ManifestEntry>> manifest = manifestOf(command);
    if (!manifest) {
        return kExitUsage;
    }
    HKEY key = openSettingsKeyOfThisRun(command.common);
    if (key == nullptr) {
        return kExitFailure;
    }
    EncodeOptions options = encodeOptionsFor(command, *given, key, !manifest->empty());
    std::optional<OutputDevice> device;
    if (!command.outDirectory.empty()) {
        options.device = &device.emplace(command.outDirectory, fail);
    }
    if (!command.outDirectory.empty() && !command.dryRun) {
        for (const std::string& problem : returnWaitingEntries(command.outDirectory)) {
            fail(problem);
        }
    }
    std::optional<RunTracks> run = planRun(command, *manifest, *given, options);
    if (!run) {
        return kExitUsage;
    }
    const bool batch = !command.outDirectory.empty() || !manifest->empty();
    if (!sayBeforeWork(*run, command, batch)) {
        return kExitFailure;
    }
    return runPlanned(command, *run, options, key);
}

} // namespace cvnhost
