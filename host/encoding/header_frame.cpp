#include "encoding/header_frame.h"

#include "VelmoraPlugIn.hpp"
#include "share/win32/plugin_entry_points.h"

#include <windows.h>

namespace cvnhost {

HeaderFrames HeaderFrames::ofBoundLibrary() {
    HeaderFrames frames;
    // It stays loaded while the plug-in is bound.
    frames.write_ = share::procedure<BE_WriteVBRHeaderFunction>(
        GetModuleHandleA(BE_ENCODER_LIBRARY_FILE_NAME), "beWriteVBRHeader");
    return frames;
}

bool HeaderFrames::complete(const std::string& path, uint32_t vbr) const {
    if (cvn::plugInWritesHeaderFrame(vbr)) {
        return true;
    }
    return write_ != nullptr && write_(path.c_str()) == BE_SUCCESS;
}

} // namespace cvnhost
