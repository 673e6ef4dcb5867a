#include "encoding/output_rewrites.h"

#include "audio/cover_scaling.h"
#include "planning/content_digest.h"
#include "files/file_io.h"
#include "planning/output_plan.h"
#include "planning/output_tags.h"
#include "tags/replay_gain.h"
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
#include <cstdio>
#include <cstring>
#include <filesystem>

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
        if (isReplayGainName(key)) {
            for (const TagLib::String& text : texts) {
                values[key].push_back(text.to8Bit(true));
            }
        }
    }
    return values;
}

// The folders that `path`'s removal left empty, up to `top` itself (rmdir keeps any that are not).
void removeFoldersLeftEmpty(const std::string& path, const fs::path& top) {
    for (fs::path folder = fs::absolute(path).lexically_normal().parent_path();
         folder != top && folder.string().size() > top.string().size() && rmdir(folder.c_str()) == 0;
         folder = folder.parent_path()) {
    }
}

// The output's marker as the run gives it now, its digests of the audio and the tags aside: the
// source's name, size, time and cover, and the run's settings (the same as the marker's, or a
// retag for new tag settings, as this version digests them). Nothing when either cannot be read.
std::optional<SourceMarker> renewedMarkerOf(const Track& item, const EncodeOptions& options) {
    std::optional<SourceMarker> marker = readMarker(item.output);
    const std::optional<SourceMarker> now = marker ? currentMarkerOf(item) : std::nullopt;
    if (!now) {
        return std::nullopt;
    }
    marker->source = item.source;
    marker->root = item.root;
    marker->size = now->size;
    marker->modified = now->modified;
    marker->cover = now->cover;
    stampRunOf(*marker, item, options);
    return marker;
}

} // namespace

bool retagOutput(const Track& item, const EncodeOptions& options, const TrackTags* measured,
                 std::string& error) {
    std::optional<SourceMarker> marker = renewedMarkerOf(item, options);
    if (!marker) {
        error = "cannot be read to write its tags again";
        return false;
    }
    const TrackTags inputTags = inputTagsOf(item);
    TrackTags tags = outputTagsOf(item, options.givenTags, inputTags);
    marker->tags = tagsDigest(tags);
    // The gain it was given stays, unless the run gives gains otherwise now: measured again, or
    // with --replaygain off the input's own, as an encode would.
    if (measured == nullptr || options.replayGain != ReplayGainMode::Off) {
        eraseReplayGain(tags);
        for (auto& [name, values] : measured != nullptr ? measured->more : replayGainOf(item.output)) {
            if (isReplayGainName(name)) {
                tags.more[name] = values;
            }
        }
    }
    setSourceMarker(tags, *marker);
    fitCovers(tags, options.coverSize);
    return rewriteTags(item.output, item.output, tags, false, options.id3v2Version, error);
}

bool updateMarkerOf(const Track& item, const EncodeOptions& options, std::string& error) {
    const std::optional<SourceMarker> marker = renewedMarkerOf(item, options);
    if (!marker) {
        error = "cannot be read to write its source marker again";
        return false;
    }
    return rewriteMarker(item.output, markerText(*marker), error);
}

Removal removeOutputs(const std::vector<std::string>& outputs, const std::string& outDirectory,
                      const std::atomic<bool>& stop) {
    Removal removal;
    const fs::path top = fs::absolute(outDirectory).lexically_normal();
    for (const std::string& output : outputs) {
        if (stop.load()) {
            ++removal.notStarted;
            continue;
        }
        if (unlink(output.c_str()) != 0) {
            if (errno != ENOENT) {
                removal.failures.push_back(output + ": cannot be removed: " + std::strerror(errno));
            }
            continue;
        }
        removal.removed.push_back(output);
        removeFoldersLeftEmpty(output, top);
    }
    return removal;
}

std::optional<std::string> stepAside(const std::string& path, std::string& error) {
    const fs::path at(path);
    for (int attempt = 1; attempt <= 100; ++attempt) {
        const fs::path aside = at.parent_path() / ("." + at.stem().string() + ".cvnhost-moving-" +
                                                   std::to_string(attempt) + at.extension().string());
        if (renameWithoutReplacing(path, aside.string())) {
            return aside.string();
        }
        if (errno != EEXIST) {
            break;
        }
    }
    error = std::string("cannot be moved out of the way: ") + std::strerror(errno);
    return std::nullopt;
}

bool moveOutput(const std::string& from, const std::string& to, const std::string& outDirectory,
                std::string& error, bool replacing) {
    if (!makeFoldersOf(to, error)) {
        return false;
    }
    if (replacing ? std::rename(from.c_str(), to.c_str()) != 0 : !renameWithoutReplacing(from, to)) {
        error = errno == EEXIST ? "is another file's: the output at " + from + " is not moved onto it"
                                : "cannot take the output at " + from + ": " + std::strerror(errno);
        return false;
    }
    removeFoldersLeftEmpty(from, fs::absolute(outDirectory).lexically_normal());
    return true;
}

} // namespace cvnhost
