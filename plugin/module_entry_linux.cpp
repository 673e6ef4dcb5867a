// Linux has no module entry point: a constructor that runs when the shared object is loaded
// registers the embedded resources with the platform layer, which tells the module its handle,
// and then runs the same DllMain as on Windows.
#include "embedded_resources.h"

#include <cvnplatform.h>

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace {

HMODULE g_registeredModule = nullptr;

__attribute__((constructor)) void attachModule() {
    g_registeredModule = cvnRegisterModule(reinterpret_cast<const void*>(&attachModule), kEmbeddedResources,
                                           kEmbeddedResourcesSize);
    DllMain(g_registeredModule, DLL_PROCESS_ATTACH, nullptr);
}

__attribute__((destructor)) void detachModule() {
    DllMain(g_registeredModule, DLL_PROCESS_DETACH, nullptr);
    cvnUnregisterModule(g_registeredModule);
}

} // namespace
