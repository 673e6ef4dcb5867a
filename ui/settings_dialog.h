// The "Extended Settings" dialog (resource 102): the seven settings under the host's key.
#pragma once

#include <windows.h>

namespace velmora {

// The dialog procedure. WM_INITDIALOG's lParam is the settings key, kept in the window's DWLP_USER
// slot; OK writes all seven values and ends with 1, Cancel (also Esc and the close box) writes
// nothing and ends with 2.
INT_PTR CALLBACK settingsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

} // namespace velmora
