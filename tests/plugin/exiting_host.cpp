// A host that loads the plug-in, uses it and leaves the process in an order of its own choosing,
// for the tests of teardown. It is not linked with the platform library: the plug-in brings it in,
// unless the steps load it first.
//
//   exiting_host PLUGIN OUTPUT STEP...
//
// Steps, run in order, each printing "STEP ok" (stdout stays buffered, so a crash at exit loses it):
//   platform       dlopen libcvnplatform.so from the plug-in's directory
//   dlopen         dlopen the plug-in
//   loadlibrary    LoadLibraryA the plug-in (after "platform")
//   bind           CVN_InitPlugInDLL
//   stream         CVN_InitStream into OUTPUT and one second of audio, left open
//   close-at-exit  an atexit handler that closes the stream
//   release        CVN_ClosePlugInDLL
//   unload         dlclose or FreeLibrary the plug-in
//   unload-platform  dlclose the platform library
//   exit           exit(7)
//   return         return 7 from main
#include "VelmoraPlugIn.hpp"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr int kExitStatus = 7;

void* g_platform = nullptr;
void* g_plugIn = nullptr;
bool g_loadedByLoadLibrary = false;
CVN_StreamHandle g_stream = nullptr;

template <typename Function> Function symbol(void* module, const char* name) {
    void* address = dlsym(module, name);
    if (address == nullptr) {
        std::fprintf(stderr, "exiting_host: no %s\n", name);
        std::_Exit(2);
    }
    return reinterpret_cast<Function>(address);
}

template <typename Function> Function entryPoint(const char* name) {
    if (g_plugIn == nullptr) {
        std::fprintf(stderr, "exiting_host: the plug-in is not loaded\n");
        std::_Exit(2);
    }
    if (g_loadedByLoadLibrary) {
        using GetProcAddressFunction = FARPROC(WINAPI*)(HMODULE, LPCSTR);
        const auto getProcAddress = symbol<GetProcAddressFunction>(g_platform, "GetProcAddress");
        return reinterpret_cast<Function>(
            reinterpret_cast<void (*)()>(getProcAddress(static_cast<HMODULE>(g_plugIn), name)));
    }
    return symbol<Function>(g_plugIn, name);
}

void closeStreamAtExit() {
    std::printf("close at exit gives %d\n",
                entryPoint<decltype(&CVN_CloseStream)>("CVN_CloseStream")(&g_stream));
}

bool runStep(const std::string& step, const std::string& plugInPath, const std::string& output) {
    if (step == "platform") {
        const std::string directory = plugInPath.substr(0, plugInPath.find_last_of('/'));
        g_platform = dlopen((directory + "/libcvnplatform.so").c_str(), RTLD_NOW);
        return g_platform != nullptr;
    }
    if (step == "dlopen") {
        g_plugIn = dlopen(plugInPath.c_str(), RTLD_NOW | RTLD_LOCAL);
        return g_plugIn != nullptr;
    }
    if (step == "loadlibrary") {
        using LoadLibraryFunction = HMODULE(WINAPI*)(LPCSTR);
        g_plugIn = symbol<LoadLibraryFunction>(g_platform, "LoadLibraryA")(plugInPath.c_str());
        g_loadedByLoadLibrary = true;
        return g_plugIn != nullptr;
    }
    if (step == "bind") {
        return entryPoint<decltype(&CVN_InitPlugInDLL)>("CVN_InitPlugInDLL")() == 1;
    }
    if (step == "stream") {
        CVN_TrackInfo track{};
        track.size = sizeof track;
        std::strcpy(track.title, "Exit");
        if (entryPoint<decltype(&CVN_InitStream)>("CVN_InitStream")(output.c_str(), 0, 16, nullptr, &track,
                                                                    &g_stream) != 0) {
            return false;
        }
        const std::vector<uint32_t> silence(44100, 0);
        return entryPoint<decltype(&CVN_WriteBuffer)>("CVN_WriteBuffer")(&g_stream, 44100, silence.data()) ==
               0;
    }
    if (step == "close-at-exit") {
        return std::atexit(closeStreamAtExit) == 0;
    }
    if (step == "release") {
        return entryPoint<decltype(&CVN_ClosePlugInDLL)>("CVN_ClosePlugInDLL")() != 0;
    }
    if (step == "unload") {
        if (g_loadedByLoadLibrary) {
            using FreeLibraryFunction = BOOL(WINAPI*)(HMODULE);
            return symbol<FreeLibraryFunction>(g_platform, "FreeLibrary")(static_cast<HMODULE>(g_plugIn)) !=
                   0;
        }
        return dlclose(g_plugIn) == 0;
    }
    if (step == "unload-platform") {
        return dlclose(g_platform) == 0;
    }
    std::fprintf(stderr, "exiting_host: unknown step %s\n", step.c_str());
    std::_Exit(2);
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: exiting_host PLUGIN OUTPUT STEP...\n");
        return 2;
    }
    for (int i = 3; i < argc; ++i) {
        const std::string step = argv[i];
        if (step == "exit") {
            std::printf("exit ok\n");
            std::exit(kExitStatus);
        }
        if (step == "return") {
            std::printf("return ok\n");
            return kExitStatus;
        }
        if (!runStep(step, argv[1], argv[2])) {
            std::fprintf(stderr, "exiting_host: step %s failed\n", step.c_str());
            return 3;
        }
        std::printf("%s ok\n", step.c_str());
    }
    return 0;
}
