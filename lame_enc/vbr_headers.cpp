#include "vbr_headers.h"

#include <algorithm>
#include <cstdio>
#include <deque>
#include <mutex>

namespace lame_enc {

namespace {

struct PendingHeader {
    ByteFingerprint streamBytes;
    std::vector<uint8_t> frame;
};

// Not static objects: a host may close its streams from its own exit handlers, which may run
// after this library's static destructors. They are freed by this library's unload code
// instead, which runs after every exit handler, and at its dlclose.
std::mutex& g_pendingLock = *new std::mutex;
std::deque<PendingHeader>& g_pending = *new std::deque<PendingHeader>;

__attribute__((destructor)) void freeTables() {
    delete &g_pending;
    delete &g_pendingLock;
}

// Reads up to `limit` bytes from the start of the file.
bool readFileStart(const std::string& path, uint64_t limit, std::vector<uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return false;
    }
    bytes.resize(static_cast<size_t>(limit));
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
    std::fclose(file);
    return true;
}

bool overwriteFileStart(const std::string& path, const std::vector<uint8_t>& frame) {
    std::FILE* file = std::fopen(path.c_str(), "r+b");
    if (file == nullptr) {
        return false;
    }
    const bool written = std::fwrite(frame.data(), frame.size(), 1, file) == 1;
    return std::fclose(file) == 0 && written;
}

} // namespace

void addPendingHeader(const ByteFingerprint& streamBytes, std::vector<uint8_t> headerFrame) {
    std::lock_guard<std::mutex> lock(g_pendingLock);
    g_pending.push_back({streamBytes, std::move(headerFrame)});
    while (g_pending.size() > kMaxPendingHeaders) {
        g_pending.pop_front();
    }
}

bool writePendingHeader(const std::string& path) {
    std::vector<PendingHeader> candidates;
    {
        std::lock_guard<std::mutex> lock(g_pendingLock);
        candidates.assign(g_pending.begin(), g_pending.end());
    }
    if (candidates.empty()) {
        return false;
    }
    uint64_t longest = 0;
    for (const PendingHeader& candidate : candidates) {
        longest = std::max(longest, candidate.streamBytes.length);
    }
    std::vector<uint8_t> bytes;
    if (!readFileStart(path, longest, bytes)) {
        return false;
    }
    // One pass over the file's start, comparing at each candidate's length.
    std::sort(candidates.begin(), candidates.end(), [](const PendingHeader& a, const PendingHeader& b) {
        return a.streamBytes.length < b.streamBytes.length;
    });
    ByteFingerprint fileBytes;
    const PendingHeader* match = nullptr;
    for (const PendingHeader& candidate : candidates) {
        if (candidate.streamBytes.length > bytes.size()) {
            break;
        }
        fileBytes.add(bytes.data() + fileBytes.length,
                      static_cast<size_t>(candidate.streamBytes.length - fileBytes.length));
        if (fileBytes == candidate.streamBytes && candidate.frame.size() <= bytes.size()) {
            match = &candidate;
            break;
        }
    }
    if (match == nullptr) {
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(g_pendingLock);
        const auto stored =
            std::find_if(g_pending.begin(), g_pending.end(), [&](const PendingHeader& pending) {
                return pending.streamBytes == match->streamBytes && pending.frame == match->frame;
            });
        if (stored == g_pending.end()) {
            return false; // Another call wrote it meanwhile.
        }
        g_pending.erase(stored);
    }
    return overwriteFileStart(path, match->frame);
}

} // namespace lame_enc
