#include "cli/encode_plan.h"

#include "cli/command_line.h"
#include "cli/run_summary.h"
#include "encoding/playlist_sync.h"
#include "files/file_io.h"
#include "files/output_target.h"
#include "files/standard_streams.h"
#include "files/temporary_file.h"
#include "planning/lossy_input.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <map>
#include <utility>

namespace cvnhost {

namespace {

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

// What the planner is asked, from the command line.
RunRequest runRequestOf(const EncodeCommand& command) {
    RunRequest request;
    request.files = command.files;
    request.output = command.output;
    request.outDirectory = command.outDirectory;
    request.nameTemplate = command.nameTemplate;
    request.manifest = command.manifest;
    request.report = command.report;
    request.shard = command.shard;
    request.keepPartial = command.keepPartial;
    request.overwrite = command.overwrite;
    request.update = command.update;
    request.albumGain = command.replayGain == "album";
    request.fatNames = command.fatNames;
    request.asciiNames = command.asciiNames;
    request.nameMax = command.nameMax;
    request.pathMax = command.pathMax;
    return request;
}

} // namespace

std::optional<RunTracks> planRun(const EncodeCommand& command, const std::vector<ManifestEntry>& manifest,
                                 const TrackTags& given, const EncodeOptions& options) {
    std::string usageError;
    std::optional<RunTracks> run = planTracks(runRequestOf(command), manifest, given, options, usageError);
    if (!run) {
        fail(usageError);
    }
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

size_t nameRefusedMoves(const RunTracks& run) {
    size_t count = 0;
    for (const PlannedTrack* track : run.tracksFor(PlannedTrack::Action::Refuse)) {
        if (!track->movedFrom.empty()) {
            fail(track->item.output + " " + track->outcome.message);
            ++count;
        }
    }
    return count;
}

size_t refuseUnwritableFolders(RunTracks& run) {
    // Each folder's tracks, and why access() refused it (a read-only file system is not a permission).
    std::map<std::filesystem::path, std::pair<size_t, int>> refused;
    for (PlannedTrack* track : run.tracksFor(PlannedTrack::Action::Encode)) {
        const std::filesystem::path folder = nearestFolderOf(track->item.output);
        if (!isStandardStream(track->item.output) && access(folder.c_str(), W_OK | X_OK) != 0) {
            refused.try_emplace(folder, 0, errno).first->second.first += 1;
            track->action = PlannedTrack::Action::Refuse;
            track->outcome.message = "its folder cannot be written";
        }
    }
    size_t count = 0;
    for (const auto& [folder, tracksAndCause] : refused) {
        const auto [tracks, cause] = tracksAndCause;
        fail(folder.string() + ": cannot be written (" + std::strerror(cause) + "): its " +
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
                        command.shard,        run.claims};
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
    for (const auto& [path, source] : orphans.notOwnMarkers) {
        warn(path + ": carries the source marker of " + source +
             ", but not the audio cvnhost wrote with it (its tag copied from another file?): not removed");
    }
    for (const std::string& problem : orphans.unreadable) {
        fail(problem);
    }
    if (!orphans.unreadable.empty()) {
        orphans.refusal = "not every folder and file below " + command.outDirectory + " could be read";
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
    const PlaylistCounts playlists =
        command.playlists
            ? listPlaylists(run.tracks,
                            {command.files, command.outDirectory, command.update || command.overwrite,
                             command.deleteOrphans, run.unreadable.empty(), command.common.quiet})
            : PlaylistCounts{};
    if (!command.common.quiet) {
        std::fflush(stdout);
        printPlanSummary(run, (orphans ? orphans->outputs.size() : 0) + playlists.removed, playlists.written);
    }
    return orphans ? 0 : kExitFailure;
}

} // namespace cvnhost
