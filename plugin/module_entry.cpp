// The module entry point. On Windows the system calls it; on Linux the load-time constructor in
// module_entry_linux.cpp does, with the shared object's own handle.
#include "common/process_state.h"

#include <windows.h>

using namespace velmora;

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        g_moduleInstance = instance;
        g_encoderLibrary.module = nullptr;
        g_encoderLibrary.bindCount = 0;
    }
    // The encoder library is not unloaded at process detach: the host releases its binds, and
    // unloading from inside the loader's own lock is unsafe.
    return TRUE;
}
