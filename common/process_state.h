// The plug-in's process-wide state, set up at process attach and kept until the module unloads.
// Written only by the module entry, CVN_InitPlugInDLL and CVN_ClosePlugInDLL.
#pragma once

#include "binding/encoder_library.h"

#include <windows.h>

namespace velmora {

// The plug-in's own module: every dialog and string is loaded from it.
extern HINSTANCE g_moduleInstance;

// The binding to the encoder library.
extern EncoderLibrary g_encoderLibrary;

} // namespace velmora
