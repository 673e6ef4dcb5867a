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
    if (std::optional<SourceMarker> marker = currentMarkerOf(item)) {
        const std::optional<std::string> audio = audioDigestOf(item.input, error);
        if (!audio) {
            return false;
        }
        marker->audio = *audio;
        marker->tags = tagsDigest(tags);
        stampRunOf(*marker, item, options);
        setSourceMarker(tags, *marker);
    }
    fitCovers(tags, options.coverSize);
    return (!options.makeFolders || makeFoldersOf(item.output, error)) &&
           rewriteTags(item.input, item.output, tags, true, options.id3v2Version, error);
}

} // namespace cvnhost
