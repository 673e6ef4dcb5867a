#include "planning/run_plan.h"

#include "files/file_system.h"
#include "files/standard_streams.h"
#include "planning/album_identity.h"
#include "planning/content_digest.h"
#include "planning/cover_folders.h"
#include "planning/library_sync.h"
#include "planning/output_index.h"
#include "planning/output_plan.h"
#include "planning/write_plan.h"
#include "tags/input_tags.h"
#include "tags/source_marker.h"

#include <algorithm>
#include <map>
#include <utility>

namespace cvnhost {

namespace {

// Whether the track's output is kept as it is: it exists, and --overwrite was not given.
bool outputKept(const Track& item, const RunRequest& request) {
    std::error_code typeError;
    return !request.overwrite && !isStandardStream(item.output) &&
           std::filesystem::is_regular_file(item.output, typeError);
}

// The name rules of the run's device: as the options ask, with the lengths the file system of
// --out-dir takes (or of the folder above it that exists).
NameRules nameRulesFor(const RunRequest& request) {
    NameRules rules;
    rules.fatNames = request.fatNames;
    rules.asciiNames = request.asciiNames;
    rules.pathMax = request.pathMax;
    if (const std::optional<FileSystemOf> system =
            request.outDirectory.empty() ? std::nullopt : fileSystemOf(request.outDirectory)) {
        rules.nameMax = system->nameMax;
        rules.units = system->units;
    }
    if (request.nameMax > 0) {
        rules.nameMax = std::min(rules.nameMax, request.nameMax);
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
OutputRequest outputRequestFor(const RunRequest& request, const std::vector<ManifestEntry>& manifest,
                               const TrackTags& given) {
    OutputRequest asked;
    asked.files = request.files;
    asked.manifest = manifest;
    asked.output = request.output;
    asked.outDirectory = request.outDirectory;
    asked.nameTemplate = request.nameTemplate;
    asked.givenTags = given;
    asked.inputTagsOf = inputTagsAt;
    asked.nameRules = nameRulesFor(request);
    asked.namesIn = namesInFolder;
    asked.markerOf = readMarker;
    return asked;
}

// What decides the action of a track with --update.
struct SyncContext {
    const RunRequest& request;
    const EncodeOptions& options;
    const RunSources& sources;
    std::optional<OutputIndex> index; // with --update into --out-dir: the outputs that stand elsewhere
    // The outputs claimed so, and the planned paths they move to (canonical), as RunTracks keeps them.
    OutputClaims claims;
    bool otherShard = false; // the track planned is another shard's: only its claim is kept
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
    case SyncAction::NotMade:
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
    (context.otherShard ? context.claims.byOtherShards : context.claims.byThisShard)
        .insert(canonicalPathOf(claimed->path));
    if (after == PlannedTrack::Action::Encode) {
        return {std::move(item), PlannedTrack::Action::Encode, {}, false, {}, {}};
    }
    context.claims.movedInto.insert(canonicalPathOf(item.output));
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

// A track whose planned path holds a file cvnhost did not make: that file stays, and so does the
// track's output where it stands, not moved onto it; the refusal names both.
PlannedTrack besideFileNotMade(Track item, SyncContext& context) {
    const std::optional<ClaimedOutput> claimed =
        context.index ? context.index->claimFor(item, context.sources) : std::nullopt;
    if (!claimed) {
        return {std::move(item), PlannedTrack::Action::Keep, {}, false, {}, {}};
    }
    PlannedTrack track;
    track.item = std::move(item);
    track.action = PlannedTrack::Action::Refuse;
    track.movedFrom = claimed->path;
    track.outcome.message = "is not cvnhost's, so the output of " + track.item.input + " stays at " +
                            claimed->path + " (rename or remove that file, then run again)";
    return track;
}

// What the run does to a track of its shard, albums aside: encode it when its output is missing
// (or to be overwritten), or with --update when its source changed; retag it when only its tags
// did; move it when it stands elsewhere; else keep it.
PlannedTrack firstActionFor(Track item, SyncContext& context) {
    const RunRequest& request = context.request;
    if (!outputKept(item, request)) {
        return request.update && !request.overwrite && !isStandardStream(item.output)
                   ? moveOrEncode(std::move(item), context)
                   : PlannedTrack{std::move(item), PlannedTrack::Action::Encode, {}, false, {}, {}};
    }
    if (request.update && !isStandardStream(item.output)) {
        const std::optional<SourceMarker> marker = readMarker(item.output);
        if (context.index && marker && context.sources.holdsAnotherOutput(*marker, item.output, item)) {
            return moveOrEncode(std::move(item), context); // that output moves away first
        }
        const SyncDecision sync = syncActionFor(item, context.options, marker);
        if (sync.action == SyncAction::NotMade) {
            return besideFileNotMade(std::move(item), context);
        }
        return {std::move(item), actionOfSync(sync.action), {}, sync.newTagging, {}, {}};
    }
    return {std::move(item), PlannedTrack::Action::Keep, {}, false, {}, {}};
}

// The output another shard's track takes, claimed in the order every shard plans it, so that each
// shard tells the outputs another moves, which are none of its orphans.
void claimForOtherShard(const Track& item, SyncContext& context) {
    const RunRequest& request = context.request;
    if (request.update && !request.overwrite && !isStandardStream(item.output) &&
        !outputKept(item, request)) {
        context.otherShard = true;
        moveOrEncode(item, context);
        context.otherShard = false;
    }
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
    const std::optional<Shard>& shard = context.request.shard;
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
        } else {
            claimForOtherShard(items[i], context);
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

std::optional<RunTracks> planTracks(const RunRequest& request, const std::vector<ManifestEntry>& manifest,
                                    const TrackTags& given, const EncodeOptions& options,
                                    std::string& usageError) {
    std::optional<PlannedTracks> planned =
        planOutputs(outputRequestFor(request, manifest, given), usageError);
    if (!planned) {
        return std::nullopt;
    }
    if (request.albumGain) {
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
    SyncContext context{request, options, run.allSources, std::nullopt, {}, false};
    if (request.update && !request.outDirectory.empty()) {
        context.index = OutputIndex::of(request.outDirectory, run.allSources);
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
    const WriteRules rules = {request.outDirectory, request.manifest, request.report, request.keepPartial};
    if (!planWrites(planned->tracks, written, rules, usageError)) {
        return std::nullopt;
    }
    for (size_t i = 0; i < tracks.size(); ++i) {
        if (tracks[i]) {
            tracks[i]->item.partial = planned->tracks[i].partial;
            run.tracks.push_back(std::move(*tracks[i]));
        }
    }
    run.claims = std::move(context.claims);
    run.unreadable = std::move(planned->unreadable);
    run.notes = std::move(planned->notes);
    return run;
}

} // namespace cvnhost
