#include "about_dialog.h"

#include "common/process_state.h"
#include "resource_ids.h"

#include <cstring>

namespace {

constexpr int kLineSize = 256;

// wsprintfA may write up to 1024 characters; the line holds 255 and its terminator.
void setLine(HWND dialog, int id, const char* formatted) {
    char line[kLineSize];
    std::strncpy(line, formatted, sizeof line - 1);
    line[sizeof line - 1] = '\0';
    SetDlgItemTextA(dialog, id, line);
}

void readTemplate(HWND dialog, int id, char (&text)[kLineSize]) {
    GetDlgItemTextA(dialog, id, text, kLineSize);
}

} // namespace

void fillAboutLines(HWND dialog, const EncoderVersionInfo& info) {
    char format[kLineSize];
    char formatted[1024];
    readTemplate(dialog, IDC_ENGINE_VERSION, format);
    wsprintfA(formatted, format, static_cast<unsigned>(info.engineMajor),
              static_cast<unsigned>(info.engineMinor));
    setLine(dialog, IDC_ENGINE_VERSION, formatted);

    readTemplate(dialog, IDC_DLL_VERSION, format);
    wsprintfA(formatted, format, static_cast<unsigned>(info.dllMajor), static_cast<unsigned>(info.dllMinor));
    setLine(dialog, IDC_DLL_VERSION, formatted);

    readTemplate(dialog, IDC_DLL_DATE, format);
    wsprintfA(formatted, format, static_cast<unsigned>(info.releaseDay),
              static_cast<unsigned>(info.releaseMonth), static_cast<unsigned>(info.releaseYear));
    setLine(dialog, IDC_DLL_DATE, formatted);

    // The library promises a terminator within the record; a record without one is cut there.
    char homePage[kHomePageSize + 1];
    std::memcpy(homePage, info.homePage, kHomePageSize);
    homePage[kHomePageSize] = '\0';
    readTemplate(dialog, IDC_HOME_PAGE, format);
    wsprintfA(formatted, format, homePage);
    setLine(dialog, IDC_HOME_PAGE, formatted);
}

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_INITDIALOG) {
        // Not cleared before the call: the library fills the whole record.
        EncoderVersionInfo info;
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
