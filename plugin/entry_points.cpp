// The ten exported entry points: each checks its preconditions and hands the work on.
#include "VelmoraPlugIn.h"

#include "common/message_caption.h"
#include "common/process_state.h"
#include "format_catalogue.h"
#include "stream/encoder_stream.h"
#include "ui/about_dialog.h"
#include "VelmoraPlugInResources.h"
#include "ui/settings_dialog.h"

#include <new>

using namespace velmora;

namespace {

bool acceptsCalls(int32_t plugInNumber) {
    return isBound(g_encoderLibrary) && plugInNumber == kOnlyPlugInNumber;
}

} // namespace

extern "C" {

int32_t CVN_CALL CVN_GetPlugInSupportInfo(void) {
    return kPlugInSupportInfo;
}

int32_t CVN_CALL CVN_InitPlugInDLL(void) {
    return bindEncoderLibrary(g_encoderLibrary);
}

int32_t CVN_CALL CVN_ClosePlugInDLL(void) {
    return releaseEncoderLibrary(g_encoderLibrary);
}

int32_t CVN_CALL CVN_GetPlugInInfo(int32_t plugInNumber, PlugInInfo* info) {
    if (!acceptsCalls(plugInNumber) || info == nullptr) {
        return kCallRefused;
    }
    info->firstWord = kPlugInInfoFirstWord;
    info->formatCount = kFormatCount;
    LoadStringA(g_moduleInstance, IDS_PLUGIN_NAME, info->name, sizeof info->name);
    LoadStringA(g_moduleInstance, IDS_FILE_TYPE_TEXT, info->fileTypeText, sizeof info->fileTypeText);
    info->lastWord = kPlugInInfoLastWord;
    return kCallDone;
}

int32_t CVN_CALL CVN_GetFormatInfo(int32_t plugInNumber, int32_t formatIndex, FormatInfo* info) {
    if (!acceptsCalls(plugInNumber) || !isValidFormatIndex(formatIndex) || info == nullptr) {
        return kCallRefused;
    }
    fillFormatInfo(g_moduleInstance, formatIndex, *info);
    return kCallDone;
}

int32_t CVN_CALL CVN_DisplayAboutDlg(HWND parent, int32_t plugInNumber) {
    if (!acceptsCalls(plugInNumber)) {
        return kCallRefused;
    }
    return static_cast<int32_t>(
        DialogBoxParamA(g_moduleInstance, MAKEINTRESOURCEA(IDD_ABOUT), parent, aboutDialogProc, 0));
}

int32_t CVN_CALL CVN_DisplayAdvancedConfigDlg(HWND parent, int32_t plugInNumber, int32_t, HKEY settingsKey) {
    if (!acceptsCalls(plugInNumber)) {
        return kCallRefused;
    }
    const INT_PTR result = DialogBoxParamA(g_moduleInstance, MAKEINTRESOURCEA(IDD_SETTINGS), parent,
                                           settingsDialogProc, reinterpret_cast<LPARAM>(settingsKey));
    return result == IDOK ? kCallDone : kCallRefused;
}

StreamResult CVN_CALL CVN_InitStream(const char* path, int32_t plugInNumber, int32_t formatIndex,
                                     HKEY settingsKey, const TrackInfo* trackInfo, StreamHandle* handle) {
    if (!acceptsCalls(plugInNumber) || path == nullptr || trackInfo == nullptr || handle == nullptr) {
        return kStreamRefused;
    }
    auto* stream = new (std::nothrow) EncoderStream(g_encoderLibrary, formatIndex);
    if (stream == nullptr) {
        return kStreamRefused;
    }
    if (!stream->setup({path, formatIndex, settingsKey, trackInfo})) {
        delete stream;
        return kStreamRefused;
    }
    *handle = stream;
    return kStreamSucceeded;
}

StreamResult CVN_CALL CVN_WriteBuffer(StreamHandle* handle, int32_t frameCount, const uint32_t* frames) {
    auto* stream = handle == nullptr ? nullptr : static_cast<EncoderStream*>(*handle);
    if (stream == nullptr) {
        MessageBoxA(nullptr, "Illegal Stream Handle", kMessageCaption, MB_OK);
        return kStreamRefused;
    }
    if (stream->plugInNumber() != kOnlyPlugInNumber) {
        MessageBoxA(nullptr, "Invalid PlugIn Number", kMessageCaption, MB_OK);
        return kStreamFailed;
    }
    return stream->write(frameCount, frames);
}

StreamResult CVN_CALL CVN_CloseStream(StreamHandle* handle) {
    auto* stream = handle == nullptr ? nullptr : static_cast<EncoderStream*>(*handle);
    if (stream == nullptr || stream->plugInNumber() != kOnlyPlugInNumber) {
        return kStreamRefused;
    }
    const int32_t result = stream->finish();
    delete stream;
    return result;
}

} // extern "C"
