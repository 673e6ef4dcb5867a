#include "module_resources.h"
#include "share/no_exceptions.h"

#include <cvnplatform.h>

#include <dlfcn.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <vector>

namespace cvn {

namespace {

// Not static objects: modules call in from their own unload code, which at process exit runs
// after every static destructor. They are freed by this library's unload code instead, which
// runs after that of the modules that depend on it, and at its dlclose.
std::mutex& g_modulesLock = *new std::mutex;
std::map<HMODULE, std::vector<ResourceEntry>>& g_modules = *new std::map<HMODULE, std::vector<ResourceEntry>>;

__attribute__((destructor)) void freeTables() {
    delete &g_modules;
    delete &g_modulesLock;
}

uint16_t primaryLanguage(uint16_t language) {
    return language & 0x3FF;
}

} // namespace

uint16_t userInterfaceLanguage() {
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(variable);
        if (value != nullptr && *value != '\0') {
            return std::strncmp(value, "de", 2) == 0 ? kLanguageGerman : kLanguageEnglish;
        }
    }
    return kLanguageEnglish;
}

std::optional<ResourceEntry> findModuleResource(HMODULE module, uint16_t type, uint16_t name) {
    std::lock_guard<std::mutex> lock(g_modulesLock);
    const auto found = g_modules.find(module);
    if (found == g_modules.end()) {
        return std::nullopt;
    }
    const uint16_t wanted = userInterfaceLanguage();
    const ResourceEntry* english = nullptr;
    const ResourceEntry* neutral = nullptr;
    const ResourceEntry* any = nullptr;
    for (const ResourceEntry& entry : found->second) {
        if (entry.type != type || entry.name != name) {
            continue;
        }
        if (primaryLanguage(entry.language) == primaryLanguage(wanted)) {
            return entry;
        }
        if (primaryLanguage(entry.language) == primaryLanguage(kLanguageEnglish) && english == nullptr) {
            english = &entry;
        }
        if (entry.language == 0 && neutral == nullptr) {
            neutral = &entry;
        }
        if (any == nullptr) {
            any = &entry;
        }
    }
    for (const ResourceEntry* candidate : {english, neutral, any}) {
        if (candidate != nullptr) {
            return *candidate;
        }
    }
    return std::nullopt;
}

} // namespace cvn

extern "C" HMODULE cvnRegisterModule(const void* addressInModule, const unsigned char* resourceBytes,
                                     size_t size) {
    return share::withoutExceptions<HMODULE>(nullptr, [&]() -> HMODULE {
        Dl_info info{};
        if (dladdr(addressInModule, &info) == 0 || info.dli_fname == nullptr) {
            return nullptr;
        }
        void* handle = dlopen(info.dli_fname, RTLD_LAZY | RTLD_NOLOAD);
        if (handle == nullptr) {
            return nullptr;
        }
        // Registering takes no reference: the module's own destructor unregisters it.
        dlclose(handle);
        const auto module = static_cast<HMODULE>(handle);
        std::lock_guard<std::mutex> lock(cvn::g_modulesLock);
        cvn::g_modules[module] = cvn::parseResourceFile(resourceBytes, size);
        return module;
    });
}

extern "C" void cvnUnregisterModule(HMODULE module) {
    std::lock_guard<std::mutex> lock(cvn::g_modulesLock);
    cvn::g_modules.erase(module);
}
