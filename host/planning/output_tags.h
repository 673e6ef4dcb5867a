// The tags an output is written with, whichever way it is written (encoded, retagged, copied), so
// that a retag or a copy gives what an encode gives: the track's parts handed to the tags' own
// rules (layeredTags, withFolderCover).
#pragma once

#include "tags/source_marker.h"
#include "tags/track_tags.h"
#include "track_records.h"

namespace cvnhost {

// The run's tags (`given`) over the track's own over the input's (`inputTags`), and the cover file
// of the input's folder when none of them has a picture.
TrackTags outputTagsOf(const Track& item, const TrackTags& given, const TrackTags& inputTags);

// The folder whose cover file the track takes when it has no picture.
std::filesystem::path coverFolderOf(const Track& item);

// The marker of the track's source as it is now (sourceMarkerOf), nothing for a source without one.
std::optional<SourceMarker> currentMarkerOf(const Track& item);

// The digest of the tags the run (`given`) and a manifest give the track; nothing when they give none.
std::optional<std::string> givenTagsDigestOf(const Track& item, const TrackTags& given);

// The run's part of the track's marker: the digests of its settings (those of the audio, those of
// the tags), of the tags it gives the track, and of the track's album.
void stampRunOf(SourceMarker& marker, const Track& item, const EncodeOptions& options);

} // namespace cvnhost
