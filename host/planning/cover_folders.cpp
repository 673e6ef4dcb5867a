#include "planning/cover_folders.h"

#include "files/standard_streams.h"
#include "planning/orphan_search.h"
#include "tags/folder_cover.h"

#include <filesystem>
#include <map>
#include <optional>
#include <set>

namespace cvnhost {

namespace {

namespace fs = std::filesystem;

// The input folder a found track's source is below: its path without the source's.
std::optional<fs::path> inputFolderOf(const Track& item) {
    if (!item.root || isStandardStream(item.input)) {
        return std::nullopt;
    }
    fs::path folder = fs::path(item.input);
    const fs::path source(item.source);
    for (auto part = source.begin(); part != source.end(); ++part) {
        folder = folder.parent_path();
    }
    return folder;
}

struct CoverSearch {
    const std::vector<Track>& items;
    const std::function<std::string(const Track&)>& albumOf;
    std::map<std::string, std::string> albums; // by input
    std::map<std::pair<fs::path, std::string>, bool> albumFolders;
};

const std::string& albumIdentity(CoverSearch& search, const Track& item) {
    const auto found = search.albums.find(item.input);
    return found != search.albums.end()
               ? found->second
               : search.albums.emplace(item.input, search.albumOf(item)).first->second;
}

// Whether `folder` is at or below the album's folder: the album's tracks below it lie in it or in
// more than one of its subfolders. Tracks of the album elsewhere are not looked for: a cover left
// out is better than another album's.
bool isWithinAlbumFolder(CoverSearch& search, const fs::path& folder, const std::string& album) {
    if (const auto known = search.albumFolders.find({folder, album}); known != search.albumFolders.end()) {
        return known->second;
    }
    std::set<fs::path> branches;
    for (const Track& other : search.items) {
        const fs::path path = fs::path(other.input);
        if (isStandardStream(other.input) || !isWithin(path, folder) ||
            albumIdentity(search, other) != album) {
            continue;
        }
        const fs::path below = path.parent_path().lexically_relative(folder);
        branches.insert(below.empty() || below == "." ? fs::path() : *below.begin());
    }
    const bool within = branches.size() > 1 || branches.count(fs::path()) == 1;
    search.albumFolders.emplace(std::make_pair(folder, album), within);
    return within;
}

} // namespace

void giveCoverFolders(std::vector<Track>& items, const std::function<std::string(const Track&)>& albumOf) {
    CoverSearch search{items, albumOf, {}, {}};
    for (Track& item : items) {
        const std::optional<fs::path> top = inputFolderOf(item);
        const fs::path own = folderOf(item.input);
        if (!top || holdsCoverFile(own)) {
            continue;
        }
        for (fs::path folder = own.parent_path(); isWithin(folder, *top) && folder.has_relative_path();
             folder = folder.parent_path()) {
            if (holdsCoverFile(folder)) {
                if (isWithinAlbumFolder(search, folder, albumIdentity(search, item))) {
                    item.coverFolder = folder.string();
                }
                break;
            }
            if (folder == *top) {
                break;
            }
        }
    }
}

} // namespace cvnhost
