#include "planning/lossy_input.h"

#include "planning/content_digest.h"
#include "planning/output_tags.h"
#include "audio/ffmpeg_module.h"
#include "files/file_io.h"
#include "tags/source_marker.h"
#include "tags/tag_rewrite.h"

#include <sndfile.h>

#include <filesystem>

namespace cvnhost {

std::optional<Lossiness> lossinessOf(const std::string& path) {
    // A FIFO or a device would block or be consumed: its track fails at its open, named.
    std::error_code typeError;
    if (!std::filesystem::is_regular_file(path, typeError)) {
        return std::nullopt;
    }
    SF_INFO info{};
    if (SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info)) {
        sf_close(file);
        const int subtype = info.format & SF_FORMAT_SUBMASK;
        const bool mp3 = subtype == SF_FORMAT_MPEG_LAYER_III;
        const bool lossy = mp3 || subtype == SF_FORMAT_MPEG_LAYER_I || subtype == SF_FORMAT_MPEG_LAYER_II ||
                           subtype == SF_FORMAT_VORBIS || subtype == SF_FORMAT_OPUS ||
                           subtype == SF_FORMAT_GSM610;
        if (info.channels <= 2) {
            return Lossiness{lossy, mp3};
        }
    }
    std::string error;
    const FfmpegModule* module = ffmpegModule(error);
    const std::optional<bool> lossy = module != nullptr ? module->isLossy(path) : std::nullopt;
    return lossy ? std::optional<Lossiness>(Lossiness{*lossy, false}) : std::nullopt;
}

bool copyMp3Input(const BatchItem& item, const EncodeOptions& options, std::string& error) {
    const TrackTags inputTags = inputTagsOf(item);
    TrackTags tags = outputTagsOf(item, options.givenTags, inputTags);
    if (std::optional<SourceMarker> marker = currentMarkerOf(item)) {
        const std::optional<std::string> audio = audioDigestOf(item.input, error);
        if (!audio) {
            return false;
        }
        marker->audio = *audio;
        marker->tags = tagsDigest(tags);
        marker->settings = options.settingsDigest;
        marker->tagging = options.taggingDigest;
        setSourceMarker(tags, *marker);
    }
    return (!options.makeFolders || makeFoldersOf(item.output, error)) &&
           rewriteTags(item.input, item.output, tags, true, options.id3v2Version, error);
}

} // namespace cvnhost
