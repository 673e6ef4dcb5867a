#include "audio/ffmpeg_module.h"

#include "files/private_library.h"

#include <dlfcn.h>

#include <atomic>
#include <mutex>

namespace cvnhost {

namespace {

constexpr const char* kModuleFileName = "libcvnhost_ffmpeg.so";

std::atomic<bool> g_everyMessage{false};

struct LoadedModule {
    const FfmpegModule* module = nullptr;
    std::string error;
};

LoadedModule load() {
    LoadedModule loaded;
    std::string tried;
    for (const std::filesystem::path& candidate : privateLibraryCandidates(kModuleFileName)) {
        std::error_code existsError;
        if (!std::filesystem::exists(candidate, existsError)) {
            tried += (tried.empty() ? "" : " nor at ") + candidate.string();
            continue;
        }
        // Never closed: decoders of it live until the process ends.
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        const auto entry = handle != nullptr
                               ? reinterpret_cast<FfmpegModuleEntry>(dlsym(handle, kFfmpegModuleEntry))
                               : nullptr;
        if (entry == nullptr) {
            const char* cause = dlerror();
            loaded.error =
                "FFmpeg's libraries cannot be loaded: " + std::string(cause != nullptr ? cause : "");
            return loaded;
        }
        loaded.module = entry();
        loaded.module->showMessages(g_everyMessage.load());
        return loaded;
    }
    loaded.error =
        "FFmpeg's libraries cannot be loaded: " + std::string(kModuleFileName) + " is neither at " + tried;
    return loaded;
}

} // namespace

void showEveryFfmpegMessage() {
    g_everyMessage = true;
}

const FfmpegModule* ffmpegModule(std::string& error) {
    static std::once_flag once;
    static LoadedModule loaded;
    std::call_once(once, [] { loaded = load(); });
    if (loaded.module == nullptr) {
        error = loaded.error;
    }
    return loaded.module;
}

} // namespace cvnhost
