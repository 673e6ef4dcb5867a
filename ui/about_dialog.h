// The about box (resource 101): the plug-in's fixed lines and the bound encoder library's
// versions, release date and home page.
#pragma once

#include "lame_enc_interface.hpp"

#include <windows.h>

namespace velmora {

// The dialog procedure. WM_INITDIALOG fills the four library lines from one beVersion call of the
// bound library; OK ends with 1, Esc and the close box with 2.
INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Formats each control's own text as a template with the record's fields: 1001 engine version,
// 1000 library version, 1002 release date (day, month, year), 1003 home page, in that order.
void fillAboutLines(HWND dialog, const BE_VersionInfo& info);

} // namespace velmora
