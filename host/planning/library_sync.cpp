#include "planning/library_sync.h"

#include "planning/content_digest.h"
#include "planning/output_tags.h"
#include "tags/source_marker.h"

namespace cvnhost {

SyncDecision syncActionFor(const Track& item, const EncodeOptions& options) {
    return syncActionFor(item, options, readMarker(item.output));
}

SyncDecision syncActionFor(const Track& item, const EncodeOptions& options,
                           const std::optional<SourceMarker>& marker) {
    if (!marker || !isOwnMarker(*marker, item.output)) {
        return {SyncAction::NotMade, false};
    }
    const std::optional<SourceMarker> now = currentMarkerOf(item);
    if (!now) {
        return {};
    }
    // A marker of an earlier version digested every setting in one.
    const bool earlier = !marker->tagging;
    const bool sameAudio =
        marker->settings == (earlier ? options.legacySettingsDigest : options.settingsDigest);
    const bool albumChanged =
        marker->album && !item.albumDigest.empty() && *marker->album != item.albumDigest;
    if (!sameAudio || albumChanged) {
        return {SyncAction::Encode, false};
    }
    const bool newTagging = !earlier && *marker->tagging != options.taggingDigest;
    // A marker that names the source by another path (the source renamed, its output's name the
    // same) takes the new one; so does one whose folder cover was touched but not changed.
    const bool namesSource = marker->source == item.source && (!marker->root || marker->root == item.root);
    const bool sameFile = marker->size == now->size && marker->modified == now->modified;
    const bool sameCover = !marker->cover || marker->cover == now->cover;
    const bool sameGiven = marker->given == givenTagsDigestOf(item, options.givenTags);
    if (sameFile && sameCover && !newTagging && sameGiven) {
        return {namesSource ? SyncAction::Keep : SyncAction::UpdateMarker, false};
    }
    if (!sameFile) {
        std::string error;
        const std::optional<std::string> audio = audioDigestOf(item.input, error);
        if (!audio || *audio != marker->audio) {
            return {SyncAction::Encode, false}; // an input that cannot be read now fails there, named
        }
    }
    if (newTagging) {
        return {SyncAction::Retag, true};
    }
    const bool sameTags =
        tagsDigest(outputTagsOf(item, options.givenTags, inputTagsOf(item))) == marker->tags;
    return {sameTags ? SyncAction::UpdateMarker : SyncAction::Retag, false};
}

} // namespace cvnhost
