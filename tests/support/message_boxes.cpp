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

// A message box is a dialog whose text is the static control with id 0xFFFF.
void watchForBoxes() {
    while (g_watching.load()) {
        if (HWND box = findOwnDialog(kCaption)) {
            char text[1024] = "";
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
            record(kCaption, text);
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
