#include "encoding/playlist_sync.h"

#include "files/file_io.h"
#include "files/output_target.h"
#include "files/pending_output.h"
#include "files/standard_streams.h"
#include "encoding/output_rewrites.h"
#include "planning/orphan_search.h"
#include "planning/playlists.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

namespace cvnhost {

namespace {

namespace fs = std::filesystem;

struct FoundPlaylist {
    fs::path path;     // below its input folder, as found
    fs::path copyPath; // at the same place below --out-dir
    PlaylistIdentity identity;
};

// The playlists of the input folders, and whether every folder could be read.
struct PlaylistsFound {
    std::vector<FoundPlaylist> playlists;
    std::vector<fs::path> inputFolders; // canonical
    bool readWhole = true;
};

// One input folder being read as the audio walk reads it: links to folders followed, each real
// folder once, hidden names and the output tree (an --out-dir inside it) left out.
struct FolderWalk {
    fs::path root;
    std::string rootName;
    fs::path outDirectory;
    std::set<fs::path> read;
    PlaylistsFound& found;
};

void walkFolder(FolderWalk& walk, const fs::path& folder);

void walkSubfolders(FolderWalk& walk, std::vector<fs::path>& real, std::vector<fs::path>& links) {
    std::sort(real.begin(), real.end());
    std::sort(links.begin(), links.end());
    real.insert(real.end(), links.begin(), links.end()); // a link to a folder read is the one left out
    for (const fs::path& subfolder : real) {
        std::error_code sameError;
        if (!fs::equivalent(subfolder, walk.outDirectory, sameError)) {
            walkFolder(walk, subfolder);
        }
    }
}

void walkFolder(FolderWalk& walk, const fs::path& folder) {
    std::error_code error;
    const fs::path real = fs::canonical(folder, error);
    if (!error && !walk.read.insert(real).second) {
        return;
    }
    std::vector<fs::path> subfolders;
    std::vector<fs::path> links;
    fs::directory_iterator entry(folder, error);
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
        const fs::path& path = entry->path();
        std::error_code typeError;
        if (path.filename().string().starts_with(".")) {
            continue;
        }
        if (entry->is_directory(typeError)) {
            (entry->is_symlink(typeError) ? links : subfolders).push_back(path);
        } else if (isPlaylistName(path) && entry->is_regular_file(typeError)) {
            const fs::path relative = path.lexically_relative(walk.root);
            walk.found.playlists.push_back(
                {path, walk.outDirectory / relative, {walk.rootName, relative.generic_string()}});
        }
    }
    walk.found.readWhole = walk.found.readWhole && !error;
    walkSubfolders(walk, subfolders, links);
}

// In the order of their paths. Without --out-dir there is no copy, and no folder among the inputs.
PlaylistsFound playlistsOf(const PlaylistRequest& request) {
    PlaylistsFound found;
    for (const std::string& input :
         request.outDirectory.empty() ? std::vector<std::string>{} : request.inputs) {
        std::error_code error;
        if (isStandardStream(input) || !fs::is_directory(input, error)) {
            continue;
        }
        found.inputFolders.push_back(canonicalPathOf(input));
        FolderWalk walk{
            input, found.inputFolders.back().filename().string(), request.outDirectory, {}, found};
        walkFolder(walk, input);
    }
    std::sort(found.playlists.begin(), found.playlists.end(),
              [](const FoundPlaylist& a, const FoundPlaylist& b) { return a.path < b.path; });
    return found;
}

// The outputs (absolute) in the copy by their inputs (canonical): as planned, or, after the run,
// those that stand there (not a track left out, refused, or whose encode failed).
std::map<fs::path, fs::path> outputsInCopy(const std::vector<PlannedTrack>& tracks, bool asPlanned) {
    using Action = PlannedTrack::Action;
    std::map<fs::path, fs::path> outputs;
    for (const PlannedTrack& track : tracks) {
        const Track& item = track.item;
        std::error_code error;
        const bool there =
            asPlanned ||
            ((track.action != Action::Encode || track.outcome.status == TrackOutcome::Status::Encoded) &&
             fs::is_regular_file(item.output, error));
        if (there && track.action != Action::LeaveOut && track.action != Action::Refuse &&
            !isStandardStream(item.input) && !isStandardStream(item.output)) {
            outputs.emplace(canonicalPathOf(item.input), fs::absolute(item.output).lexically_normal());
        }
    }
    return outputs;
}

std::optional<std::string> textOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return in.bad() || !in.is_open() ? std::nullopt : std::optional(std::move(text));
}

// What the run does with a playlist found: write it; leave it, as the copy holds it already, as
// the run does not rewrite (no --update), or as what stands there is not cvnhost's (`problem`
// says what); or refuse it (`problem`, a failure).
enum class Step { Write, Same, Kept, LeftAlone, Refused };

struct PlannedPlaylist {
    FoundPlaylist found;
    RewrittenPlaylist rewritten;
    Step step = Step::Refused;
    std::string problem;
};

// The playlists found and what the run does with each; `guard` holds what it may never write over
// nor remove: the playlists found, and what is below an input folder but not in the output tree.
struct PlaylistPlan {
    PlaylistsFound found;
    OrphanSearch guard;
    std::vector<PlannedPlaylist> playlists;
};

// What stands at the playlist's place in the copy decides its step.
void decideStep(PlannedPlaylist& planned, const PlaylistRequest& request, const OrphanSearch& guard) {
    const std::string copy = planned.found.copyPath.string();
    std::string error;
    const std::optional<OutputTarget> target = outputTargetOf(copy, error);
    if (!target) {
        planned.problem = copy + ": " + error;
        return;
    }
    if (isProtected(canonicalPathOf(target->path), guard)) {
        planned.step = Step::LeftAlone;
        planned.problem = copy + ": a file of the inputs stands there: left as it is";
        return;
    }
    if (!target->exists) {
        planned.step = Step::Write;
        return;
    }
    const std::optional<std::string> there = textOf(target->path);
    if (!there) {
        planned.problem = copy + ": cannot be read: " + std::strerror(errno);
    } else if (!playlistMarkerIn(*there)) {
        planned.step = Step::LeftAlone;
        planned.problem = copy + ": a playlist cvnhost did not write stands there: left as it is";
    } else {
        planned.step = *there == planned.rewritten.text ? Step::Same
                       : request.rewrite                ? Step::Write
                                                        : Step::Kept;
    }
}

PlannedPlaylist planPlaylist(const FoundPlaylist& found, const OutputLookup& lookup,
                             const PlaylistRequest& request, const OrphanSearch& guard) {
    PlannedPlaylist planned{found, {}, Step::Refused, {}};
    const std::optional<std::string> text = textOf(found.path);
    if (!text) {
        planned.problem = found.path.string() + ": cannot be read: " + std::strerror(errno);
        return planned;
    }
    planned.rewritten = rewritePlaylist(*text, found.identity, fs::absolute(found.path).parent_path(), lookup,
                                        fs::absolute(found.copyPath).parent_path().lexically_normal());
    decideStep(planned, request, guard);
    return planned;
}

PlaylistPlan planPlaylists(const std::vector<PlannedTrack>& tracks, const PlaylistRequest& request,
                           bool asPlanned) {
    PlaylistPlan plan{playlistsOf(request), {request.outDirectory, {}, {}, {}, {}, std::nullopt, {}}, {}};
    plan.guard.inputFolders = plan.found.inputFolders;
    for (const FoundPlaylist& found : plan.found.playlists) {
        plan.guard.inputFiles.insert(canonicalPathOf(found.path));
    }
    const std::map<fs::path, fs::path> outputs = outputsInCopy(tracks, asPlanned);
    const OutputLookup lookup = [&](const fs::path& input) -> std::optional<fs::path> {
        const auto found = outputs.find(canonicalPathOf(input));
        return found == outputs.end() ? std::nullopt : std::optional(found->second);
    };
    std::map<fs::path, fs::path> places; // two input folders may hold a playlist at one place
    for (const FoundPlaylist& found : plan.found.playlists) {
        const auto [taken, fresh] = places.emplace(canonicalPathOf(found.copyPath), found.path);
        plan.playlists.push_back(planPlaylist(found, lookup, request, plan.guard));
        if (!fresh) {
            plan.playlists.back().step = Step::Refused;
            plan.playlists.back().problem =
                found.path.string() + ": goes where " + taken->second.string() + " goes: not written";
        }
    }
    return plan;
}

// "PLAYLIST: 3 entries, 1 left out (not in the copy)", for a playlist written or one that lacks
// tracks; what keeps a playlist from being written.
void sayPlanned(const PlannedPlaylist& planned, bool written, bool quiet) {
    const std::string copy = planned.found.copyPath.string();
    if (planned.step == Step::Refused) {
        std::fprintf(stderr, "cvnhost: %s\n", planned.problem.c_str());
    } else if (quiet) {
        return;
    } else if (planned.step == Step::LeftAlone) {
        std::fprintf(stderr, "cvnhost: %s\n", planned.problem.c_str());
    } else if (written || planned.rewritten.leftOut > 0) {
        std::fprintf(stderr, "%s: %zu entries, %zu left out (not in the copy)\n", copy.c_str(),
                     planned.rewritten.entries, planned.rewritten.leftOut);
    }
}

bool writePlaylist(const PlannedPlaylist& planned, std::string& error) {
    const std::string copy = planned.found.copyPath.string();
    if (!makeFoldersOf(copy, error)) {
        return false;
    }
    std::unique_ptr<PendingOutput> pending = PendingOutput::create(copy, "", error);
    if (!pending) {
        return false;
    }
    const std::string& text = planned.rewritten.text;
    std::FILE* file = std::fopen(pending->temporaryPath().c_str(), "wb");
    bool written = file != nullptr && std::fwrite(text.data(), 1, text.size(), file) == text.size();
    written = file != nullptr && std::fclose(file) == 0 && written;
    if (!written) {
        error = std::string("could not be written: ") + std::strerror(errno);
        return false;
    }
    return pending->commit(error);
}

// The playlist files below the copy, links not followed; false when a folder cannot be read.
bool walkCopy(const fs::path& folder, std::vector<fs::path>& playlists) {
    std::vector<std::string> unreadable;
    walkFilesBelow(
        folder, isPlaylistName, [&](const fs::path& path) { playlists.push_back(path); }, unreadable);
    return unreadable.empty();
}

// Why no playlist may be removed: an input or a folder that could not be read would make its
// playlists look gone. Empty when said already (the removal of the outputs says it for the inputs).
std::optional<std::string> removalRefusal(const PlaylistPlan& plan, const PlaylistRequest& request) {
    for (const std::string& input : request.inputs) {
        std::error_code error;
        if (!isStandardStream(input) && !fs::exists(input, error)) {
            return std::string();
        }
    }
    if (!request.inputsReadWhole) {
        return std::string();
    }
    if (!plan.found.readWhole) {
        return "not every folder of the inputs could be read";
    }
    return std::nullopt;
}

// The playlists of cvnhost's in `inCopy` whose source is none of the playlists found, by their
// paths (sorted), with the sources their markers name.
std::map<std::string, PlaylistIdentity> markedGone(const PlaylistPlan& plan,
                                                   const std::vector<fs::path>& inCopy) {
    std::set<PlaylistIdentity> sources;
    std::set<fs::path> places;
    for (const FoundPlaylist& found : plan.found.playlists) {
        sources.insert(markedIdentityOf(found.identity));
        places.insert(canonicalPathOf(found.copyPath));
    }
    std::map<std::string, PlaylistIdentity> gone;
    for (const fs::path& path : inCopy) {
        const fs::path real = canonicalPathOf(path);
        if (places.count(real) != 0 || isProtected(real, plan.guard)) {
            continue;
        }
        const std::optional<std::string> text = textOf(path);
        const std::optional<PlaylistIdentity> source = text ? playlistMarkerIn(*text) : std::nullopt;
        if (source && sources.count(*source) == 0) {
            gone.emplace(path.string(), *source);
        }
    }
    return gone;
}

// A folder that held the source of a playlist gone and is empty now: more likely a disk not mounted
// than playlists deleted, which take their folder with them. A forged source is not followed.
std::optional<std::string> emptySourceFolder(const std::map<std::string, PlaylistIdentity>& gone,
                                             const std::vector<fs::path>& inputFolders) {
    for (const auto& [path, identity] : gone) {
        const fs::path source(identity.source);
        if (source.is_absolute() || source.lexically_normal() != source || source.parent_path().empty() ||
            *source.begin() == "..") {
            continue;
        }
        for (const fs::path& input : inputFolders) {
            const fs::path folder = input / source.parent_path();
            std::error_code error;
            if (input.filename() == identity.root && fs::is_directory(folder, error) &&
                fs::is_empty(folder, error) && !error) {
                return folder.string() + " is empty, but held the source of " + path +
                       " (a disk not mounted?)";
            }
        }
    }
    return std::nullopt;
}

// The playlists to remove, sorted; nothing when that cannot be told, after saying why (a failure)
// unless that was said already.
std::optional<std::vector<std::string>> playlistsGone(const PlaylistPlan& plan,
                                                      const PlaylistRequest& request, size_t& failed) {
    std::optional<std::string> refusal = removalRefusal(plan, request);
    std::vector<fs::path> inCopy;
    if (!refusal && !walkCopy(request.outDirectory, inCopy)) {
        refusal = "not every folder below " + request.outDirectory + " could be read";
    }
    const std::map<std::string, PlaylistIdentity> gone =
        refusal ? decltype(gone){} : markedGone(plan, inCopy);
    refusal = refusal ? refusal : emptySourceFolder(gone, plan.found.inputFolders);
    if (refusal) {
        if (!refusal->empty()) {
            std::fprintf(stderr, "cvnhost: --delete removes no playlist: %s\n", refusal->c_str());
            ++failed;
        }
        return std::nullopt;
    }
    std::vector<std::string> paths;
    for (const auto& [path, identity] : gone) {
        paths.push_back(path);
    }
    return paths;
}

} // namespace

PlaylistCounts syncPlaylists(const std::vector<PlannedTrack>& tracks, const PlaylistRequest& request,
                             const std::atomic<bool>& stop) {
    const PlaylistPlan plan = planPlaylists(tracks, request, false);
    PlaylistCounts counts;
    for (const PlannedPlaylist& planned : plan.playlists) {
        std::string error;
        if (stop.load()) {
            return counts;
        }
        if (planned.step == Step::Write && !writePlaylist(planned, error)) {
            std::fprintf(stderr, "cvnhost: %s %s\n", planned.found.copyPath.c_str(), error.c_str());
            ++counts.failed;
            continue;
        }
        counts.written += planned.step == Step::Write ? 1 : 0;
        counts.failed += planned.step == Step::Refused ? 1 : 0;
        sayPlanned(planned, planned.step == Step::Write, request.quiet);
    }
    const std::optional<std::vector<std::string>> gone =
        request.removeGone ? playlistsGone(plan, request, counts.failed) : std::vector<std::string>{};
    if (!gone) {
        return counts;
    }
    const Removal removal = removeOutputs(*gone, request.outDirectory, stop);
    for (const std::string& failure : removal.failures) {
        std::fprintf(stderr, "cvnhost: %s\n", failure.c_str());
    }
    counts.removed = removal.removed.size();
    counts.failed += removal.failures.size();
    return counts;
}

PlaylistCounts listPlaylists(const std::vector<PlannedTrack>& tracks, const PlaylistRequest& request) {
    const PlaylistPlan plan = planPlaylists(tracks, request, true);
    PlaylistCounts counts;
    for (const PlannedPlaylist& planned : plan.playlists) {
        if (planned.step == Step::Write) {
            std::printf("playlist %s\n", planned.found.copyPath.c_str());
            ++counts.written;
        }
        std::fflush(stdout);
        sayPlanned(planned, planned.step == Step::Write, request.quiet);
    }
    size_t failed = 0;
    const std::optional<std::vector<std::string>> gone =
        request.removeGone ? playlistsGone(plan, request, failed) : std::vector<std::string>{};
    for (const std::string& path : gone.value_or(std::vector<std::string>{})) {
        std::printf("remove %s\n", path.c_str());
        ++counts.removed;
    }
    counts.failed = failed;
    return counts;
}

} // namespace cvnhost
