#include "encoder_library.h"

#include "share/invariants.h"
#include "share/plugin_entry_points.h"

#include "VelmoraPlugIn.h"

namespace velmora {

namespace {

// The steps of a bind, without the check of the invariant.
int32_t bind(EncoderLibrary& library) {
    if (library.module == nullptr) {
        library.module = LoadLibraryA(kEncoderLibraryFileName);
        if (library.module == nullptr) {
            return kCallRefused;
        }
    }
    ++library.bindCount;
    // Resolved in this order on every bind, also when the library was already loaded.
    library.initStream = share::procedure<BeInitStreamFunction>(library.module, "beInitStream");
    library.encodeChunk = share::procedure<BeEncodeChunkFunction>(library.module, "beEncodeChunk");
    library.deinitStream = share::procedure<BeDeinitStreamFunction>(library.module, "beDeinitStream");
    library.closeStream = share::procedure<BeCloseStreamFunction>(library.module, "beCloseStream");
    library.writeVBRHeader = share::procedure<BeWriteVBRHeaderFunction>(library.module, "beWriteVBRHeader");
    library.version = share::procedure<BeVersionFunction>(library.module, "beVersion");
    if (allFunctionsResolved(library)) {
        return kCallDone;
    }
    FreeLibrary(library.module);
    library.module = nullptr;
    --library.bindCount;
    return kCallRefused;
}

// The steps of a release, without the check of the invariant.
int32_t release(EncoderLibrary& library) {
    if (library.module == nullptr) {
        return kCallDone;
    }
    if (--library.bindCount != 0) {
        return kCallDone;
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
