// Where a track without a picture looks for its folder's cover: its own folder, and when that has
// no cover file, the folders above it up to its album's folder, the deepest one that holds all of
// the album's tracks of the run (the album as album gain tells it), never above the input folder.
// A disc folder (CD1/, CD2/) without a cover so takes its album folder's, while an artist's folder
// above several albums lends none.
#pragma once

#include "tags/track_tags.h"
#include "track_records.h"

#include <functional>
#include <string>
#include <vector>

namespace cvnhost {

// Sets each item's coverFolder where a folder above its own gives the cover; `albumOf` gives a
// track's album identity (read only for tracks that need it).
void giveCoverFolders(std::vector<Track>& items, const std::function<std::string(const Track&)>& albumOf);

} // namespace cvnhost
