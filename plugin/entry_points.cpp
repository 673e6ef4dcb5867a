// The ten exported entry points: each checks its preconditions and hands the work on.
#include "VelmoraPlugIn.h"

#include "format_catalogue.h"
#include "process_state.h"
#include "stream/encoder_stream.h"
#include "ui/about_dialog.h"
#include "ui/resource_ids.h"
#include "ui/settings_dialog.h"

#include <new>

namespace {

constexpr int32_t kOnlyPlugInNumber = 0;
constexpr const char* kMessageCaption = "Quenmark";

bool acceptsCalls(int32_t plugInNumber) {
    return isBound(g_encoderLibrary) && plugInNumber == kOnlyPlugInNumber;
}

} // namespace

extern "C" {

int32_t CVN_CALL CVN_GetPlugInSupportInfo(void) {
    return 0x10001;
}

int32_t CVN_CALL CVN_InitPlugInDLL(void) {
    return bindEncoderLibrary(g_encoderLibrary);
}

int32_t CVN_CALL CVN_ClosePlugInDLL(void) {
    return releaseEncoderLibrary(g_encoderLibrary);
}

int32_t CVN_CALL CVN_GetPlugInInfo(int32_t plugInNumber, PlugInInfo* info) {
    if (!acceptsCalls(plugInNumber) || info == nullptr) {
        return 0;
    }
    info->firstWord = 6;
    info->formatCount = kFormatCount;
    LoadStringA(g_moduleInstance, IDS_PLUGIN_NAME, info->name, sizeof info->name);
    LoadStringA(g_moduleInstance, IDS_FILE_TYPE_TEXT, info->fileTypeText, sizeof info->fileTypeText);
    info->lastWord = 1;
    return 1;
}

int32_t CVN_CALL CVN_GetFormatInfo(int32_t plugInNumber, int32_t formatIndex, FormatInfo* info) {
    if (!acceptsCalls(plugInNumber) || !isValidFormatIndex(formatIndex) || info == nullptr) {
        return 0;
    }
    fillFormatInfo(g_moduleInstance, formatIndex, *info);
    return 1;
}

int32_t CVN_CALL CVN_DisplayAboutDlg(HWND parent, int32_t plugInNumber) {
    if (!acceptsCalls(plugInNumber)) {
        return 0;
    }
    return static_cast<int32_t>(
        DialogBoxParamA(g_moduleInstance, MAKEINTRESOURCEA(IDD_ABOUT), parent, aboutDialogProc, 0));
}

int32_t CVN_CALL CVN_DisplayAdvancedConfigDlg(HWND parent, int32_t plugInNumber, int32_t, HKEY settingsKey) {
    if (!acceptsCalls(plugInNumber)) {
        return 0;
    }
    const INT_PTR result = DialogBoxParamA(g_moduleInstance, MAKEINTRESOURCEA(IDD_SETTINGS), parent,
                                           settingsDialogProc, reinterpret_cast<LPARAM>(settingsKey));
    return result == IDOK ? 1 : 0;
}

int32_t CVN_CALL CVN_InitStream(const char* path, int32_t plugInNumber, int32_t formatIndex, HKEY settingsKey,
                                const TrackInfo* trackInfo, StreamHandle* handle) {
    if (!acceptsCalls(plugInNumber) || path == nullptr || trackInfo == nullptr || handle == nullptr) {
        return 1;
    }
    auto* stream = new (std::nothrow) EncoderStream(g_encoderLibrary, formatIndex);
    if (stream == nullptr) {
        return 1;
    }
    if (!stream->setup({path, formatIndex, settingsKey, trackInfo})) {
        delete stream;
        return 1;
    }
    *handle = stream;
    return 0;
}

int32_t CVN_CALL CVN_WriteBuffer(StreamHandle* handle, int32_t frameCount, const uint32_t* frames) {
    auto* stream = handle == nullptr ? nullptr : static_cast<EncoderStream*>(*handle);
    if (stream == nullptr) {
        MessageBoxA(nullptr, "Illegal Stream Handle", kMessageCaption, MB_OK);
        return 1;
    }
    if (stream->plugInNumber() != kOnlyPlugInNumber) {
        MessageBoxA(nullptr, "Invalid PlugIn Number", kMessageCaption, MB_OK);
        return 4;
    }
    return stream->write(frameCount, frames);
}

int32_t CVN_CALL CVN_CloseStream(StreamHandle* handle) {
    auto* stream = handle == nullptr ? nullptr : static_cast<EncoderStream*>(*handle);
    if (stream == nullptr || stream->plugInNumber() != kOnlyPlugInNumber) {
        return 1;
    }
    const int32_t result = stream->finish();
    delete stream;
    return result;
}

} // extern "C"
