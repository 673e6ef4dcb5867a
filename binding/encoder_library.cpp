#include "encoder_library.h"

#include "share/invariants.h"
#include "share/win32/plugin_entry_points.h"

#include "VelmoraPlugIn.hpp"

namespace velmora {

namespace {

// The steps of a bind, without the check of the invariant.
int32_t bind(EncoderLibrary& library) {
    if (library.module == nullptr) {
        library.module = LoadLibraryA(BE_ENCODER_LIBRARY_FILE_NAME);
        if (library.module == nullptr) {
            return CVN_CALL_REFUSED;
        }
    }
    ++library.bindCount;
    // Resolved in this order on every bind, also when the library was already loaded.
    library.initStream = share::procedure<BE_InitStreamFunction>(library.module, "beInitStream");
    library.encodeChunk = share::procedure<BE_EncodeChunkFunction>(library.module, "beEncodeChunk");
    library.deinitStream = share::procedure<BE_DeinitStreamFunction>(library.module, "beDeinitStream");
    library.closeStream = share::procedure<BE_CloseStreamFunction>(library.module, "beCloseStream");
    library.writeVBRHeader = share::procedure<BE_WriteVBRHeaderFunction>(library.module, "beWriteVBRHeader");
    library.version = share::procedure<BE_VersionFunction>(library.module, "beVersion");
    if (allFunctionsResolved(library)) {
        return CVN_CALL_DONE;
    }
    FreeLibrary(library.module);
    library.module = nullptr;
    --library.bindCount;
    return CVN_CALL_REFUSED;
}

// The steps of a release, without the check of the invariant.
int32_t release(EncoderLibrary& library) {
    if (library.module == nullptr) {
        return CVN_CALL_DONE;
    }
    if (--library.bindCount != 0) {
        return CVN_CALL_DONE;
    }
    const BOOL unloaded = FreeLibrary(library.module);
    library.module = nullptr;
    return unloaded;
}

} // namespace

int32_t bindEncoderLibrary(EncoderLibrary& library) {
    const int32_t result = bind(library);
    share::checkInvariants([&] { return bindingInvariantsHold(library); }, "after a bind");
    return result;
}

int32_t releaseEncoderLibrary(EncoderLibrary& library) {
    const int32_t result = release(library);
    share::checkInvariants([&] { return bindingInvariantsHold(library); }, "after a release");
    return result;
}

} // namespace velmora
