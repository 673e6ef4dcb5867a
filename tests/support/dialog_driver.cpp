#include "dialog_driver.h"

#include <atomic>
#include <mutex>
#include <thread>

#ifdef _WIN32
#include "own_windows.h"
#else
#include <cvnplatform.h>
#endif

namespace cvn::test {

namespace {

std::function<void(HWND)> g_action;
std::atomic<bool> g_ran{false};

#ifdef _WIN32

std::atomic<bool> g_watching{false};
std::thread g_watcher;

void watch() {
    while (g_watching.load()) {
        if (HWND dialog = findOwnDialog(nullptr)) {
            // Set first: once the action ends the dialog, the test goes on at once.
            g_ran = true;
            g_action(dialog);
            while (IsWindow(dialog) && g_watching.load()) {
                Sleep(5);
            }
        }
        Sleep(5);
    }
}

#else

void runAction(HWND dialog) {
    g_ran = true;
    g_action(dialog);
}

#endif

} // namespace

DialogDriver::DialogDriver(std::function<void(HWND)> action) {
    g_action = std::move(action);
    g_ran = false;
#ifdef _WIN32
    g_watching = true;
    g_watcher = std::thread(watch);
#else
    cvnSetDialogDriver(runAction);
#endif
}

DialogDriver::~DialogDriver() {
#ifdef _WIN32
    g_watching = false;
    g_watcher.join();
#else
    cvnSetDialogDriver(nullptr);
#endif
}

bool DialogDriver::ran() const {
    return g_ran.load();
}

void clickButton(HWND dialog, int id) {
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void pressOk(HWND dialog) {
    clickButton(dialog, IDOK);
}

void pressCancel(HWND dialog) {
    clickButton(dialog, IDCANCEL);
}

void pressEscape(HWND dialog) {
#ifdef _WIN32
    // The dialog manager turns Esc into WM_COMMAND with IDCANCEL.
    PostMessageA(GetDlgItem(dialog, IDOK), WM_KEYDOWN, VK_ESCAPE, 0);
#else
    SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
#endif
}

void pressCloseBox(HWND dialog) {
#ifdef _WIN32
    PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
#else
    (void)dialog; // Returning with the dialog open is the close box here.
#endif
}

bool isChecked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

std::string controlText(HWND dialog, int id) {
    char text[1024] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

std::string windowTitle(HWND dialog) {
    char text[1024] = "";
    GetWindowTextA(dialog, text, sizeof text);
    return text;
}

} // namespace cvn::test
