// The plug-in as the host sees it: loaded from its file, its ten entry points looked up by name.
// Each test loads it afresh, so the process-wide state starts as after the host's LoadLibrary.
#pragma once

#include "VelmoraPlugIn.h"

#include <windows.h>

#include <string>

namespace cvn::test {

struct PlugIn {
    HMODULE module = nullptr;
    decltype(&CVN_GetPlugInSupportInfo) getPlugInSupportInfo = nullptr;
    decltype(&CVN_InitPlugInDLL) initPlugInDLL = nullptr;
    decltype(&CVN_ClosePlugInDLL) closePlugInDLL = nullptr;
    decltype(&CVN_GetPlugInInfo) getPlugInInfo = nullptr;
    decltype(&CVN_GetFormatInfo) getFormatInfo = nullptr;
    decltype(&CVN_DisplayAboutDlg) displayAboutDlg = nullptr;
    decltype(&CVN_DisplayAdvancedConfigDlg) displayAdvancedConfigDlg = nullptr;
    decltype(&CVN_InitStream) initStream = nullptr;
    decltype(&CVN_WriteBuffer) writeBuffer = nullptr;
    decltype(&CVN_CloseStream) closeStream = nullptr;

    // Loads the plug-in copy beside the suite, or the one at `path`, and resolves all ten entry
    // points; fails the test when any is missing.
    void load();
    void load(const std::string& path);
    // Unloads the plug-in; the next load starts unbound.
    void unload();
};

// GetProcAddress gives a generic function pointer; going through void(*)() says the cast is meant.
template <typename Function> Function procedure(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace cvn::test
