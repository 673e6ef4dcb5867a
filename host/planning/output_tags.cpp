#include "planning/output_tags.h"

#include "files/standard_streams.h"
#include "planning/content_digest.h"
#include "tags/folder_cover.h"

namespace cvnhost {

TrackTags outputTagsOf(const Track& item, const TrackTags& given, const TrackTags& inputTags) {
    TrackTags tags = layeredTags(given, item.tags, inputTags);
    return isStandardStream(item.input) ? tags : withFolderCover(std::move(tags), coverFolderOf(item));
}

std::filesystem::path coverFolderOf(const Track& item) {
    return item.coverFolder.empty() ? folderOf(item.input) : std::filesystem::path(item.coverFolder);
}

std::optional<SourceMarker> currentMarkerOf(const Track& item) {
    return sourceMarkerOf(item.input, item.source, item.root, coverFolderOf(item));
}

} // namespace cvnhost
