#include "cli/encode_plan.h"

#include "cli/command_line.h"
#include "files/file_io.h"
#include "files/output_target.h"
#include "files/standard_streams.h"
#include "files/temporary_file.h"
#include "planning/album_identity.h"
#include "planning/library_sync.h"
#include "planning/lossy_input.h"
#include "planning/output_plan.h"
#include "planning/write_plan.h"
#include "planning/content_digest.h"
#include "tags/input_tags.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>

namespace cvnhost {

namespace {

// Whether the track's output is kept as it is: it exists, and --overwrite was not given.
bool outputKept(const BatchItem& item, const EncodeCommand& command) {
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

} // namespace

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
            item.inputTags = inputTagsOf(item);
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

std::optional<std::vector<std::string>> orphansOf(const RunTracks& run, const EncodeCommand& command) {
    if (const std::string refusal = deleteRefusal(run, command); !refusal.empty()) {
        fail("--delete removes nothing: " + refusal);
        return std::nullopt;
    }
    return orphanOutputs(command.outDirectory, run.allSources, run.allOutputs);
}

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

} // namespace cvnhost
