#include "encoder_library.h"

namespace {

// GetProcAddress gives a generic function pointer; going through void(*)() tells the compiler
// that the cast to the real signature is meant.
template <typename Function> Function resolve(HMODULE module, const char* name) {
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

} // namespace

int32_t bindEncoderLibrary(EncoderLibrary& library) {
    if (library.module == nullptr) {
        library.module = LoadLibraryA(kEncoderLibraryFileName);
        if (library.module == nullptr) {
            return 0;
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
    if (library.initStream != nullptr && library.encodeChunk != nullptr && library.deinitStream != nullptr &&
        library.closeStream != nullptr && library.writeVBRHeader != nullptr && library.version != nullptr) {
        return 1;
    }
    FreeLibrary(library.module);
    library.module = nullptr;
    --library.bindCount;
    return 0;
}

int32_t releaseEncoderLibrary(EncoderLibrary& library) {
    if (library.module == nullptr) {
        return 1;
    }
    if (--library.bindCount != 0) {
        return 1;
    }
    const BOOL unloaded = FreeLibrary(library.module);
    library.module = nullptr;
    return unloaded;
}
