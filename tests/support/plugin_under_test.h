// The plug-in as the host sees it: loaded from its file, its ten entry points looked up by name.
// Each test loads it afresh, so the process-wide state starts as after the host's LoadLibrary.
#pragma once

#include "VelmoraPlugIn.hpp"
#include "share/win32/plugin_entry_points.h"

#include <windows.h>

#include <string>

namespace cvn::test {

struct PlugIn : share::PlugInEntryPoints {
    HMODULE module = nullptr;

    // Loads the plug-in copy beside the suite, or the one at `path`, and resolves all ten entry
    // points; fails the test when any is missing.
    void load();
    void load(const std::string& path);
    // Unloads the plug-in; the next load starts unbound.
    void unload();
};

using share::procedure;

} // namespace cvn::test
