// The frames of an output's ID3v2 tag that cvnhost did not write (lyrics or a rating a tagger
// added, a player's private frames), carried into the tag that replaces it. The source marker lists
// the keys of the frames cvnhost wrote; for a marker of an earlier version, which lists none, or a
// file cvnhost did not make, every frame of a kind cvnhost writes counts as its own.
#pragma once

#include <taglib/id3v2frame.h>
#include <taglib/id3v2tag.h>

#include <set>
#include <string>

namespace cvnhost {

// The key of a frame: its ID, and for the kinds a tag holds several of, what tells them apart (a
// description, an owner, a picture type): "TIT2", "TXXX:MusicBrainz Album Id", "APIC:3".
std::string frameKeyOf(const TagLib::ID3v2::Frame& frame);

// The keys of every frame of `tag`.
std::set<std::string> frameKeysOf(const TagLib::ID3v2::Tag& tag);

// Adds to `tag` copies of the frames of `path`'s ID3v2 tag that cvnhost did not write and whose keys
// are none of `written`. The caller holds TagLib's lock.
void addKeptFrames(TagLib::ID3v2::Tag& tag, const std::string& path, const std::set<std::string>& written);

} // namespace cvnhost
