#include "own_windows.h"

namespace cvn::test {

HWND findOwnDialog(const char* caption) {
    for (HWND window = FindWindowExA(nullptr, nullptr, "#32770", caption); window != nullptr;
         window = FindWindowExA(nullptr, window, "#32770", caption)) {
        DWORD process = 0;
        GetWindowThreadProcessId(window, &process);
        if (process == GetCurrentProcessId() && IsWindowVisible(window)) {
            return window;
        }
    }
    return nullptr;
}

} // namespace cvn::test
