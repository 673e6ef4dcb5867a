#include "stream_table.h"

#include <limits>
#include <mutex>
#include <new>
#include <vector>

namespace lame_enc {

namespace {

// Not static objects: a host may close its streams from its own exit handlers, which may run
// after this library's static destructors. They are freed by this library's unload code
// instead, which runs after every exit handler, and at its dlclose.
std::mutex& g_tableLock = *new std::mutex;
std::vector<std::shared_ptr<LameStream>>& g_streams = *new std::vector<std::shared_ptr<LameStream>>;

__attribute__((destructor)) void freeTables() {
    delete &g_streams;
    delete &g_tableLock;
}

bool isHandle(BE_Stream handle) {
    return handle >= 1 && handle <= g_streams.size();
}

} // namespace

BE_Stream storeStream(std::shared_ptr<LameStream> stream) {
    std::lock_guard<std::mutex> lock(g_tableLock);
    for (size_t slot = 0; slot < g_streams.size(); ++slot) {
        if (!g_streams[slot]) {
            g_streams[slot] = std::move(stream);
            return static_cast<BE_Stream>(slot + 1);
        }
    }
    if (g_streams.size() >= std::numeric_limits<BE_Stream>::max()) {
        return kNoStream;
    }
    try {
        g_streams.push_back(std::move(stream));
    } catch (const std::bad_alloc&) {
        return kNoStream;
    }
    return static_cast<BE_Stream>(g_streams.size());
}

std::shared_ptr<LameStream> findStream(BE_Stream handle) {
    std::lock_guard<std::mutex> lock(g_tableLock);
    return isHandle(handle) ? g_streams[handle - 1] : nullptr;
}

bool removeStream(BE_Stream handle) {
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
