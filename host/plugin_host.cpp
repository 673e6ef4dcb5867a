#include "plugin_host.h"

#include <unistd.h>

#include <climits>
#include <filesystem>

namespace cvnhost {

namespace {

constexpr const char* kPlugInFileName = "VelmoraPlugIn.so";
constexpr const char* kEncoderLibraryFileName = "liblame_enc.so";

template <typename Function> void resolve(HMODULE module, const char* name, Function& function) {
    function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

std::filesystem::path programDirectory() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    return std::filesystem::path(std::string(path, length > 0 ? static_cast<size_t>(length) : 0))
        .parent_path();
}

// Beside the program in the build tree; in lib/velmora of the install tree.
std::vector<std::filesystem::path> plugInCandidates() {
    const std::filesystem::path directory = programDirectory();
    return {directory / kPlugInFileName,
            (directory / CVN_PLUGIN_DIRECTORY_FROM_PROGRAM / kPlugInFileName).lexically_normal()};
}

} // namespace

std::unique_ptr<PlugInHost> PlugInHost::open(std::string& error) {
    std::unique_ptr<PlugInHost> host(new PlugInHost);
    const std::vector<std::filesystem::path> candidates = plugInCandidates();
    for (const std::filesystem::path& candidate : candidates) {
        if (std::filesystem::exists(candidate)) {
            host->path_ = candidate.string();
            break;
        }
    }
    if (host->path_.empty()) {
        error = "the plug-in " + std::string(kPlugInFileName) + " is neither at " + candidates[0].string() +
                " nor at " + candidates[1].string();
        return nullptr;
    }
    host->module_ = LoadLibraryA(host->path_.c_str());
    if (host->module_ == nullptr) {
        error = "cannot load the plug-in " + host->path_;
        return nullptr;
    }
    HMODULE module = host->module_;
    resolve(module, "CVN_GetPlugInSupportInfo", host->getPlugInSupportInfo_);
    resolve(module, "CVN_InitPlugInDLL", host->initPlugInDLL_);
    resolve(module, "CVN_ClosePlugInDLL", host->closePlugInDLL_);
    resolve(module, "CVN_GetPlugInInfo", host->getPlugInInfo_);
    resolve(module, "CVN_GetFormatInfo", host->getFormatInfo_);
    resolve(module, "CVN_DisplayAboutDlg", host->displayAboutDlg_);
    resolve(module, "CVN_DisplayAdvancedConfigDlg", host->displayAdvancedConfigDlg_);
    resolve(module, "CVN_InitStream", host->initStream_);
    resolve(module, "CVN_WriteBuffer", host->writeBuffer_);
    resolve(module, "CVN_CloseStream", host->closeStream_);
    if (!host->getPlugInSupportInfo_ || !host->initPlugInDLL_ || !host->closePlugInDLL_ ||
        !host->getPlugInInfo_ || !host->getFormatInfo_ || !host->displayAboutDlg_ ||
        !host->displayAdvancedConfigDlg_ || !host->initStream_ || !host->writeBuffer_ ||
        !host->closeStream_) {
        error = host->path_ + " lacks one of the ten CVN_ entry points: it is not the Velmora plug-in";
        FreeLibrary(module);
        host->module_ = nullptr;
        return nullptr;
    }
    if (host->initPlugInDLL_() != kCallDone) {
        const std::filesystem::path beside =
            std::filesystem::path(host->path_).parent_path() / kEncoderLibraryFileName;
        error = "the plug-in cannot bind its encoder library LAME_ENC.DLL: looked for " +
                std::string(kEncoderLibraryFileName) + " in the directory of " + host->path_ +
                (std::filesystem::exists(beside)
                     ? " (it is there but could not be loaded or lacks a be* function)"
                     : " (it is not there)") +
                ", along LD_LIBRARY_PATH and in the system directories";
        FreeLibrary(module);
        host->module_ = nullptr;
        return nullptr;
    }
    return host;
}

PlugInHost::~PlugInHost() {
    if (module_ != nullptr) {
        closePlugInDLL_();
        FreeLibrary(module_);
    }
}

int32_t PlugInHost::supportInfo() const {
    return getPlugInSupportInfo_();
}

PlugInInfo PlugInHost::info() const {
    PlugInInfo info{};
    getPlugInInfo_(kOnlyPlugInNumber, &info);
    return info;
}

std::optional<FormatInfo> PlugInHost::format(int32_t index) const {
    FormatInfo info{};
    if (getFormatInfo_(kOnlyPlugInNumber, index, &info) != kCallDone) {
        return std::nullopt;
    }
    return info;
}

int32_t PlugInHost::displayAbout() const {
    return displayAboutDlg_(nullptr, kOnlyPlugInNumber);
}

int32_t PlugInHost::displaySettings(HKEY settingsKey) const {
    return displayAdvancedConfigDlg_(nullptr, kOnlyPlugInNumber, 0, settingsKey);
}

int32_t PlugInHost::initStream(const std::string& path, int32_t formatIndex, HKEY settingsKey,
                               const TrackInfo& track, StreamHandle& handle) const {
    return initStream_(path.c_str(), kOnlyPlugInNumber, formatIndex, settingsKey, &track, &handle);
}

int32_t PlugInHost::writeBuffer(StreamHandle& handle, int32_t frameCount, const uint32_t* frames) const {
    return writeBuffer_(&handle, frameCount, frames);
}

int32_t PlugInHost::closeStream(StreamHandle& handle) const {
    return closeStream_(&handle);
}

} // namespace cvnhost
