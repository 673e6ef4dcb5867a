// The plug-in as cvnhost drives it: found beside the program (the build tree) or in the install
// tree's lib/velmora, bound once, its ten entry points resolved. The host keeps to the contract:
// it binds and releases on the main thread with nothing else running, and runs different streams
// on different threads at once.
#pragma once

#include "encoding/header_frame.h"

#include "VelmoraPlugIn.hpp"
#include "lame_enc_interface.hpp"
#include "share/win32/plugin_entry_points.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace cvnhost {

class PlugInHost {
  public:
    // Loads and binds the plug-in. On failure returns null and says in `error` which file was
    // looked for where, or which library could not be bound.
    static std::unique_ptr<PlugInHost> open(std::string& error);
    // Takes back the bind and unloads the plug-in.
    ~PlugInHost();
    PlugInHost(const PlugInHost&) = delete;
    PlugInHost& operator=(const PlugInHost&) = delete;

    const std::string& path() const { return path_; }
    int32_t supportInfo() const;
    CVN_PlugInInfo info() const;
    // The record of a format 0 to 27; nothing for an index the plug-in refuses.
    std::optional<CVN_FormatInfo> format(int32_t index) const;

    // The dialogs, shown through the platform's dialog driver that the caller installed.
    int32_t displayAbout() const;
    int32_t displaySettings(HKEY settingsKey) const;

    int32_t initStream(const std::string& path, int32_t formatIndex, HKEY settingsKey,
                       const CVN_TrackInfo& track, CVN_StreamHandle& handle) const;
    int32_t writeBuffer(CVN_StreamHandle& handle, int32_t frameCount, const uint32_t* frames) const;
    int32_t closeStream(CVN_StreamHandle& handle) const;

    // The header frames of finished files, by the encoder library the plug-in has bound.
    const HeaderFrames& headerFrames() const { return headerFrames_; }

  private:
    PlugInHost() = default;

    std::string path_;
    HMODULE module_ = nullptr;
    share::PlugInEntryPoints plugIn_;
    HeaderFrames headerFrames_;
};

} // namespace cvnhost
