// Plays the user for the plug-in's modal dialogs. The action gets the open dialog and acts on it
// with ordinary Win32 calls; it must end the dialog with one of the press* helpers. On Linux the
// platform layer's dialog driver runs it inside DialogBoxParamA; on Windows a helper thread finds
// the real dialog window and runs it there.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

namespace cvn::test {

class DialogDriver {
  public:
    explicit DialogDriver(std::function<void(HWND)> action);
    ~DialogDriver();
    DialogDriver(const DialogDriver&) = delete;
    DialogDriver& operator=(const DialogDriver&) = delete;

    // Whether a dialog was found and the action ran.
    bool ran() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

void clickButton(HWND dialog, int id);
void pressOk(HWND dialog);
void pressCancel(HWND dialog);
void pressEscape(HWND dialog);
void pressCloseBox(HWND dialog);
bool isChecked(HWND dialog, int id);
std::string controlText(HWND dialog, int id);
std::string windowTitle(HWND dialog);

} // namespace cvn::test
