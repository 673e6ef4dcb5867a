// The plug-in's ten entry points, looked up by name in a loaded module, as every host of the
// plug-in in this project does it: cvnhost and the tests.
#pragma once

#include "VelmoraPlugIn.hpp"

#include <windows.h>

namespace share {

// GetProcAddress gives a generic function pointer; going through void(*)() says the cast is meant.
template <typename Function> Function procedure(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

struct PlugInEntryPoints {
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

    // Looks up all ten in `module`; false when any is missing.
    bool resolve(HMODULE module) {
        getPlugInSupportInfo = procedure<decltype(getPlugInSupportInfo)>(module, "CVN_GetPlugInSupportInfo");
        initPlugInDLL = procedure<decltype(initPlugInDLL)>(module, "CVN_InitPlugInDLL");
        closePlugInDLL = procedure<decltype(closePlugInDLL)>(module, "CVN_ClosePlugInDLL");
        getPlugInInfo = procedure<decltype(getPlugInInfo)>(module, "CVN_GetPlugInInfo");
        getFormatInfo = procedure<decltype(getFormatInfo)>(module, "CVN_GetFormatInfo");
        displayAboutDlg = procedure<decltype(displayAboutDlg)>(module, "CVN_DisplayAboutDlg");
        displayAdvancedConfigDlg =
            procedure<decltype(displayAdvancedConfigDlg)>(module, "CVN_DisplayAdvancedConfigDlg");
        initStream = procedure<decltype(initStream)>(module, "CVN_InitStream");
        writeBuffer = procedure<decltype(writeBuffer)>(module, "CVN_WriteBuffer");
        closeStream = procedure<decltype(closeStream)>(module, "CVN_CloseStream");
        return getPlugInSupportInfo && initPlugInDLL && closePlugInDLL && getPlugInInfo && getFormatInfo &&
               displayAboutDlg && displayAdvancedConfigDlg && initStream && writeBuffer && closeStream;
    }
};

} // namespace share
