#include "dialog_driver.h"

#include <atomic>
#include <utility>

#ifdef _WIN32
#include "own_windows.h"

#include <thread>
#else
#include <cvnplatform.h>
#endif

namespace cvn::test {

// What the action needs while a dialog is open, owned by its DialogDriver: on Linux the platform
// driver's context, on Windows the watcher's.
struct DialogDriver::State {
    explicit State(std::function<void(HWND)> action) : action(std::move(action)) {}

    std::function<void(HWND)> action;
    std::atomic<bool> ran{false};

#ifdef _WIN32
    void watch() {
        while (watching.load()) {
            if (HWND dialog = findOwnDialog(nullptr)) {
                // Set first: once the action ends the dialog, the test goes on at once.
                ran = true;
                action(dialog);
                while (IsWindow(dialog) && watching.load()) {
                    Sleep(5);
                }
            }
            Sleep(5);
        }
    }

    std::atomic<bool> watching{true};
    std::thread watcher;
#else
    static void drive(HWND dialog, void* context) {
        State& state = *static_cast<State*>(context);
        state.ran = true;
        state.action(dialog);
    }
#endif
};

DialogDriver::DialogDriver(std::function<void(HWND)> action)
    : state_(std::make_unique<State>(std::move(action))) {
#ifdef _WIN32
    state_->watcher = std::thread(&State::watch, state_.get());
#else
    cvnSetDialogDriver(State::drive, state_.get());
#endif
}

DialogDriver::~DialogDriver() {
#ifdef _WIN32
    state_->watching = false;
    state_->watcher.join();
#else
    cvnSetDialogDriver(nullptr, nullptr);
#endif
}

bool DialogDriver::ran() const {
    return state_->ran.load();
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
