#include "message_boxes.h"

#include <windows.h>

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

constexpr const char* kCaption = "Quenmark";

std::mutex g_textsLock;
std::vector<std::string> g_texts;

void record(const std::string& caption, const std::string& text) {
    std::lock_guard<std::mutex> lock(g_textsLock);
    g_texts.push_back(caption == kCaption ? text : caption + ": " + text);
}

#ifdef _WIN32

std::atomic<bool> g_watching{false};
std::thread g_watcher;

// A message box's text is its static control with a text. The control's id is -1 stored as a
// pointer-sized value, which GetDlgItem(box, 0xFFFF) finds on 32-bit Windows only, so the
// children are searched by class instead.
BOOL CALLBACK keepStaticText(HWND child, LPARAM found) {
    char className[16] = "";
    char text[1024] = "";
    GetClassNameA(child, className, sizeof className);
    if (lstrcmpiA(className, "Static") == 0 && GetWindowTextA(child, text, sizeof text) > 0) {
        *reinterpret_cast<std::string*>(found) = text;
        return FALSE;
    }
    return TRUE;
}

std::string boxText(HWND box) {
    std::string text;
    EnumChildWindows(box, keepStaticText, reinterpret_cast<LPARAM>(&text));
    return text;
}

void watchForBoxes() {
    while (g_watching.load()) {
        if (HWND box = findOwnDialog(kCaption)) {
            record(kCaption, boxText(box));
            PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
            while (IsWindow(box) && g_watching.load()) {
                Sleep(5);
            }
        }
        Sleep(5);
    }
}

#else

int recordBox(HWND, LPCSTR text, LPCSTR caption, UINT type) {
    // The plug-in's boxes have an OK button only (type MB_OK).
    record(caption == nullptr ? "" : caption,
           std::string(text == nullptr ? "" : text) +
               (type == MB_OK ? "" : " [type " + std::to_string(type) + "]"));
    return IDOK;
}

#endif

} // namespace

MessageBoxes::MessageBoxes() {
    {
        std::lock_guard<std::mutex> lock(g_textsLock);
        g_texts.clear();
    }
#ifdef _WIN32
    g_watching = true;
    g_watcher = std::thread(watchForBoxes);
#else
    cvnSetMessageBoxHandler(recordBox);
#endif
}

MessageBoxes::~MessageBoxes() {
#ifdef _WIN32
    g_watching = false;
    g_watcher.join();
#else
    cvnSetMessageBoxHandler(nullptr);
#endif
}

std::vector<std::string> MessageBoxes::texts() const {
    std::lock_guard<std::mutex> lock(g_textsLock);
    return g_texts;
}

} // namespace cvn::test
