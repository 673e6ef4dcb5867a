#include "encoding/play_order.h"

#include "files/file_system.h"
#include "files/folder_order.h"

namespace cvnhost {

namespace {

namespace fs = std::filesystem;

fs::path topOf(const std::string& outDirectory) {
    const fs::path top = fs::path(outDirectory).lexically_normal();
    return top.has_filename() ? top : top.parent_path(); // "card/" is "card"
}

bool isBelowOrAt(const fs::path& folder, const fs::path& top) {
    const fs::path relative = folder.lexically_relative(top);
    return !relative.empty() && *relative.begin() != "..";
}

bool writesItsOutput(PlannedTrack::Action action) {
    using Action = PlannedTrack::Action;
    return action != Action::Keep && action != Action::LeaveOut && action != Action::Refuse;
}

} // namespace

FolderSet foldersChangedBy(const std::vector<PlannedTrack>& tracks, const std::string& outDirectory) {
    const fs::path top = topOf(outDirectory);
    FolderSet folders;
    for (const PlannedTrack& track : tracks) {
        fs::path folder = fs::path(track.item.output).lexically_normal().parent_path();
        if (!writesItsOutput(track.action) || !isBelowOrAt(folder, top)) {
            continue;
        }
        folders.insert(folder);
        // A folder the run makes is a new entry of the one above it.
        std::error_code error;
        for (; folder != top && isBelowOrAt(folder, top) && !fs::exists(folder, error);
             folder = folder.parent_path()) {
            folders.insert(folder.parent_path());
        }
    }
    return folders;
}

size_t putFoldersInPlayOrder(const FolderSet& folders, const std::string& outDirectory,
                             const std::function<void(const std::string&)>& say) {
    const std::optional<FileSystemOf> system = fileSystemOf(outDirectory);
    if (!system || system->units != NameUnits::Utf16) {
        return 0;
    }
    size_t failed = 0;
    for (const fs::path& folder : folders) {
        std::string error;
        if (!putInNameOrder(topOf(outDirectory).string(), folder.string(), error)) {
            say(error);
            ++failed;
        }
    }
    return failed;
}

} // namespace cvnhost
