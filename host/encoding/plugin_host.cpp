#include "encoding/plugin_host.h"

#include "files/private_library.h"

#include <filesystem>

namespace cvnhost {

namespace {

constexpr const char* kPlugInFileName = "VelmoraPlugIn.so";
constexpr const char* kEncoderSharedObjectName = "liblame_enc.so";

} // namespace

std::unique_ptr<PlugInHost> PlugInHost::open(std::string& error) {
    std::unique_ptr<PlugInHost> host(new PlugInHost);
    const std::vector<std::filesystem::path> candidates = privateLibraryCandidates(kPlugInFileName);
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
    if (!host->plugIn_.resolve(module)) {
        error = host->path_ + " lacks one of the ten CVN_ entry points: it is not the Velmora plug-in";
        FreeLibrary(module);
        host->module_ = nullptr;
        return nullptr;
    }
    if (host->plugIn_.initPlugInDLL() != CVN_CALL_DONE) {
        const std::filesystem::path beside =
            std::filesystem::path(host->path_).parent_path() / kEncoderSharedObjectName;
        error = "the plug-in cannot bind its encoder library LAME_ENC.DLL: looked for " +
                std::string(kEncoderSharedObjectName) + " in the directory of " + host->path_ +
                (std::filesystem::exists(beside)
                     ? " (it is there but could not be loaded or lacks a be* function)"
                     : " (it is not there)") +
                ", along LD_LIBRARY_PATH and in the system directories";
        FreeLibrary(module);
        host->module_ = nullptr;
        return nullptr;
    }
    host->headerFrames_ = HeaderFrames::ofBoundLibrary();
    return host;
}

PlugInHost::~PlugInHost() {
    if (module_ != nullptr) {
        plugIn_.closePlugInDLL();
        FreeLibrary(module_);
    }
}

int32_t PlugInHost::supportInfo() const {
    return plugIn_.getPlugInSupportInfo();
}

CVN_PlugInInfo PlugInHost::info() const {
    CVN_PlugInInfo info{};
    plugIn_.getPlugInInfo(CVN_ONLY_PLUGIN_NUMBER, &info);
    return info;
}

std::optional<CVN_FormatInfo> PlugInHost::format(int32_t index) const {
    CVN_FormatInfo info{};
    if (plugIn_.getFormatInfo(CVN_ONLY_PLUGIN_NUMBER, index, &info) != CVN_CALL_DONE) {
        return std::nullopt;
    }
    return info;
}

int32_t PlugInHost::displayAbout() const {
    return plugIn_.displayAboutDlg(nullptr, CVN_ONLY_PLUGIN_NUMBER);
}

int32_t PlugInHost::displaySettings(HKEY settingsKey) const {
    return plugIn_.displayAdvancedConfigDlg(nullptr, CVN_ONLY_PLUGIN_NUMBER, 0, settingsKey);
}

int32_t PlugInHost::initStream(const std::string& path, int32_t formatIndex, HKEY settingsKey,
                               const CVN_TrackInfo& track, CVN_StreamHandle& handle) const {
    return plugIn_.initStream(path.c_str(), CVN_ONLY_PLUGIN_NUMBER, formatIndex, settingsKey, &track,
                              &handle);
}

int32_t PlugInHost::writeBuffer(CVN_StreamHandle& handle, int32_t frameCount, const uint32_t* frames) const {
    return plugIn_.writeBuffer(&handle, frameCount, frames);
}

int32_t PlugInHost::closeStream(CVN_StreamHandle& handle) const {
    return plugIn_.closeStream(&handle);
}

} // namespace cvnhost
