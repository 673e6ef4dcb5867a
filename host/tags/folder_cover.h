// The cover file beside the music, for a track whose tags have no picture: the first of cover,
// folder, front and albumart (in that order), each as .jpg, .jpeg or .png (in that order), in any
// case, that is a PNG or JPEG image of at most 16 MB. `--cover FILE` still wins.
#pragma once

#include "tags/track_tags.h"

#include <filesystem>
#include <optional>
#include <string>

namespace cvnhost {

// The folder that holds `input` ("." for a bare name).
std::filesystem::path folderOf(const std::string& input);

// The cover of `folder`; the last few folders are remembered.
std::optional<Picture> folderCoverIn(const std::filesystem::path& folder);

// The tags with the cover file of `folder` added when they have no picture.
TrackTags withFolderCover(TrackTags tags, const std::filesystem::path& folder);

// Whether `folder` has a file of a cover's name (whether it reads as a picture aside).
bool holdsCoverFile(const std::filesystem::path& folder);

// Which cover file `folder` has, as a source marker keeps it ("NAME SIZE TIME", empty for none),
// so that a cover added, replaced or removed is noticed at the cost of a listing.
std::string folderCoverIdentityIn(const std::filesystem::path& folder);

} // namespace cvnhost
