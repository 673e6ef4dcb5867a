// Modal dialog boxes and their controls. A window handle is the address of its Dialog or
// Control; only handles of live windows are accepted.
//
// Threads: a dialog and its controls belong to the thread that runs DialogBoxParamA for it. Its
// procedure, the driver and every call that reads or changes the dialog or a control run on that
// thread; no other thread touches them. g_windowsLock guards only the set of live handles, not the
// windows themselves: it makes the lookup of a handle safe while other threads create and destroy
// their own dialogs. A handle that the owning thread finds live stays live until its dialog returns
// from DialogBoxParamA on that same thread, so the pointer that live() returns after unlocking
// stays valid for as long as that thread uses it.
#include "dialog_template.h"
#include "share/no_exceptions.h"
#include "module_resources.h"

#include <cvnplatform.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <type_traits>
#include <vector>

namespace {

struct Dialog;

// What a dialog and a control have in common: what their handle shows to GetWindowTextA,
// GetWindowLongPtrA and GetDlgCtrlID.
struct Window {
    enum class Kind { Dialog, Control };
    explicit Window(Kind kind) : kind(kind) {}
    const Kind kind;
    std::string text;
    uint32_t style = 0;
    int id = 0;
};

struct Control : Window {
    Control() : Window(Kind::Control) {}
    Dialog* dialog = nullptr; // the owner
    std::string className;    // "BUTTON", "COMBOBOX", "STATIC", ...
    // Buttons.
    bool checked = false;
    // Combo boxes.
    std::vector<std::string> items;
    int selection = CB_ERR;
};

struct Dialog : Window {
    Dialog() : Window(Kind::Dialog) {}
    std::vector<std::unique_ptr<Control>> controls;
    DLGPROC procedure = nullptr;
    LONG_PTR userSlot = 0;
    bool ended = false;
    INT_PTR result = 0;
};

// Not static objects: modules call in from their own unload code, which at process exit runs
// after every static destructor. They are freed by this library's unload code instead, which
// runs after that of the modules that depend on it, and at its dlclose.
std::mutex& g_windowsLock = *new std::mutex;
std::set<const Window*>& g_liveWindows = *new std::set<const Window*>;

__attribute__((destructor)) void freeTables() {
    delete &g_liveWindows;
    delete &g_windowsLock;
}

// The driver and its context, read and replaced together: a dialog never runs one driver with
// another's context. Unlike the tables above these may be static: their lock is torn down by no
// destructor, so a call from any unload code still finds it.
struct DriverBinding {
    CvnDialogDriver driver = nullptr;
    void* context = nullptr;
};
static_assert(std::is_trivially_destructible_v<std::mutex>);
std::mutex g_driverLock;
DriverBinding g_driverBinding;

DriverBinding currentDriver() {
    std::lock_guard<std::mutex> lock(g_driverLock);
    return g_driverBinding;
}

Window* live(HWND handle) {
    auto* window = reinterpret_cast<Window*>(handle);
    std::lock_guard<std::mutex> lock(g_windowsLock);
    return g_liveWindows.count(window) != 0 ? window : nullptr;
}

Dialog* liveDialog(HWND handle) {
    Window* window = live(handle);
    return window != nullptr && window->kind == Window::Kind::Dialog ? static_cast<Dialog*>(window) : nullptr;
}

Control* liveControl(HWND handle) {
    Window* window = live(handle);
    return window != nullptr && window->kind == Window::Kind::Control ? static_cast<Control*>(window)
                                                                      : nullptr;
}

HWND handleOf(Window* window) {
    return reinterpret_cast<HWND>(window);
}

Control* control(HWND dialogHandle, int id) {
    Dialog* dialog = liveDialog(dialogHandle);
    if (dialog == nullptr) {
        return nullptr;
    }
    for (const auto& item : dialog->controls) {
        if (item->id == id) {
            return item.get();
        }
    }
    return nullptr;
}

uint32_t buttonType(const Control& control) {
    return control.style & BS_TYPEMASK;
}

bool isRadioButton(const Control& control) {
    return control.className == "BUTTON" &&
           (buttonType(control) == BS_AUTORADIOBUTTON || buttonType(control) == BS_RADIOBUTTON);
}

// Checks an auto radio button and clears the other radio buttons of its group: the controls from
// the nearest one at or before it that starts a group (WS_GROUP) up to the next one that does.
void checkWithinGroup(Control& button) {
    auto& controls = button.dialog->controls;
    size_t index = 0;
    while (controls[index].get() != &button) {
        ++index;
    }
    size_t first = index;
    while (first > 0 && (controls[first]->style & WS_GROUP) == 0) {
        --first;
    }
    for (size_t i = first; i < controls.size(); ++i) {
        if (i > first && (controls[i]->style & WS_GROUP) != 0) {
            break;
        }
        if (isRadioButton(*controls[i])) {
            controls[i]->checked = controls[i].get() == &button;
        }
    }
}

size_t copyText(const std::string& text, LPSTR buffer, int bufferMax) {
    if (buffer == nullptr || bufferMax <= 0) {
        return 0;
    }
    const size_t length = std::min(text.size(), static_cast<size_t>(bufferMax - 1));
    std::memcpy(buffer, text.data(), length);
    buffer[length] = '\0';
    return length;
}

LRESULT buttonMessage(Control& button, UINT message, WPARAM wParam) {
    switch (message) {
    case BM_GETCHECK:
        return button.checked ? BST_CHECKED : BST_UNCHECKED;
    case BM_SETCHECK:
        button.checked = wParam == BST_CHECKED;
        return 0;
    case BM_CLICK:
        if (buttonType(button) == BS_AUTOCHECKBOX) {
            button.checked = !button.checked;
        } else if (buttonType(button) == BS_AUTORADIOBUTTON) {
            checkWithinGroup(button);
        }
        return SendMessageA(handleOf(button.dialog), WM_COMMAND, MAKEWPARAM(button.id, BN_CLICKED),
                            reinterpret_cast<LPARAM>(handleOf(&button)));
    default:
        return 0;
    }
}

LRESULT comboBoxMessage(Control& combo, UINT message, WPARAM wParam, LPARAM lParam) {
    const auto count = static_cast<int>(combo.items.size());
    switch (message) {
    case CB_ADDSTRING:
        combo.items.emplace_back(lParam == 0 ? "" : reinterpret_cast<const char*>(lParam));
        return count;
    case CB_GETCOUNT:
        return count;
    case CB_GETCURSEL:
        return combo.selection;
    case CB_SETCURSEL: {
        const auto index = static_cast<int>(wParam);
        combo.selection = (index >= 0 && index < count) ? index : CB_ERR;
        return combo.selection;
    }
    case CB_GETLBTEXT: {
        const auto index = static_cast<int>(wParam);
        if (index < 0 || index >= count || lParam == 0) {
            return CB_ERR;
        }
        const std::string& item = combo.items[static_cast<size_t>(index)];
        std::memcpy(reinterpret_cast<char*>(lParam), item.c_str(), item.size() + 1);
        return static_cast<LRESULT>(item.size());
    }
    default:
        return 0;
    }
}

std::unique_ptr<Dialog> buildDialog(const cvn::DialogTemplate& layout, DLGPROC procedure) {
    auto dialog = std::make_unique<Dialog>();
    dialog->text = layout.title;
    dialog->style = layout.style;
    dialog->procedure = procedure;
    for (const cvn::DialogItemTemplate& item : layout.items) {
        auto window = std::make_unique<Control>();
        window->dialog = dialog.get();
        window->className = item.className;
        window->text = item.text;
        window->style = item.style;
        window->id = item.id;
        dialog->controls.push_back(std::move(window));
    }
    return dialog;
}

// A dialog whose window and controls are live (known by their handles) exactly as long as this
// object exists, however DialogBoxParamA is left: an exception from the procedure or the driver,
// or a failed registration, leaves no handle behind that points at freed memory.
class LiveDialog {
  public:
    LiveDialog(const cvn::DialogTemplate& layout, DLGPROC procedure)
        : dialog_(buildDialog(layout, procedure)) {
        std::lock_guard<std::mutex> lock(g_windowsLock);
        try {
            g_liveWindows.insert(dialog_.get());
            for (const auto& item : dialog_->controls) {
                g_liveWindows.insert(item.get());
            }
        } catch (...) {
            forget();
            throw;
        }
    }
    ~LiveDialog() {
        std::lock_guard<std::mutex> lock(g_windowsLock);
        forget();
    }
    LiveDialog(const LiveDialog&) = delete;
    LiveDialog& operator=(const LiveDialog&) = delete;

    Dialog& operator*() const { return *dialog_; }
    Dialog* operator->() const { return dialog_.get(); }

  private:
    // With g_windowsLock held. Erasing a window that is not in the set does nothing.
    void forget() {
        for (const auto& item : dialog_->controls) {
            g_liveWindows.erase(item.get());
        }
        g_liveWindows.erase(dialog_.get());
    }

    std::unique_ptr<Dialog> dialog_;
};

} // namespace

extern "C" {

void cvnSetDialogDriver(CvnDialogDriver driver, void* context) {
    std::lock_guard<std::mutex> lock(g_driverLock);
    g_driverBinding = {driver, context};
}

INT_PTR WINAPI DialogBoxParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC dialogProc,
                               LPARAM initParam) {
    return share::withoutExceptions<INT_PTR>(-1, [&]() -> INT_PTR {
        if (parent != nullptr && live(parent) == nullptr) {
            return 0;
        }
        const auto name = reinterpret_cast<uintptr_t>(templateName);
        if (name > 0xFFFF || dialogProc == nullptr) {
            return -1; // Only dialogs named by number exist here.
        }
        const auto resource =
            cvn::findModuleResource(instance, cvn::kResourceTypeDialog, static_cast<uint16_t>(name));
        if (!resource) {
            return -1;
        }
        const auto layout = cvn::parseDialogTemplate(resource->data, resource->size);
        const DriverBinding binding = currentDriver();
        if (!layout || binding.driver == nullptr) {
            return -1;
        }
        const LiveDialog dialog(*layout, dialogProc);
        HWND handle = handleOf(&*dialog);
        HWND firstTabStop = nullptr;
        for (const auto& item : dialog->controls) {
            if (firstTabStop == nullptr && (item->style & WS_TABSTOP) != 0) {
                firstTabStop = handleOf(item.get());
            }
        }
        dialogProc(handle, WM_INITDIALOG, reinterpret_cast<WPARAM>(firstTabStop), initParam);
        if (!dialog->ended) {
            binding.driver(handle, binding.context);
        }
        if (!dialog->ended) {
            dialogProc(handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0); // as the close box does
        }
        return dialog->ended ? dialog->result : IDCANCEL;
    });
}

BOOL WINAPI EndDialog(HWND dialogHandle, INT_PTR result) {
    Dialog* dialog = liveDialog(dialogHandle);
    if (dialog == nullptr) {
        return FALSE;
    }
    dialog->ended = true;
    dialog->result = result;
    return TRUE;
}

HWND WINAPI GetDlgItem(HWND dialog, int id) {
    return handleOf(control(dialog, id));
}

int WINAPI GetDlgCtrlID(HWND handle) {
    Window* window = live(handle);
    return window == nullptr ? 0 : window->id;
}

UINT WINAPI GetDlgItemTextA(HWND dialog, int id, LPSTR buffer, int bufferMax) {
    Control* window = control(dialog, id);
    if (window == nullptr) {
        copyText("", buffer, bufferMax);
        return 0;
    }
    return static_cast<UINT>(copyText(window->text, buffer, bufferMax));
}

BOOL WINAPI SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
    return share::withoutExceptions<BOOL>(FALSE, [&]() -> BOOL {
        Control* window = control(dialog, id);
        if (window == nullptr) {
            return FALSE;
        }
        window->text = text == nullptr ? "" : text;
        return TRUE;
    });
}

int WINAPI GetWindowTextA(HWND handle, LPSTR buffer, int bufferMax) {
    Window* window = live(handle);
    return static_cast<int>(copyText(window == nullptr ? "" : window->text, buffer, bufferMax));
}

BOOL WINAPI CheckDlgButton(HWND dialog, int id, UINT check) {
    Control* window = control(dialog, id);
    if (window == nullptr) {
        return FALSE;
    }
    window->checked = check == BST_CHECKED;
    return TRUE;
}

UINT WINAPI IsDlgButtonChecked(HWND dialog, int id) {
    Control* window = control(dialog, id);
    return window != nullptr && window->checked ? BST_CHECKED : BST_UNCHECKED;
}

BOOL WINAPI CheckRadioButton(HWND dialogHandle, int firstId, int lastId, int checkId) {
    Dialog* dialog = liveDialog(dialogHandle);
    if (dialog == nullptr) {
        return FALSE;
    }
    for (const auto& item : dialog->controls) {
        if (item->id >= firstId && item->id <= lastId) {
            item->checked = item->id == checkId;
        }
    }
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND handle, UINT message, WPARAM wParam, LPARAM lParam) {
    return share::withoutExceptions<LRESULT>(CB_ERRSPACE, [&]() -> LRESULT {
        if (Dialog* dialog = liveDialog(handle)) {
            return dialog->procedure(handle, message, wParam, lParam);
        }
        Control* control = liveControl(handle);
        if (control == nullptr) {
            return 0;
        }
        if (control->className == "BUTTON") {
            return buttonMessage(*control, message, wParam);
        }
        if (control->className == "COMBOBOX") {
            return comboBoxMessage(*control, message, wParam, lParam);
        }
        return 0;
    });
}

LRESULT WINAPI SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendMessageA(GetDlgItem(dialog, id), message, wParam, lParam);
}

LONG_PTR WINAPI SetWindowLongPtrA(HWND handle, int index, LONG_PTR value) {
    Dialog* dialog = liveDialog(handle);
    if (dialog == nullptr || index != static_cast<int>(DWLP_USER)) {
        return 0;
    }
    const LONG_PTR previous = dialog->userSlot;
    dialog->userSlot = value;
    return previous;
}

LONG_PTR WINAPI GetWindowLongPtrA(HWND handle, int index) {
    Window* window = live(handle);
    if (window == nullptr) {
        return 0;
    }
    if (index == static_cast<int>(DWLP_USER) && window->kind == Window::Kind::Dialog) {
        return static_cast<Dialog*>(window)->userSlot;
    }
    if (index == GWL_STYLE) {
        return static_cast<LONG>(window->style);
    }
    if (index == GWL_ID) {
        return window->id;
    }
    return 0;
}

LONG WINAPI GetWindowLongA(HWND handle, int index) {
    return static_cast<LONG>(GetWindowLongPtrA(handle, index));
}

BOOL WINAPI IsWindow(HWND handle) {
    return live(handle) != nullptr ? TRUE : FALSE;
}

} // extern "C"
