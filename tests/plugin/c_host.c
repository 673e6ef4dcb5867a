/* A host written in C99: it includes the contract (and the encoder library's interface, which must
 * compile as C too) as a C program would; loads the plug-in, binds
 * the encoder library and encodes one second of a tone into OUTPUT. Exit status 0 when every call
 * gave what the contract says; otherwise 1, with the call that did not on standard error.
 *
 *   c_host PLUGIN ENCODER_DIRECTORY OUTPUT
 */
#include "VelmoraPlugIn.h"
#include "lame_enc_interface.h"

#include <math.h>
#include <stdio.h>
#include <string.h>

typedef int32_t(CVN_CALL* BindFunction)(void);
typedef int32_t(CVN_CALL* FormatInfoFunction)(int32_t, int32_t, CVN_FormatInfo*);
typedef CVN_StreamResult(CVN_CALL* InitStreamFunction)(const char*, int32_t, int32_t, HKEY,
                                                       const CVN_TrackInfo*, CVN_StreamHandle*);
typedef CVN_StreamResult(CVN_CALL* WriteBufferFunction)(CVN_StreamHandle*, int32_t, const uint32_t*);
typedef CVN_StreamResult(CVN_CALL* CloseStreamFunction)(CVN_StreamHandle*);

static int failed(const char* what) {
    fprintf(stderr, "c_host: %s\n", what);
    return 1;
}

/* Any function's address, to be cast to the entry point's own type. */
typedef void (*AnyFunction)(void);

static AnyFunction entryPoint(HMODULE plugIn, const char* name) {
    AnyFunction address = (AnyFunction)GetProcAddress(plugIn, name);
    if (address == NULL) {
        fprintf(stderr, "c_host: the plug-in does not export %s\n", name);
    }
    return address;
}

/* Whether the file ends with the ID3v1 tag the plug-in writes, with the track's title in it: the
 * stream was closed whole, whichever encoder library (the real one, or the tests' fake) made its
 * audio. */
static int endsWithTheTag(const char* path, const char* title) {
    char tag[128];
    int found = 0;
    FILE* file = fopen(path, "rb");
    if (file == NULL) {
        return 0;
    }
    if (fseek(file, -128L, SEEK_END) == 0 && fread(tag, 1, sizeof tag, file) == sizeof tag) {
        found = memcmp(tag, "TAG", 3) == 0 && strncmp(tag + 3, title, 30) == 0;
    }
    fclose(file);
    return found;
}

static int encodeOneSecond(HMODULE plugIn, const char* output) {
    FormatInfoFunction formatInfo = (FormatInfoFunction)entryPoint(plugIn, "CVN_GetFormatInfo");
    InitStreamFunction initStream = (InitStreamFunction)entryPoint(plugIn, "CVN_InitStream");
    WriteBufferFunction writeBuffer = (WriteBufferFunction)entryPoint(plugIn, "CVN_WriteBuffer");
    CloseStreamFunction closeStream = (CloseStreamFunction)entryPoint(plugIn, "CVN_CloseStream");
    CVN_FormatInfo format;
    CVN_TrackInfo track;
    CVN_StreamHandle stream = NULL;
    static uint32_t frames[CVN_PLUGIN_SAMPLE_RATE];
    uint32_t i;
    if (formatInfo == NULL || initStream == NULL || writeBuffer == NULL || closeStream == NULL) {
        return 1;
    }
    if (formatInfo(CVN_ONLY_PLUGIN_NUMBER, 16, &format) != CVN_CALL_DONE ||
        strcmp(format.description, "128 kBit/sec, Stereo") != 0) {
        return failed("CVN_GetFormatInfo did not describe format 16");
    }
    memset(&track, 0, sizeof track);
    track.size = (int32_t)sizeof track;
    strcpy(track.title, "C host");
    if (initStream(output, CVN_ONLY_PLUGIN_NUMBER, 16, HKEY_CURRENT_USER, &track, &stream) !=
        CVN_STREAM_SUCCEEDED) {
        return failed("CVN_InitStream failed");
    }
    for (i = 0; i < CVN_PLUGIN_SAMPLE_RATE; ++i) {
        const uint16_t sample = (uint16_t)(int16_t)(8000.0 * sin(i * 0.0627));
        frames[i] = (uint32_t)sample | (uint32_t)sample << 16;
    }
    if (writeBuffer(&stream, (int32_t)CVN_PLUGIN_SAMPLE_RATE, frames) != CVN_STREAM_SUCCEEDED) {
        closeStream(&stream);
        return failed("CVN_WriteBuffer failed");
    }
    if (closeStream(&stream) != CVN_STREAM_SUCCEEDED) {
        return failed("CVN_CloseStream failed");
    }
    return endsWithTheTag(output, track.title) ? 0 : failed("the output does not end with its ID3v1 tag");
}

int main(int argc, char** argv) {
    HMODULE plugIn;
    BindFunction bind;
    BindFunction release;
    int result;
    if (argc != 4) {
        return failed("usage: c_host PLUGIN ENCODER_DIRECTORY OUTPUT");
    }
    if (sizeof(CVN_TrackInfo) != 1045 || sizeof(CVN_FormatInfo) != 136 || sizeof(CVN_PlugInInfo) != 172) {
        return failed("the records of the contract do not have their sizes in C");
    }
    SetDllDirectoryA(argv[2]);
    plugIn = LoadLibraryA(argv[1]);
    if (plugIn == NULL) {
        return failed("cannot load the plug-in");
    }
    bind = (BindFunction)entryPoint(plugIn, "CVN_InitPlugInDLL");
    release = (BindFunction)entryPoint(plugIn, "CVN_ClosePlugInDLL");
    if (bind == NULL || release == NULL) {
        return 1;
    }
    if (bind() != CVN_CALL_DONE) {
        return failed("CVN_InitPlugInDLL could not bind the encoder library");
    }
    result = encodeOneSecond(plugIn, argv[3]);
    release();
    FreeLibrary(plugIn);
    if (result == 0) {
        printf("c_host: one second encoded into %s\n", argv[3]);
    }
    return result;
}
