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

// Reads the file's start in blocks, fingerprinting it as it goes, and returns the candidate
// whose stream bytes the file starts with; null when none does. Memory stays one block, however
// long the stream. `candidates` are sorted by length.
const PendingHeader* matchingCandidate(const std::string& path,
                                       const std::vector<PendingHeader>& candidates) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        return nullptr;
    }
    std::vector<uint8_t> block(65536);
    size_t blockBytes = 0;
    size_t blockUsed = 0;
    ByteFingerprint fileBytes;
    const PendingHeader* match = nullptr;
    for (const PendingHeader& candidate : candidates) {
        while (fileBytes.length < candidate.streamBytes.length) {
            if (blockUsed == blockBytes) {
                blockBytes = std::fread(block.data(), 1, block.size(), file);
                blockUsed = 0;
                if (blockBytes == 0) {
                    break;
                }
            }
            const auto wanted = static_cast<size_t>(
                std::min<uint64_t>(candidate.streamBytes.length - fileBytes.length, blockBytes - blockUsed));
            fileBytes.add(block.data() + blockUsed, wanted);
            blockUsed += wanted;
        }
        if (fileBytes.length < candidate.streamBytes.length) {
            break; // the file is shorter than this and every later candidate
        }
        if (fileBytes == candidate.streamBytes && candidate.frame.size() <= fileBytes.length) {
            match = &candidate;
            break;
        }
    }
    std::fclose(file);
    return match;
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
    std::sort(candidates.begin(), candidates.end(), [](const PendingHeader& a, const PendingHeader& b) {
        return a.streamBytes.length < b.streamBytes.length;
    });
    const PendingHeader* match = matchingCandidate(path, candidates);
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
