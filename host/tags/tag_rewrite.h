// An MP3 file's tags written anew without encoding it again: a copy of `from` with its tags taken
// off, the plug-in's ID3v1 tag and cvnhost's ID3v2 tag made from `tags`, put in `output`'s place
// the safe way (pending_output.h). For --update when only the tags changed (`from` is the output,
// its ID3v2 tag taken off), and for --lossy copy (`from` is an MP3 input, every tag taken off). The
// frames of `from`'s ID3v2 tag that cvnhost did not write stay (kept_frames.h).
#pragma once

#include "tags/id3v2_tag.h"
#include "tags/track_tags.h"

#include <string>

namespace cvnhost {

// `output` made from `from` with `tags`, put in place the safe way. With `stripAll`, `from` is an MP3
// input copied as it is: every tag of it is left behind but its TSSE, whose encoder made the audio.
bool rewriteTags(const std::string& from, const std::string& output, const TrackTags& tags, bool stripAll,
                 Id3v2Version version, std::string& error);

// `output` with its source marker's text replaced by `markerText`, every other frame and every
// byte of its audio as they were, put in place the safe way.
bool rewriteMarker(const std::string& output, const std::string& markerText, std::string& error);

} // namespace cvnhost
