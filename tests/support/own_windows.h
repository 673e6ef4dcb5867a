// Windows only: the dialog windows of this test process. Tests of other processes may show theirs
// on the same desktop at the same time, so a window is looked for by process as well as by title.
#pragma once

#include <windows.h>

namespace cvn::test {

// A visible dialog (class "#32770") of this process with this caption, or with any caption when
// `caption` is null; null when there is none.
HWND findOwnDialog(const char* caption);

} // namespace cvn::test
