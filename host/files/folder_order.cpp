#include "files/folder_order.h"

#include <dirent.h>
#include <unistd.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

namespace cvnhost {

namespace {

namespace fs = std::filesystem;

const char* const kTopItself = "%";

// The names of a folder as its directory lists them: with `filesOnly`, its files but hidden ones.
// Folders stay where they are: a FAT driver that loses a folder it renames (fusefat) loses no more
// than a file's name.
std::vector<std::string> namesInPlace(const std::string& folder, bool filesOnly) {
    std::vector<std::string> names;
    DIR* directory = opendir(folder.c_str());
    if (directory == nullptr) {
        return names;
    }
    while (const dirent* entry = readdir(directory)) {
        const std::string name = entry->d_name;
        struct stat status {};
        const bool file = lstat((folder + "/" + name).c_str(), &status) == 0 && S_ISREG(status.st_mode);
        if (name != "." && name != ".." && (!filesOnly || (file && !name.starts_with(".")))) {
            names.push_back(name);
        }
    }
    closedir(directory);
    return names;
}

std::vector<std::string> entriesInPlace(const std::string& folder) {
    return namesInPlace(folder, true);
}

std::vector<std::string> entriesOf(const std::string& folder) {
    return namesInPlace(folder, false);
}

// Each folder waits in one folder of its own, straight below the waiting root, named after its
// path below the top ("%" for the top itself) with "%" and "/" written as %25 and %2F.
std::string waitingFolderOf(const std::string& top, const std::string& folder) {
    const std::string relative =
        fs::path(folder).lexically_normal().lexically_relative(fs::path(top).lexically_normal()).string();
    std::string name;
    for (const char c : relative == "." ? std::string() : relative) {
        name += c == '%' ? "%25" : c == '/' ? "%2F" : std::string(1, c);
    }
    return (fs::path(top) / kOrderingFolder / (name.empty() ? kTopItself : name)).string();
}

std::string folderOfWaiting(const std::string& top, const std::string& name) {
    if (name == kTopItself) {
        return top;
    }
    std::string relative;
    for (size_t i = 0; i < name.size();) {
        const bool slash = name.compare(i, 3, "%2F") == 0;
        const bool percent = name.compare(i, 3, "%25") == 0;
        relative += slash ? '/' : percent ? '%' : name[i];
        i += slash || percent ? 3 : 1;
    }
    return top + "/" + relative;
}

// Moves each of `names` from one folder to the other; false with the cause at the first that fails.
bool moveAll(const std::vector<std::string>& names, const std::string& from, const std::string& to,
             std::string& error) {
    for (const std::string& name : names) {
        const std::string source = from + "/" + name;
        if (rename(source.c_str(), (to + "/" + name).c_str()) != 0) {
            error = source + ": cannot be moved to " + to +
                    " to put the folder in order: " + std::strerror(errno);
            return false;
        }
    }
    return true;
}

// The waiting entries of one folder moved back, never over a name that is there; the problems.
void returnEntries(const std::string& waiting, const std::string& folder,
                   std::vector<std::string>& problems) {
    for (const std::string& name : entriesOf(waiting)) {
        const std::string target = folder + "/" + name;
        struct stat status {};
        if (lstat(target.c_str(), &status) == 0 ||
            rename((waiting + "/" + name).c_str(), target.c_str()) != 0) {
            problems.push_back(waiting + "/" + name + ": left there: it cannot go back to " + folder);
        }
    }
    rmdir(waiting.c_str());
}

} // namespace

bool putInNameOrder(const std::string& top, const std::string& folder, std::string& error) {
    // Not every driver lists a folder in the order of its entries (exfat-fuse lists the newest
    // first): the order cannot be read back, only made.
    std::vector<std::string> ordered = entriesInPlace(folder);
    std::sort(ordered.begin(), ordered.end());
    std::string waiting = waitingFolderOf(top, folder);
    std::error_code made;
    fs::create_directories(waiting, made);
    if (made) {
        error = waiting + ": cannot be made to put " + folder + " in order: " + made.message();
        return false;
    }
    bool moved = moveAll(ordered, folder, waiting, error);
    std::vector<std::string> problems;
    if (moved) {
        moved = moveAll(ordered, waiting, folder, error);
    }
    returnEntries(waiting, folder, problems);
    std::error_code removed;
    fs::remove(fs::path(waiting).parent_path(), removed); // the waiting root, when it is empty
    return moved && problems.empty();
}

std::vector<std::string> returnWaitingEntries(const std::string& top) {
    std::vector<std::string> problems;
    const std::string waitingRoot = top + "/" + kOrderingFolder;
    for (const std::string& name : entriesOf(waitingRoot)) {
        returnEntries(waitingRoot + "/" + name, folderOfWaiting(top, name), problems);
    }
    rmdir(waitingRoot.c_str());
    return problems;
}

} // namespace cvnhost
