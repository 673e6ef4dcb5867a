// The process-wide binding to the encoder library: its module, the bind count and the six
// functions. The invariant, checked by bindingInvariantsHold() after every bind and release in
// every build that runs tests or fuzzers (CVN_CHECK_INVARIANTS, whatever the build type):
//   I1. The library is bound exactly when `module` is not null, and then all six functions are
//       resolved and bindCount >= 1.
// The functions are not cleared on release; nothing calls them while `module` is null. There is
// no lock: the host neither binds nor releases while any other call into the plug-in runs.
#pragma once

#include "lame_enc_interface.hpp"

#include <windows.h>

namespace velmora {

struct EncoderLibrary {
    HMODULE module = nullptr;
    int32_t bindCount = 0;
    BE_InitStreamFunction initStream = nullptr;
    BE_EncodeChunkFunction encodeChunk = nullptr;
    BE_DeinitStreamFunction deinitStream = nullptr;
    BE_CloseStreamFunction closeStream = nullptr;
    BE_WriteVBRHeaderFunction writeVBRHeader = nullptr;
    BE_VersionFunction version = nullptr;
};

// Loads the library on the first bind, counts the bind, and resolves the six names on every bind.
// Returns 1 when bound; 0 when the library cannot be loaded (count unchanged) or lacks a name
// (library unloaded, count back to what it was, the binding unbound).
int32_t bindEncoderLibrary(EncoderLibrary& library);

// Takes back one bind. Returns 1 when nothing was bound or other binds remain; otherwise unloads
// the library and returns FreeLibrary's result (nonzero on success).
int32_t releaseEncoderLibrary(EncoderLibrary& library);

inline bool isBound(const EncoderLibrary& library) {
    return library.module != nullptr;
}

inline bool allFunctionsResolved(const EncoderLibrary& library) {
    return library.initStream != nullptr && library.encodeChunk != nullptr &&
           library.deinitStream != nullptr && library.closeStream != nullptr &&
           library.writeVBRHeader != nullptr && library.version != nullptr;
}

inline bool bindingInvariantsHold(const EncoderLibrary& library) {
    return !isBound(library) || (library.bindCount >= 1 && allFunctionsResolved(library));
}

} // namespace velmora
