#include "stream_table.h"

#include <array>
#include <mutex>

namespace lame_enc {

namespace {

// Not static objects: a host may close its streams from its own exit handlers, which may run
// after this library's static destructors. They are freed by this library's unload code
// instead, which runs after every exit handler, and at its dlclose.
std::mutex& g_tableLock = *new std::mutex;
std::array<std::shared_ptr<LameStream>, kMaxStreams>& g_streams =
    *new std::array<std::shared_ptr<LameStream>, kMaxStreams>;

__attribute__((destructor)) void freeTables() {
    delete &g_streams;
    delete &g_tableLock;
}

bool isHandle(BeStream handle) {
    return handle >= 1 && handle <= kMaxStreams;
}

} // namespace

BeStream storeStream(std::shared_ptr<LameStream> stream) {
    std::lock_guard<std::mutex> lock(g_tableLock);
    for (BeStream slot = 0; slot < kMaxStreams; ++slot) {
        if (!g_streams[slot]) {
            g_streams[slot] = std::move(stream);
            return slot + 1;
        }
    }
    return kNoStream;
}

std::shared_ptr<LameStream> findStream(BeStream handle) {
    std::lock_guard<std::mutex> lock(g_tableLock);
    return isHandle(handle) ? g_streams[handle - 1] : nullptr;
}

bool removeStream(BeStream handle) {
    std::shared_ptr<LameStream> removed;
    {
        std::lock_guard<std::mutex> lock(g_tableLock);
        if (!isHandle(handle) || !g_streams[handle - 1]) {
            return false;
        }
        removed.swap(g_streams[handle - 1]);
    }
    // The encoder is released here, outside the lock, unless another thread still holds it.
    return true;
}

} // namespace lame_enc
