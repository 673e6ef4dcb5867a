// --play-order: once the run has written, each folder of the copy that its writes changed (a track
// added, replaced, retagged or moved in; a folder made in it) has its entries in the order of their
// names, on the file systems that keep entries in the order they were made (FAT, exFAT;
// folder_order.h). Elsewhere the order of a directory is the file system's own, and nothing moves.
#pragma once

#include "track_records.h"

#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

namespace cvnhost {

using FolderSet = std::set<std::filesystem::path, std::greater<>>; // the deepest first

// The folders below `outDirectory` (and it) that the run's writes will change, found before them.
FolderSet foldersChangedBy(const std::vector<PlannedTrack>& tracks, const std::string& outDirectory);

// Puts the folders in order; the number that could not be, each told to `say`.
size_t putFoldersInPlayOrder(const FolderSet& folders, const std::string& outDirectory,
                             const std::function<void(const std::string&)>& say);

} // namespace cvnhost
