// MessageBoxA: there is no desktop here, so a message goes to stderr unless a handler that plays
// the user (a host's own window, a test) is installed.
#include <cvnplatform.h>

#include <atomic>
#include <cstdio>

namespace {

int writeToStandardError(HWND, LPCSTR text, LPCSTR caption, UINT) {
    std::fprintf(stderr, "%s: %s\n", caption == nullptr ? "Error" : caption, text == nullptr ? "" : text);
    return IDOK;
}

std::atomic<CvnMessageBoxHandler> g_handler{writeToStandardError};

} // namespace

extern "C" void cvnSetMessageBoxHandler(CvnMessageBoxHandler handler) {
    g_handler.store(handler == nullptr ? writeToStandardError : handler);
}

extern "C" int WINAPI MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    return g_handler.load()(owner, text, caption, type);
}
