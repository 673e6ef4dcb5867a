// The digests a source marker keeps (source_marker.h): of a track's audio, of its tags and of the
// settings of a run, each a short text that two runs on any machine compute alike.
#pragma once

#include "track_records.h"
#include "tags/track_tags.h"

#include "share/fnv1a.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cvnhost {

// The tags as given to a track, without the ReplayGain values (measured or carried) and the marker.
std::string tagsDigest(const TrackTags& tags);

// The input file's own tags, read with TagLib as a later run reads them again. Not kept in the
// item: with their pictures (up to 16 MB each) for every track of a library, the run's memory
// would grow with the library.
TrackTags inputTagsOf(const Track& item);
// The same of any input file: TagLib's reading, or a Matroska file's tags as FFmpeg reads them.
TrackTags inputTagsAt(const std::string& path);

// The tags a track is given, as the digest takes them: `given` (the options') over the item's own
// over the input file's (`inputTags`, by default inputTagsOf(item)).
TrackTags tagsGivenTo(const Track& item, const TrackTags& given);
TrackTags tagsGivenTo(const Track& item, const TrackTags& given, const TrackTags& inputTags);

// Of any list of texts and numbers that make up a run's settings.
std::string settingsDigest(const std::vector<std::string>& parts);

// The frames handed to the plug-in, hashed as they go: "pcm:FNV".
class FrameDigest {
  public:
    void add(const std::vector<uint32_t>& frames);
    std::string text() const;

  private:
    uint64_t hash_ = share::kFnv1aBasis;
};

// A FLAC file's own digest of its audio (the MD5 in STREAMINFO), "flac:MD5"; nothing for another
// file or a FLAC file whose encoder left it empty.
std::optional<std::string> flacAudioDigest(const std::string& path);

// The audio digest of `path` as an encode would give it: the FLAC one, else the frames decoded
// (as cvnhost hands them to the plug-in) hashed. Nothing with the cause in `error`, also for a
// FLAC file whose audio ends before the last frame its STREAMINFO states.
std::optional<std::string> audioDigestOf(const std::string& path, std::string& error);

} // namespace cvnhost
