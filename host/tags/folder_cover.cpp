#include "tags/folder_cover.h"

#include "tags/input_tags.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <deque>
#include <map>
#include <mutex>

namespace cvnhost {

namespace {

namespace fs = std::filesystem;

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// The rank of a file name among the cover names, lower first; nothing for another name.
std::optional<size_t> coverRank(const std::string& name) {
    static const char* const stems[] = {"cover", "folder", "front", "albumart"};
    static const char* const extensions[] = {".jpg", ".jpeg", ".png"};
    const std::string lower = lowered(name);
    for (size_t stem = 0; stem < std::size(stems); ++stem) {
        for (size_t extension = 0; extension < std::size(extensions); ++extension) {
            if (lower == std::string(stems[stem]) + extensions[extension]) {
                return stem * std::size(extensions) + extension;
            }
        }
    }
    return std::nullopt;
}

// The cover files of a folder, by rank.
std::map<size_t, fs::path> listCoverCandidates(const fs::path& folder) {
    std::map<size_t, fs::path> candidates;
    std::error_code listError;
    for (fs::directory_iterator entry(folder, listError), end; !listError && entry != end;
         entry.increment(listError)) {
        std::error_code typeError;
        if (const std::optional<size_t> rank = coverRank(entry->path().filename().string());
            rank && entry->is_regular_file(typeError)) {
            candidates.emplace(*rank, entry->path());
        }
    }
    return candidates;
}

// Each folder is listed once per run: the planning asks of every track's folder, and each
// track's marker names its folder's cover.
std::map<size_t, fs::path> coverCandidatesIn(const fs::path& folder) {
    static std::mutex lock;
    static std::map<fs::path, std::map<size_t, fs::path>> listed;
    std::lock_guard<std::mutex> guard(lock);
    const auto found = listed.find(folder);
    return found != listed.end() ? found->second
                                 : listed.emplace(folder, listCoverCandidates(folder)).first->second;
}

std::optional<Picture> findCover(const fs::path& folder) {
    for (const auto& [rank, path] : coverCandidatesIn(folder)) {
        std::string error;
        if (std::optional<Picture> cover = readCover(path.string(), error)) {
            return cover;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<Picture> folderCoverIn(const fs::path& folder) {
    // The covers of the last few folders: tracks come in the order of their paths, a few at once,
    // and a library's covers held for the whole run would grow with the library.
    constexpr size_t kFoldersKept = 16;
    static std::mutex lock;
    static std::deque<std::pair<fs::path, std::optional<Picture>>> covers;
    std::lock_guard<std::mutex> guard(lock);
    const auto found =
        std::find_if(covers.begin(), covers.end(), [&](const auto& entry) { return entry.first == folder; });
    if (found != covers.end()) {
        return found->second;
    }
    if (covers.size() == kFoldersKept) {
        covers.pop_front();
    }
    covers.emplace_back(folder, findCover(folder));
    return covers.back().second;
}

bool holdsCoverFile(const fs::path& folder) {
    return !coverCandidatesIn(folder).empty();
}

fs::path folderOf(const std::string& input) {
    const fs::path folder = fs::path(input).parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

std::string folderCoverIdentityIn(const fs::path& folder) {
    const std::map<size_t, fs::path> candidates = coverCandidatesIn(folder);
    if (candidates.empty()) {
        return {};
    }
    const fs::path& cover = candidates.begin()->second;
    struct stat status {};
    if (stat(cover.c_str(), &status) != 0) {
        return {};
    }
    return cover.filename().string() + " " + std::to_string(status.st_size) + " " +
           std::to_string(static_cast<int64_t>(status.st_mtim.tv_sec) * 1'000'000'000 +
                          status.st_mtim.tv_nsec);
}

TrackTags withFolderCover(TrackTags tags, const std::filesystem::path& folder) {
    if (tags.pictures.empty()) {
        if (std::optional<Picture> cover = folderCoverIn(folder)) {
            tags.pictures.push_back(std::move(*cover));
        }
    }
    return tags;
}

} // namespace cvnhost
