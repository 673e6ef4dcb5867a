// The cover file beside the music, for a track whose tags have no picture: the first of cover,
// folder, front and albumart (in that order), each as .jpg, .jpeg or .png (in that order), in any
// case, that is a PNG or JPEG image of at most 16 MB. `--cover FILE` still wins.
#pragma once

#include "tags/track_tags.h"

#include <optional>
#include <string>

namespace cvnhost {

// The cover of the folder that holds `input`; each folder is looked into once per run.
std::optional<Picture> folderCoverOf(const std::string& input);

// Which cover file that folder has, as a source marker keeps it ("NAME SIZE TIME", empty for none),
// so that a cover added, replaced or removed is noticed at the cost of a listing.
std::string folderCoverIdentityOf(const std::string& input);

} // namespace cvnhost
