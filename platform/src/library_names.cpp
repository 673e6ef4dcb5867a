#include "library_names.h"

#include <dlfcn.h>
#include <link.h>

#include <cstring>

namespace cvn {

std::string sharedObjectName(const std::string& windowsName) {
    const std::string suffix = ".dll";
    if (windowsName.find('/') != std::string::npos || windowsName.size() <= suffix.size()) {
        return windowsName;
    }
    std::string lower;
    for (char c : windowsName) {
        lower += (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    }
    if (lower.compare(lower.size() - suffix.size(), suffix.size(), suffix) != 0) {
        return windowsName;
    }
    return "lib" + lower.substr(0, lower.size() - suffix.size()) + ".so";
}

namespace {

struct FileNameSearch {
    const std::string* fileName;
    std::string path;
};

int matchFileName(dl_phdr_info* info, size_t, void* data) {
    auto* search = static_cast<FileNameSearch*>(data);
    if (info->dlpi_name == nullptr || *info->dlpi_name == '\0') {
        return 0;
    }
    const char* slash = std::strrchr(info->dlpi_name, '/');
    const char* base = slash == nullptr ? info->dlpi_name : slash + 1;
    if (*search->fileName == base) {
        search->path = info->dlpi_name;
        return 1;
    }
    return 0;
}

} // namespace

void* findLoadedObjectByFileName(const std::string& fileName) {
    FileNameSearch search{&fileName, {}};
    if (dl_iterate_phdr(matchFileName, &search) == 0) {
        return nullptr;
    }
    return dlopen(search.path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
}

} // namespace cvn
