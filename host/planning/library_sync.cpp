#include "planning/library_sync.h"

#include "planning/content_digest.h"
#include "planning/output_plan.h"
#include "tags/tag_rewrite.h"
#include "tags/source_marker.h"
#include "tags/taglib_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <taglib/id3v1genres.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace cvnhost {

namespace {

namespace fs = std::filesystem;

// The ReplayGain values an output carries, measured when it was encoded: a new tag keeps them.
std::map<std::string, std::vector<std::string>> replayGainOf(const std::string& path) {
    std::map<std::string, std::vector<std::string>> values;
    const std::unique_lock<std::mutex> tagLibTurn = lockTagLib();
    TagLib::MPEG::File file(path.c_str(), false);
    if (!file.isValid() || !file.hasID3v2Tag()) {
        return values;
    }
    for (const auto& [name, texts] : file.ID3v2Tag()->properties()) {
        const std::string key = name.to8Bit(true);
        if (key.rfind("REPLAYGAIN_", 0) == 0) {
            for (const TagLib::String& text : texts) {
                values[key].push_back(text.to8Bit(true));
            }
        }
    }
    return values;
}

} // namespace

SyncAction syncActionFor(const BatchItem& item, const std::string& settingsDigest) {
    const std::optional<SourceMarker> marker = readMarker(item.output);
    const std::optional<SourceMarker> now =
        marker ? sourceMarkerOf(item.input, marker->source) : std::nullopt;
    if (!now) {
        return SyncAction::Keep;
    }
    if (marker->settings != settingsDigest) {
        return SyncAction::Encode;
    }
    if (marker->size == now->size && marker->modified == now->modified) {
        return SyncAction::Keep;
    }
    std::string error;
    const std::optional<std::string> audio = audioDigestOf(item.input, error);
    if (!audio || *audio != marker->audio) {
        return SyncAction::Encode; // an input that cannot be read now fails there, named
    }
    // The tags, or only the time: either way the marker takes the source's time again, so that
    // the next run tells it unchanged from a stat.
    return SyncAction::Retag;
}

bool retagOutput(const BatchItem& item, const EncodeOptions& options, std::string& error) {
    const std::optional<SourceMarker> old = readMarker(item.output);
    const std::optional<SourceMarker> now = old ? sourceMarkerOf(item.input, old->source) : std::nullopt;
    if (!now) {
        error = "cannot be read to write its tags again";
        return false;
    }
    TrackTags tags = tagsGivenTo(item, options.givenTags);
    SourceMarker marker = *old;
    marker.size = now->size;
    marker.modified = now->modified;
    marker.tags = tagsDigest(tags);
    std::erase_if(tags.more, [](const auto& entry) { return entry.first.rfind("REPLAYGAIN_", 0) == 0; });
    for (auto& [name, values] : replayGainOf(item.output)) {
        tags.more[name] = std::move(values);
    }
    tags.more[kSourceMarkerName] = {markerText(marker)};
    return rewriteTags(item.output, item.output, tags, false, options.id3v2Version, error);
}

std::vector<std::string> orphanOutputs(const std::string& outDirectory, const std::set<std::string>& sources,
                                       const std::set<fs::path>& planned) {
    std::vector<std::string> orphans;
    std::error_code walkError;
    for (fs::recursive_directory_iterator entry(outDirectory, walkError), end; !walkError && entry != end;
         entry.increment(walkError)) {
        std::error_code typeError;
        if (!entry->is_regular_file(typeError) || entry->is_symlink(typeError) ||
            entry->path().extension() != ".mp3") {
            continue;
        }
        std::error_code canonicalError;
        if (planned.count(fs::weakly_canonical(entry->path(), canonicalError)) != 0) {
            continue;
        }
        if (const std::optional<SourceMarker> marker = readMarker(entry->path().string());
            marker && sources.count(marker->source) == 0) {
            orphans.push_back(entry->path().string());
        }
    }
    std::sort(orphans.begin(), orphans.end());
    return orphans;
}

std::vector<std::string> removeOutputs(const std::vector<std::string>& outputs,
                                       const std::string& outDirectory) {
    std::vector<std::string> failures;
    const fs::path top = fs::absolute(outDirectory).lexically_normal();
    for (const std::string& output : outputs) {
        if (unlink(output.c_str()) != 0) {
            failures.push_back(output + ": cannot be removed: " + std::strerror(errno));
            continue;
        }
        // The folders it leaves empty, up to the output folder itself (rmdir keeps any that are not).
        for (fs::path folder = fs::absolute(output).lexically_normal().parent_path();
             folder != top && folder.string().size() > top.string().size() && rmdir(folder.c_str()) == 0;
             folder = folder.parent_path()) {
        }
    }
    return failures;
}

} // namespace cvnhost
