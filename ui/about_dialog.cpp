#include "about_dialog.h"

#include "common/process_state.h"
#include "VelmoraPlugInResources.h"
#include "common/formatted_text.h"

#include <cstring>

namespace velmora {

namespace {

constexpr int kLineSize = 256;

// A line of the dialog from its template, cut to the 255 characters the line holds.
template <typename... Arguments>
void setLine(HWND dialog, int id, const char* format, Arguments... arguments) {
    char line[kLineSize];
    formatIntoField(line, sizeof line, format, arguments...);
    SetDlgItemTextA(dialog, id, line);
}

void readTemplate(HWND dialog, int id, char (&text)[kLineSize]) {
    GetDlgItemTextA(dialog, id, text, kLineSize);
}

} // namespace

void fillAboutLines(HWND dialog, const BE_VersionInfo& info) {
    char format[kLineSize];
    readTemplate(dialog, IDC_ENGINE_VERSION, format);
    setLine(dialog, IDC_ENGINE_VERSION, format, static_cast<unsigned>(info.engineMajor),
            static_cast<unsigned>(info.engineMinor));

    readTemplate(dialog, IDC_DLL_VERSION, format);
    setLine(dialog, IDC_DLL_VERSION, format, static_cast<unsigned>(info.dllMajor),
            static_cast<unsigned>(info.dllMinor));

    readTemplate(dialog, IDC_DLL_DATE, format);
    setLine(dialog, IDC_DLL_DATE, format, static_cast<unsigned>(info.releaseDay),
            static_cast<unsigned>(info.releaseMonth), static_cast<unsigned>(info.releaseYear));

    // The library promises a terminator within the record; a record without one is cut there.
    char homePage[BE_HOME_PAGE_SIZE + 1];
    std::memcpy(homePage, info.homePage, BE_HOME_PAGE_SIZE);
    homePage[BE_HOME_PAGE_SIZE] = '\0';
    readTemplate(dialog, IDC_HOME_PAGE, format);
    setLine(dialog, IDC_HOME_PAGE, format, static_cast<const char*>(homePage));
}

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        // Cleared before the call, so that a library that fills less leaves zeros, not stack bytes.
        BE_VersionInfo info;
        std::memset(&info, 0, sizeof info);
        g_encoderLibrary.version(&info);
        fillAboutLines(dialog, info);
        return TRUE;
    }
    if (message == WM_COMMAND && HIWORD(wParam) == 0 &&
        (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

} // namespace velmora
