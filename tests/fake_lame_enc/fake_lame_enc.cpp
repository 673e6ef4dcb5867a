// A scriptable stand-in for the encoder library (see fake_control.h). Built twice: complete, and
// without beWriteVBRHeader (FAKE_WITHOUT_VBR_HEADER) for the bind that must fail.
#include "fake_control.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace {

struct QueuedOutput {
    std::vector<uint8_t> bytes;
    uint32_t reportedBytes;
};

struct Script {
    uint32_t chunkSamples = 2304;
    uint32_t outputBufferSize = 8192;
    std::map<std::string, std::deque<uint32_t>> results;
    std::map<std::string, std::deque<QueuedOutput>> outputs;
    BE_VersionInfo version{};
    std::string log;
    std::set<BE_Stream> openStreams;
    BE_Stream nextStream = 1;
    BE_EncoderConfig lastConfig{};
    uint32_t failCountdown = 0; // the call that fails, counting from 1; 0 for none
    uint32_t failResult = 0;
};

std::mutex g_lock;
Script g_script;

uint32_t nextResult(const char* function) {
    if (g_script.failCountdown > 0 && --g_script.failCountdown == 0) {
        return g_script.failResult;
    }
    auto& queue = g_script.results[function];
    if (queue.empty()) {
        return 0;
    }
    const uint32_t result = queue.front();
    queue.pop_front();
    return result;
}

bool takeOutput(const char* function, QueuedOutput& output) {
    auto& queue = g_script.outputs[function];
    if (queue.empty()) {
        return false;
    }
    output = queue.front();
    queue.pop_front();
    return true;
}

void logLine(const char* format, ...) __attribute__((format(printf, 1, 2)));
void logLine(const char* format, ...) {
    char line[512];
    va_list arguments;
    va_start(arguments, format);
    std::vsnprintf(line, sizeof line, format, arguments);
    va_end(arguments);
    g_script.log += line;
    g_script.log += '\n';
}

[[maybe_unused]] long fileSize(const char* path) {
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return -1;
    }
    std::fseek(file, 0, SEEK_END);
    const long size = std::ftell(file);
    std::fclose(file);
    return size;
}

// A queued output may be empty: memcpy with its null data would be undefined even for no bytes.
void copyBytes(uint8_t* output, const std::vector<uint8_t>& bytes) {
    if (!bytes.empty()) {
        std::memcpy(output, bytes.data(), bytes.size());
    }
}

} // namespace

extern "C" {

FAKE_EXPORT void fakeReset(void) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_script = Script{};
}

FAKE_EXPORT void fakeSetStreamSizes(uint32_t chunkSamples, uint32_t outputBufferSize) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_script.chunkSamples = chunkSamples;
    g_script.outputBufferSize = outputBufferSize;
}

FAKE_EXPORT void fakeQueueResult(const char* function, uint32_t result) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_script.results[function].push_back(result);
}

FAKE_EXPORT void fakeFailCall(uint32_t n, uint32_t result) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_script.failCountdown = n;
    g_script.failResult = result;
}

FAKE_EXPORT void fakeQueueOutput(const char* function, const uint8_t* bytes, uint32_t size,
                                 uint32_t reportedBytes) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_script.outputs[function].push_back({std::vector<uint8_t>(bytes, bytes + size), reportedBytes});
}

FAKE_EXPORT void fakeSetVersion(const BE_VersionInfo* info) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_script.version = *info;
}

FAKE_EXPORT size_t fakeLog(char* buffer, size_t size) {
    std::lock_guard<std::mutex> lock(g_lock);
    if (buffer != nullptr && size > 0) {
        const size_t copied = g_script.log.size() < size - 1 ? g_script.log.size() : size - 1;
        std::memcpy(buffer, g_script.log.data(), copied);
        buffer[copied] = '\0';
    }
    return g_script.log.size();
}

FAKE_EXPORT int fakeOpenStreams(void) {
    std::lock_guard<std::mutex> lock(g_lock);
    return static_cast<int>(g_script.openStreams.size());
}

FAKE_EXPORT void fakeLastConfig(BE_EncoderConfig* config) {
    std::lock_guard<std::mutex> lock(g_lock);
    *config = g_script.lastConfig;
}

FAKE_EXPORT BE_Result BE_CALL beInitStream(BE_EncoderConfig* config, uint32_t* chunkSamples,
                                           uint32_t* outputBufferSize, BE_Stream* stream) {
    std::lock_guard<std::mutex> lock(g_lock);
    g_script.lastConfig = *config;
    const uint32_t result = nextResult("beInitStream");
    logLine(
        "beInitStream kind=%u rate=%u mode=%u bitrate=%u private=%u crc=0x%x copyright=%u original=%u -> %u",
        config->configKind, config->sampleRate, config->channelMode, config->bitrate, config->privateFlag,
        config->crcWord, config->copyrightFlag, config->originalFlag, result);
    if (result == 0) {
        *chunkSamples = g_script.chunkSamples;
        *outputBufferSize = g_script.outputBufferSize;
        *stream = g_script.nextStream++;
        g_script.openStreams.insert(*stream);
    }
    return result;
}

FAKE_EXPORT BE_Result BE_CALL beEncodeChunk(BE_Stream stream, uint32_t sampleCount, const int16_t* samples,
                                            uint8_t* output, uint32_t* outputBytes) {
    std::lock_guard<std::mutex> lock(g_lock);
    const uint32_t result = nextResult("beEncodeChunk");
    QueuedOutput queued;
    if (takeOutput("beEncodeChunk", queued)) {
        copyBytes(output, queued.bytes);
        *outputBytes = queued.reportedBytes;
    } else {
        // Never more than the buffer that beInitStream asked the caller for.
        const uint32_t echoed =
            2 * sampleCount <= g_script.outputBufferSize ? sampleCount : g_script.outputBufferSize / 2;
        for (uint32_t i = 0; i < echoed; ++i) {
            const auto sample = static_cast<uint16_t>(samples[i]);
            output[2 * i] = static_cast<uint8_t>(sample & 0xFF);
            output[2 * i + 1] = static_cast<uint8_t>(sample >> 8);
        }
        *outputBytes = 2 * echoed;
    }
    logLine("beEncodeChunk stream=%u samples=%u -> %u bytes=%u", stream, sampleCount, result, *outputBytes);
    return result;
}

FAKE_EXPORT BE_Result BE_CALL beDeinitStream(BE_Stream stream, uint8_t* output, uint32_t* outputBytes) {
    std::lock_guard<std::mutex> lock(g_lock);
    const uint32_t result = nextResult("beDeinitStream");
    QueuedOutput queued;
    *outputBytes = 0;
    if (takeOutput("beDeinitStream", queued)) {
        copyBytes(output, queued.bytes);
        *outputBytes = queued.reportedBytes;
    }
    logLine("beDeinitStream stream=%u -> %u bytes=%u", stream, result, *outputBytes);
    return result;
}

FAKE_EXPORT BE_Result BE_CALL beCloseStream(BE_Stream stream) {
    std::lock_guard<std::mutex> lock(g_lock);
    const uint32_t result = nextResult("beCloseStream");
    g_script.openStreams.erase(stream);
    logLine("beCloseStream stream=%u -> %u", stream, result);
    return result;
}

#ifndef FAKE_WITHOUT_VBR_HEADER
FAKE_EXPORT BE_Result BE_CALL beWriteVBRHeader(const char* path) {
    std::lock_guard<std::mutex> lock(g_lock);
    const uint32_t result = nextResult("beWriteVBRHeader");
    // The size shows whether the file was complete (closed and flushed) when the call came.
    logLine("beWriteVBRHeader path=%s size=%ld -> %u", path, fileSize(path), result);
    return result;
}
#endif

FAKE_EXPORT BE_Result BE_CALL beVersion(BE_VersionInfo* info) {
    std::lock_guard<std::mutex> lock(g_lock);
    const uint32_t result = nextResult("beVersion");
    *info = g_script.version;
    logLine("beVersion -> %u", result);
    return result;
}

} // extern "C"
