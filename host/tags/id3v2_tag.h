// The ID3v2 tag that cvnhost puts in front of a finished MP3 file, written with TagLib: every text
// of the track in full (TIT2, TPE1, TPE2, TALB, TRCK n/N, TPOS n/N, TDRC or TYER, TCON, COMM, TCOM,
// TCOP, TSRC, USLT, and TXXX for the rest, MusicBrainz and ReplayGain among them) and the front
// cover as APIC, while the plug-in's ID3v1 tag stays at the end.
#pragma once

#include "tags/track_tags.h"

#include <string>

namespace cvnhost {

// 2.3 is what every player reads; 2.4 keeps texts in UTF-8 and full timestamps.
enum class Id3v2Version { V3 = 3, V4 = 4 };

// Who made the audio the tag is put in front of, whom its TSSE names: the encoder library that
// encoded it here, or the input's own encoder for an MP3 input copied as it is.
enum class AudioMadeBy { ThisEncoder, TheInputsEncoder };

// Adds the tag to the file at `path` and reads the file back to check it; false with the cause in
// `error`. A source marker among the tags (source_marker.h) is written last, with the keys of the
// frames written before it. With `keepFramesOf`, the frames of that MP3's tag that cvnhost did not
// write are carried over (kept_frames.h), unless the new tag has frames of their keys.
bool writeId3v2Tag(const std::string& path, const TrackTags& tags, Id3v2Version version, std::string& error,
                   const std::string& keepFramesOf = {}, AudioMadeBy madeBy = AudioMadeBy::ThisEncoder);

} // namespace cvnhost
