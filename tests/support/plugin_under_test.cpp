#include "plugin_under_test.h"

#include "test_paths.h"

#include <gtest/gtest.h>

namespace cvn::test {

void PlugIn::load() {
    load(pluginPath());
}

void PlugIn::load(const std::string& path) {
    module = LoadLibraryA(path.c_str());
    ASSERT_NE(module, nullptr) << "cannot load " << path;
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
    ASSERT_TRUE(getPlugInSupportInfo && initPlugInDLL && closePlugInDLL && getPlugInInfo && getFormatInfo &&
                displayAboutDlg && displayAdvancedConfigDlg && initStream && writeBuffer && closeStream);
}

void PlugIn::unload() {
    if (module == nullptr) {
        return;
    }
    FreeLibrary(module);
    module = nullptr;
}

} // namespace cvn::test
