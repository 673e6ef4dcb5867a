#include "planning/output_tags.h"

#include "files/standard_streams.h"
#include "planning/content_digest.h"
#include "tags/folder_cover.h"

namespace cvnhost {

TrackTags outputTagsOf(const Track& item, const TrackTags& given, const TrackTags& inputTags) {
    TrackTags tags = tagsGivenTo(item, given, inputTags);
    if (tags.pictures.empty() && !isStandardStream(item.input)) {
        if (std::optional<Picture> cover = folderCoverIn(coverFolderOf(item))) {
            tags.pictures.push_back(std::move(*cover));
        }
    }
    return tags;
}

std::filesystem::path coverFolderOf(const Track& item) {
    return item.coverFolder.empty() ? folderOf(item.input) : std::filesystem::path(item.coverFolder);
}

std::optional<SourceMarker> currentMarkerOf(const Track& item) {
    return sourceMarkerOf(item.input, item.source, item.root, coverFolderOf(item));
}

void setSourceMarker(TrackTags& tags, const SourceMarker& marker) {
    tags.more[kSourceMarkerName] = {markerText(marker)};
}

} // namespace cvnhost
