// How Windows module names map to the shared objects of Linux.
#pragma once

#include <string>

namespace cvn {

// "LAME_ENC.DLL" -> "liblame_enc.so": a name ending in ".dll" (any case) with no slash becomes
// "lib" + the stem in lower case + ".so". Any other name is returned as it is.
std::string sharedObjectName(const std::string& windowsName);

// The loaded object whose file name (the last part of its path) is `fileName`, opened once more
// with RTLD_NOLOAD so the caller owns one reference; null when no loaded object has that name.
void* findLoadedObjectByFileName(const std::string& fileName);

} // namespace cvn
