#include "cli/encode_plan.h"

#include "cli/command_line.h"
#include "cli/run_summary.h"
#include "encoding/playlist_sync.h"
#include "files/file_io.h"
#include "files/file_system.h"
#include "files/output_target.h"
#include "files/standard_streams.h"
#include "files/temporary_file.h"
#include "planning/album_identity.h"
#include "planning/cover_folders.h"
#include "planning/library_sync.h"
#include "planning/lossy_input.h"
#include "planning/output_index.h"
#include "planning/output_plan.h"
#include "planning/write_plan.h"
#include "planning/content_digest.h"
#include "tags/input_tags.h"
#include "tags/source_marker.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <map>
#include <utility>

namespace cvnhost {

namespace {

// Whether the track's output is kept as it is: it exists, and --overwrite was not given.
bool outputKept(const Track& item, const EncodeCommand& command) {
    std::error_code typeError;
    return !command.overwrite && !isStandardStream(item.output) &&
           std::filesystem::is_regular_file(item.output, typeError);
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

// The folder a new file at `path` goes into, or the nearest one above it that exists.
std::filesystem::path nearestFolderOf(const std::string& path) {
    std::filesystem::path folder = std::filesystem::absolute(path).parent_path();
    std::error_code existsError;
    while (folder.has_relative_path() && !std::filesystem::exists(folder, existsError)) {
        folder = folder.parent_path();
    }
    return folder;
}

// The name rules of the run's device: as the options ask, with the lengths the file system of
// --out-dir takes (or of the folder above it that exists).
NameRules nameRulesFor(const EncodeCommand& command) {
    NameRules rules;
    rules.fatNames = command.fatNames;
    rules.asciiNames = command.asciiNames;
    rules.pathMax = command.pathMax;
    if (const std::optional<FileSystemOf> system =
            command.outDirectory.empty() ? std::nullopt : fileSystemOf(command.outDirectory)) {
        rules.nameMax = system->nameMax;
        rules.units = system->units;
    }
    if (command.nameMax > 0) {
        rules.nameMax = std::min(rules.nameMax, command.nameMax);
    }
    return rules;
}

std::vector<std::string> namesInFolder(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code error;
    for (std::filesystem::directory_iterator entry(folder, error), end; !error && entry != end;
         entry.increment(error)) {
        names.push_back(entry->path().filename().string());
    }
    return names;
}

// What the planner is asked: the inputs and where their outputs go, named for the run's device.
OutputRequest outputRequestFor(const EncodeCommand& command, const std::vector<ManifestEntry>& manifest,
                               const TrackTags& given) {
    OutputRequest request;
    request.files = command.files;
    request.manifest = manifest;
    request.output = command.output;
    request.outDirectory = command.outDirectory;
    request.nameTemplate = command.nameTemplate;
    request.givenTags = given;
    request.inputTagsOf = [](const std::string& input) { return readInputTags(input).value_or(TrackTags{}); };
    request.nameRules = nameRulesFor(command);
    request.namesIn = namesInFolder;
    request.markerOf = readMarker;
    return request;
}

// What decides the action of a track with --update.
struct SyncContext {
    const EncodeCommand& command;
    const EncodeOptions& options;
    const RunSources& sources;
    std::optional<OutputIndex> index; // with --update into --out-dir: the outputs that stand elsewhere
};

PlannedTrack::Action actionOfSync(SyncAction sync) {
    switch (sync) {
    case SyncAction::Encode:
        return PlannedTrack::Action::Encode;
    case SyncAction::Retag:
        return PlannedTrack::Action::Retag;
    case SyncAction::UpdateMarker:
        return PlannedTrack::Action::Mark;
    case SyncAction::Keep:
        break;
    }
    return PlannedTrack::Action::Keep;
}

// A track whose planned output is missing, while its output stands elsewhere: moved into place,
// then kept, retagged or marked as it would be there; encoded when its audio or settings changed.
PlannedTrack moveOrEncode(Track item, SyncContext& context) {
    const std::optional<ClaimedOutput> claimed =
        context.index ? context.index->claimFor(item, context.sources) : std::nullopt;
    if (!claimed) {
        return {std::move(item), PlannedTrack::Action::Encode, {}, false, {}, {}};
    }
    Track there = item;
    there.output = claimed->path;
    const SyncDecision sync = syncActionFor(there, context.options);
    PlannedTrack::Action after = actionOfSync(sync.action);
    if (after == PlannedTrack::Action::Encode) {
        return {std::move(item), PlannedTrack::Action::Encode, {}, false, {}, {}};
    }
    if (claimed->byAudio && after == PlannedTrack::Action::Keep) {
        after = PlannedTrack::Action::Mark; // the marker names the source by its new path
    }
    PlannedTrack track;
    track.item = std::move(item);
    track.action = PlannedTrack::Action::Move;
    track.newTagging = sync.newTagging;
    track.movedFrom = claimed->path;
    track.afterMove = after;
    return track;
}

// What the run does to a track of its shard, albums aside: encode it when its output is missing
// (or to be overwritten), or with --update when its source changed; retag it when only its tags
// did; move it when it stands elsewhere; else keep it.
PlannedTrack firstActionFor(Track item, SyncContext& context) {
    const EncodeCommand& command = context.command;
    if (!outputKept(item, command)) {
        return command.update && !command.overwrite && !isStandardStream(item.output)
                   ? moveOrEncode(std::move(item), context)
                   : PlannedTrack{std::move(item), PlannedTrack::Action::Encode, {}, false, {}, {}};
    }
    if (command.update && !isStandardStream(item.output)) {
        const SyncDecision sync = syncActionFor(item, context.options);
        return {std::move(item), actionOfSync(sync.action), {}, sync.newTagging, {}, {}};
    }
    return {std::move(item), PlannedTrack::Action::Keep, {}, false, {}, {}};
}

// With album gain, an album of which one track is retagged for the run's new tag settings is
// measured whole: each of its tracks is retagged so (a run stopped half-way left some done).
void measureAlbumsWhole(std::vector<std::optional<PlannedTrack>>& tracks) {
    using Action = PlannedTrack::Action;
    std::set<std::string> albums;
    for (const std::optional<PlannedTrack>& track : tracks) {
        if (track && track->newTagging && !track->item.album.empty() && track->action != Action::Encode) {
            albums.insert(track->item.album);
        }
    }
    for (std::optional<PlannedTrack>& track : tracks) {
        if (!track || track->action == Action::Encode || albums.count(track->item.album) == 0) {
            continue;
        }
        track->newTagging = true;
        if (track->action == Action::Move) {
            track->afterMove = Action::Retag;
        } else if (track->action != Action::Copy && track->action != Action::LeaveOut) {
            track->action = Action::Retag;
        }
    }
}

// The action of each planned track, nothing for those of other shards. An album is one unit: when
// any of its tracks is encoded, all are (counted in `encodedAgainForAlbum`).
std::vector<std::optional<PlannedTrack>> actionsOf(const std::vector<Track>& items, SyncContext& context,
                                                   size_t& encodedAgainForAlbum) {
    const std::optional<Shard>& shard = context.command.shard;
    std::vector<std::optional<PlannedTrack>> tracks(items.size());
    std::set<std::string> albumsToEncode;
    for (size_t i = 0; i < items.size(); ++i) {
        // With album gain an album is one unit: in one shard, measured whole.
        const std::string& shardKey = items[i].album.empty() ? items[i].input : items[i].album;
        if (!shard || belongsToShard(shardKey, *shard)) {
            tracks[i] = firstActionFor(items[i], context);
            if (tracks[i]->action == PlannedTrack::Action::Encode && !items[i].album.empty()) {
                albumsToEncode.insert(items[i].album);
            }
        }
    }
    for (std::optional<PlannedTrack>& track : tracks) {
        if (track && track->action != PlannedTrack::Action::Encode &&
            albumsToEncode.count(track->item.album) == 1) {
            track->action = PlannedTrack::Action::Encode;
            ++encodedAgainForAlbum;
        }
    }
    measureAlbumsWhole(tracks);
    return tracks;
}

// Each track's album, and the album's digest of its identity and its tracks' sources.
void giveAlbums(std::vector<Track>& items, const TrackTags& given) {
    std::map<std::string, std::vector<std::string>> members;
    for (Track& item : items) {
        item.album = albumIdentityOf(tagsGivenTo(item, given));
        members[item.album].push_back(item.root.value_or("") + "/" + item.source);
    }
    for (auto& [album, sources] : members) {
        std::sort(sources.begin(), sources.end());
        sources.insert(sources.begin(), album);
    }
    for (Track& item : items) {
        item.albumDigest = settingsDigest(members[item.album]);
    }
}

// The tracks with `action`, in their order, as pointers as const as `tracks`.
template <typename Tracks> auto tracksWith(Tracks& tracks, PlannedTrack::Action action) {
    std::vector<decltype(&tracks.front())> found;
    for (auto& track : tracks) {
        if (track.action == action) {
            found.push_back(&track);
        }
    }
    return found;
}

} // namespace

size_t RunTracks::count(PlannedTrack::Action action) const {
    return static_cast<size_t>(
        std::count_if(tracks.begin(), tracks.end(),
                      [action](const PlannedTrack& track) { return track.action == action; }));
}

std::vector<Track> RunTracks::itemsFor(PlannedTrack::Action action) const {
    std::vector<Track> items;
    for (const PlannedTrack* track : tracksFor(action)) {
        items.push_back(track->item);
    }
    return items;
}

std::vector<PlannedTrack*> RunTracks::tracksFor(PlannedTrack::Action action) {
    return tracksWith(tracks, action);
}

std::vector<const PlannedTrack*> RunTracks::tracksFor(PlannedTrack::Action action) const {
    return tracksWith(tracks, action);
}

std::optional<RunTracks> planTracks(const EncodeCommand& command, const std::vector<ManifestEntry>& manifest,
                                    const TrackTags& given, const EncodeOptions& options) {
    std::string usageError;
    const OutputRequest request = outputRequestFor(command, manifest, given);
    std::optional<PlannedTracks> planned = planOutputs(request, usageError);
    if (!planned) {
        fail(usageError);
        return std::nullopt;
    }
    if (command.replayGain == "album") {
        giveAlbums(planned->tracks, given);
    }
    giveCoverFolders(planned->tracks,
                     [&](const Track& item) { return albumIdentityOf(tagsGivenTo(item, given)); });
    RunTracks run;
    for (const Track& item : planned->tracks) {
        run.allSources.add(item);
        run.allOutputs.insert(canonicalPathOf(item.output));
        if (!isStandardStream(item.input)) {
            run.allInputs.insert(canonicalPathOf(item.input));
        }
    }
    SyncContext context{command, options, run.allSources, std::nullopt};
    if (command.update && !command.outDirectory.empty()) {
        context.index = OutputIndex::of(command.outDirectory, run.allOutputs);
    }
    std::vector<std::optional<PlannedTrack>> tracks =
        actionsOf(planned->tracks, context, run.encodedAgainForAlbum);
    // Every track's paths are checked, also those of other shards: two shards must not write one file.
    std::vector<size_t> written;
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (tracks[i] && (tracks[i]->action == PlannedTrack::Action::Encode ||
                          tracks[i]->action == PlannedTrack::Action::Move)) {
            written.push_back(i);
        }
    }
    const WriteRules rules = {command.outDirectory, command.manifest, command.report, command.keepPartial};
    if (!planWrites(planned->tracks, written, rules, usageError)) {
        fail(usageError);
        return std::nullopt;
    }
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (tracks[i]) {
            tracks[i]->item.partial = planned->tracks[i].partial;
            run.tracks.push_back(std::move(*tracks[i]));
        }
    }
    run.unreadable = std::move(planned->unreadable);
    run.notes = std::move(planned->notes);
    return run;
}

void removeAbandonedTemporariesOf(const RunTracks& run, const std::string& report, bool quiet, bool dryRun) {
    std::set<std::string> directories;
    const auto addFolderOf = [&](const std::string& path) {
        std::string ignored;
        const std::optional<OutputTarget> target = outputTargetOf(path, ignored);
        const std::string folder = std::filesystem::path(target ? target->path : path).parent_path().string();
        directories.insert(isStandardStream(path) ? temporaryDirectory() : folder.empty() ? "." : folder);
    };
    for (const PlannedTrack& track : run.tracks) {
        addFolderOf(track.item.output);
        if (isStandardStream(track.item.input)) {
            directories.insert(temporaryDirectory());
        }
    }
    if (!report.empty()) {
        addFolderOf(report);
    }
    for (const std::string& directory : directories) {
        const std::vector<std::string> abandoned = removeAbandonedTemporaries(directory, dryRun);
        for (const std::string& temporary : dryRun ? abandoned : std::vector<std::string>{}) {
            std::printf("remove stale temporary %s\n", temporary.c_str());
        }
        if (const size_t removed = abandoned.size(); removed > 0 && !quiet && !dryRun) {
            std::fprintf(stderr, "cvnhost: %s: removed %zu temporary file(s) left by runs that were killed\n",
                         directory.c_str(), removed);
        }
    }
}

size_t refuseUnwritableFolders(RunTracks& run) {
    std::map<std::filesystem::path, size_t> refused;
    for (PlannedTrack* track : run.tracksFor(PlannedTrack::Action::Encode)) {
        const std::filesystem::path folder = nearestFolderOf(track->item.output);
        if (!isStandardStream(track->item.output) && access(folder.c_str(), W_OK | X_OK) != 0) {
            ++refused[folder];
            track->action = PlannedTrack::Action::Refuse;
            track->outcome.message = "its folder cannot be written";
        }
    }
    size_t count = 0;
    for (const auto& [folder, tracks] : refused) {
        fail(folder.string() + ": cannot be written (" + std::strerror(EACCES) + "): its " +
             std::to_string(tracks) + " track(s) are not encoded");
        count += tracks;
    }
    return count;
}

void decideLossyInputs(RunTracks& run, const std::string& mode, int fitKbps, bool quiet) {
    for (PlannedTrack* track : run.tracksFor(PlannedTrack::Action::Encode)) {
        const std::string& input = track->item.input;
        const std::optional<Lossiness> lossiness =
            isStandardStream(input) ? std::nullopt : lossinessOf(input);
        if (!lossiness || !lossiness->lossy) {
            continue;
        }
        const bool fits = lossiness->mp3 && lossiness->kbps > 0 && lossiness->kbps <= fitKbps;
        if (mode == "skip") {
            track->action = PlannedTrack::Action::LeaveOut;
            track->outcome.message = "lossy (--lossy skip)";
            if (!quiet) {
                std::fprintf(stderr, "cvnhost: %s: lossy, left out (--lossy skip)\n", input.c_str());
            }
        } else if ((mode == "copy" && lossiness->mp3) || (mode == "fit" && fits)) {
            track->action = PlannedTrack::Action::Copy;
        } else {
            ++run.lossyEncoded;
        }
    }
}

std::optional<Orphans> orphansOf(const RunTracks& run, const EncodeCommand& command) {
    if (const std::string refusal = deleteRefusal(run, command); !refusal.empty()) {
        fail("--delete removes nothing: " + refusal);
        return std::nullopt;
    }
    OrphanSearch search{command.outDirectory, run.allSources, run.allOutputs, run.allInputs, {},
                        command.shard};
    for (const PlannedTrack* track : run.tracksFor(PlannedTrack::Action::Move)) {
        search.plannedOutputs.insert(canonicalPathOf(track->movedFrom)); // gone by then, but for a dry run
    }
    for (const std::string& input : command.files) {
        std::error_code error;
        if (!isStandardStream(input) && std::filesystem::is_directory(input, error)) {
            search.inputFolders.push_back(canonicalPathOf(input));
        }
    }
    Orphans orphans = findOrphans(search);
    for (const std::string& problem : orphans.unreadable) {
        fail(problem);
    }
    if (!orphans.unreadable.empty()) {
        orphans.refusal = "not every folder below " + command.outDirectory + " could be read";
    }
    if (!orphans.refusal.empty()) {
        fail("--delete removes nothing: " + orphans.refusal);
        return std::nullopt;
    }
    return orphans;
}

int showPlan(const RunTracks& run, const EncodeCommand& command) {
    const std::pair<PlannedTrack::Action, const char*> kinds[] = {{PlannedTrack::Action::Encode, "encode"},
                                                                  {PlannedTrack::Action::Retag, "retag"},
                                                                  {PlannedTrack::Action::Mark, "mark"},
                                                                  {PlannedTrack::Action::Copy, "copy"}};
    for (const PlannedTrack* track : run.tracksFor(PlannedTrack::Action::Move)) {
        std::printf("move %s -> %s\n", track->movedFrom.c_str(), track->item.output.c_str());
    }
    for (const auto& [action, word] : kinds) {
        for (const PlannedTrack* track : run.tracksFor(action)) {
            std::printf("%s %s -> %s\n", word, track->item.input.c_str(), track->item.output.c_str());
        }
    }
    const std::optional<Orphans> orphans = command.deleteOrphans ? orphansOf(run, command) : Orphans{};
    for (const std::string& orphan : orphans ? orphans->outputs : std::vector<std::string>{}) {
        std::printf("remove %s\n", orphan.c_str());
    }
    if (command.playlists) {
        listPlaylists(run.tracks, {command.files, command.outDirectory, command.update || command.overwrite,
                                   command.deleteOrphans, run.unreadable.empty(), command.common.quiet});
    }
    if (!command.common.quiet) {
        std::fflush(stdout);
        printPlanSummary(run, orphans ? orphans->outputs.size() : 0);
    }
    return orphans ? 0 : kExitFailure;
}

} // namespace cvnhost
