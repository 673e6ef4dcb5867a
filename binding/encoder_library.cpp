#include "encoder_library.h"

#include "share/invariants.h"

#include "VelmoraPlugIn.h"

namespace velmora {

namespace {

// GetProcAddress gives a generic function pointer; going through void(*)() tells the compiler
// that the cast to the real signature is meant.
template <typename Function> Function resolve(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

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
    library.initStream = resolve<BeInitStreamFunction>(library.module, "beInitStream");
    library.encodeChunk = resolve<BeEncodeChunkFunction>(library.module, "beEncodeChunk");
    library.deinitStream = resolve<BeDeinitStreamFunction>(library.module, "beDeinitStream");
    library.closeStream = resolve<BeCloseStreamFunction>(library.module, "beCloseStream");
    library.writeVBRHeader = resolve<BeWriteVBRHeaderFunction>(library.module, "beWriteVBRHeader");
    library.version = resolve<BeVersionFunction>(library.module, "beVersion");
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
