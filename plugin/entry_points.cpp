// The ten exported entry points: each checks its preconditions and hands the work on.
#include "VelmoraPlugIn.hpp"

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
    return isBound(g_encoderLibrary) && plugInNumber == CVN_ONLY_PLUGIN_NUMBER;
}

} // namespace

extern "C" {

int32_t CVN_CALL CVN_GetPlugInSupportInfo(void) {
    return CVN_PLUGIN_SUPPORT_INFO;
}

int32_t CVN_CALL CVN_InitPlugInDLL(void) {
    return bindEncoderLibrary(g_encoderLibrary);
}

int32_t CVN_CALL CVN_ClosePlugInDLL(void) {
    return releaseEncoderLibrary(g_encoderLibrary);
}

int32_t CVN_CALL CVN_GetPlugInInfo(int32_t plugInNumber, CVN_PlugInInfo* info) {
    if (!acceptsCalls(plugInNumber) || info == nullptr) {
        return CVN_CALL_REFUSED;
    }
    info->firstWord = CVN_PLUGIN_INFO_FIRST_WORD;
    info->formatCount = CVN_FORMAT_COUNT;
    LoadStringA(g_moduleInstance, IDS_PLUGIN_NAME, info->name, sizeof info->name);
    LoadStringA(g_moduleInstance, IDS_FILE_TYPE_TEXT, info->fileTypeText, sizeof info->fileTypeText);
    info->lastWord = CVN_PLUGIN_INFO_LAST_WORD;
    return CVN_CALL_DONE;
}

int32_t CVN_CALL CVN_GetFormatInfo(int32_t plugInNumber, int32_t formatIndex, CVN_FormatInfo* info) {
    if (!acceptsCalls(plugInNumber) || !cvn::isValidFormatIndex(formatIndex) || info == nullptr) {
        return CVN_CALL_REFUSED;
    }
    fillFormatInfo(g_moduleInstance, formatIndex, *info);
    return CVN_CALL_DONE;
}

int32_t CVN_CALL CVN_DisplayAboutDlg(HWND parent, int32_t plugInNumber) {
    if (!acceptsCalls(plugInNumber)) {
        return CVN_CALL_REFUSED;
    }
    return static_cast<int32_t>(
        DialogBoxParamA(g_moduleInstance, MAKEINTRESOURCEA(IDD_ABOUT), parent, aboutDialogProc, 0));
}

int32_t CVN_CALL CVN_DisplayAdvancedConfigDlg(HWND parent, int32_t plugInNumber, int32_t, HKEY settingsKey) {
    if (!acceptsCalls(plugInNumber)) {
        return CVN_CALL_REFUSED;
    }
    const INT_PTR result = DialogBoxParamA(g_moduleInstance, MAKEINTRESOURCEA(IDD_SETTINGS), parent,
                                           settingsDialogProc, reinterpret_cast<LPARAM>(settingsKey));
    return result == IDOK ? CVN_CALL_DONE : CVN_CALL_REFUSED;
}

CVN_StreamResult CVN_CALL CVN_InitStream(const char* path, int32_t plugInNumber, int32_t formatIndex,
                                         HKEY settingsKey, const CVN_TrackInfo* trackInfo,
                                         CVN_StreamHandle* handle) {
    if (!acceptsCalls(plugInNumber) || path == nullptr || trackInfo == nullptr || handle == nullptr) {
        return CVN_STREAM_REFUSED;
    }
    auto* stream = new (std::nothrow) EncoderStream(g_encoderLibrary, formatIndex);
    if (stream == nullptr) {
        return CVN_STREAM_REFUSED;
    }
    if (!stream->setup({path, formatIndex, settingsKey, trackInfo})) {
        delete stream;
        return CVN_STREAM_REFUSED;
    }
    *handle = stream;
    return CVN_STREAM_SUCCEEDED;
}

CVN_StreamResult CVN_CALL CVN_WriteBuffer(CVN_StreamHandle* handle, int32_t frameCount,
                                          const uint32_t* frames) {
    auto* stream = handle == nullptr ? nullptr : static_cast<EncoderStream*>(*handle);
    if (stream == nullptr) {
        MessageBoxA(nullptr, "Illegal Stream Handle", kMessageCaption, MB_OK);
        return CVN_STREAM_REFUSED;
    }
    if (stream->plugInNumber() != CVN_ONLY_PLUGIN_NUMBER) {
        MessageBoxA(nullptr, "Invalid PlugIn Number", kMessageCaption, MB_OK);
        return CVN_STREAM_FAILED;
    }
    return stream->write(frameCount, frames);
}

CVN_StreamResult CVN_CALL CVN_CloseStream(CVN_StreamHandle* handle) {
    auto* stream = handle == nullptr ? nullptr : static_cast<EncoderStream*>(*handle);
    if (stream == nullptr || stream->plugInNumber() != CVN_ONLY_PLUGIN_NUMBER) {
        return CVN_STREAM_REFUSED;
    }
    const int32_t result = stream->finish();
    delete stream;
    return result;
}

} // extern "C"
