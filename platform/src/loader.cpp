// LoadLibraryA and its companions over the dynamic loader.
//
// The handle of a module is the dlopen handle of its shared object, so that the handle a module
// learns of itself at load time (cvnRegisterModule) is the one every other module gets for it.
#include "library_names.h"
#include "share/no_exceptions.h"

#include <windows.h>

#include <dlfcn.h>

#include <cstring>
#include <mutex>
#include <string>
#include <vector>

namespace {

// Not static objects: modules call in from their own unload code, which at process exit runs
// after every static destructor. They are freed by this library's unload code instead, which
// runs after that of the modules that depend on it, and at its dlclose.
std::mutex& g_dllDirectoryLock = *new std::mutex;
std::string& g_dllDirectory = *new std::string;

__attribute__((destructor)) void freeTables() {
    delete &g_dllDirectory;
    delete &g_dllDirectoryLock;
}

std::string dllDirectory() {
    std::lock_guard<std::mutex> lock(g_dllDirectoryLock);
    return g_dllDirectory;
}

// The directories that the dynamic loader would search for a library that the object holding
// `caller` needs: LD_LIBRARY_PATH, that object's RUNPATH (or RPATH), the system directories.
// dlopen itself would search those of libcvnplatform.so, since that is where dlopen is called.
std::vector<std::string> searchPathOf(const void* caller) {
    std::vector<std::string> directories;
    Dl_info info{};
    if (dladdr(caller, &info) == 0 || info.dli_fname == nullptr) {
        return directories;
    }
    void* object = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
    if (object == nullptr) {
        return directories;
    }
    Dl_serinfo sizes{};
    if (dlinfo(object, RTLD_DI_SERINFOSIZE, &sizes) == 0) {
        std::vector<unsigned char> storage(sizes.dls_size);
        auto* paths = reinterpret_cast<Dl_serinfo*>(storage.data());
        paths->dls_size = sizes.dls_size;
        paths->dls_cnt = sizes.dls_cnt;
        if (dlinfo(object, RTLD_DI_SERINFO, paths) == 0) {
            for (unsigned int i = 0; i < paths->dls_cnt; ++i) {
                directories.emplace_back(paths->dls_serpath[i].dls_name);
            }
        }
    }
    dlclose(object);
    return directories;
}

HMODULE openObject(const std::string& path) {
    return static_cast<HMODULE>(dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL));
}

HMODULE loadLibraryFor(const void* caller, LPCSTR fileName) {
    if (fileName == nullptr || *fileName == '\0') {
        return nullptr;
    }
    const std::string name = cvn::sharedObjectName(fileName);
    if (name.find('/') != std::string::npos) {
        return openObject(name);
    }
    const std::string directory = dllDirectory();
    if (!directory.empty()) {
        if (HMODULE module = openObject(directory + "/" + name)) {
            return module;
        }
    }
    for (const std::string& searchDirectory : searchPathOf(caller)) {
        if (HMODULE module = openObject(searchDirectory + "/" + name)) {
            return module;
        }
    }
    // The loader's cache of system libraries, which no search path lists.
    return openObject(name);
}

} // namespace

extern "C" {

HMODULE WINAPI LoadLibraryA(LPCSTR fileName) {
    // Taken here, not inside the lambda, whose return address would lie in this library.
    const void* caller = __builtin_return_address(0);
    return share::withoutExceptions<HMODULE>(nullptr,
                                             [&]() -> HMODULE { return loadLibraryFor(caller, fileName); });
}

BOOL WINAPI FreeLibrary(HMODULE module) {
    if (module == nullptr) {
        return FALSE;
    }
    return dlclose(module) == 0 ? TRUE : FALSE;
}

FARPROC WINAPI GetProcAddress(HMODULE module, LPCSTR procName) {
    if (module == nullptr || procName == nullptr) {
        return nullptr;
    }
    void* symbol = dlsym(module, procName);
    FARPROC proc = nullptr;
    static_assert(sizeof proc == sizeof symbol);
    std::memcpy(&proc, &symbol, sizeof proc);
    return proc;
}

HMODULE WINAPI GetModuleHandleA(LPCSTR moduleName) {
    return share::withoutExceptions<HMODULE>(nullptr, [&]() -> HMODULE {
        if (moduleName == nullptr) {
            // The program itself, as on Windows; its handle needs no reference kept.
            void* program = dlopen(nullptr, RTLD_LAZY);
            dlclose(program);
            return static_cast<HMODULE>(program);
        }
        std::string name = cvn::sharedObjectName(moduleName);
        void* object = dlopen(name.c_str(), RTLD_LAZY | RTLD_NOLOAD);
        if (object == nullptr && name.find('/') == std::string::npos) {
            // A module loaded from a directory is known by its path, not by its bare name.
            object = cvn::findLoadedObjectByFileName(name);
        }
        if (object != nullptr) {
            // GetModuleHandleA takes no reference; the RTLD_NOLOAD open took one, so give it back.
            dlclose(object);
        }
        return static_cast<HMODULE>(object);
    });
}

BOOL WINAPI SetDllDirectoryA(LPCSTR pathName) {
    return share::withoutExceptions<BOOL>(FALSE, [&]() -> BOOL {
        std::lock_guard<std::mutex> lock(g_dllDirectoryLock);
        g_dllDirectory = pathName == nullptr ? "" : pathName;
        return TRUE;
    });
}

} // extern "C"
