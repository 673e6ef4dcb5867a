#include "encoding/mp3_copy.h"

#include "audio/cover_scaling.h"
#include "files/file_io.h"
#include "planning/content_digest.h"
#include "planning/output_tags.h"
#include "tags/source_marker.h"
#include "tags/tag_rewrite.h"

namespace cvnhost {

bool copyMp3Input(const Track& item, const EncodeOptions& options, std::string& error) {
    const TrackTags inputTags = inputTagsOf(item);
    TrackTags tags = outputTagsOf(item, options.givenTags, inputTags);
    std::optional<SourceMarker> marker = currentMarkerOf(item);
    if (marker) {
        const std::optional<std::string> audio = audioDigestOf(item.input, error);
        if (!audio) {
            // The output stands as it was; what failed is the input.
            error = "cannot be copied: " + item.input + " " + error;
            return false;
        }
        marker->audio = *audio;
        marker->tags = tagsDigest(tags);
        stampRunOf(*marker, item, options);
        setSourceMarker(tags, *marker);
    }
    fitCovers(tags, options.coverSize);
    if ((options.makeFolders && !makeFoldersOf(item.output, error)) ||
        !rewriteTags(item.input, item.output, tags, true, options.id3v2Version, error)) {
        return false;
    }
    // The length of its audio is known once the input's other tags are left behind.
    if (marker) {
        marker->audioBytes = audioBytesOf(item.output);
        return rewriteMarker(item.output, markerText(*marker), error);
    }
    return true;
}

} // namespace cvnhost
