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

std::optional<std::string> givenTagsDigestOf(const Track& item, const TrackTags& given) {
    const std::string digest = tagsDigest(layeredTags(given, item.tags, {}));
    return digest == tagsDigest({}) ? std::nullopt : std::optional<std::string>(digest);
}

void stampRunOf(SourceMarker& marker, const Track& item, const EncodeOptions& options) {
    marker.settings = options.settingsDigest;
    marker.tagging = options.taggingDigest;
    marker.album = item.albumDigest.empty() ? std::nullopt : std::optional<std::string>(item.albumDigest);
    marker.given = givenTagsDigestOf(item, options.givenTags);
}

} // namespace cvnhost
