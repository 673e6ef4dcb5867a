// Intake from arbitrary call sizes and frame data: the samples the encoder library is handed are
// the same however the host cuts its calls, for every chunk size and for stereo and mono formats.
// The library is the null encoder, bound in this process, which records what it is given.
#include "share/null_encoder.h"
#include "stream/encoder_stream.h"

#include <cstdlib>
#include <cstring>
#include <vector>

using namespace velmora;

namespace {

namespace null = share::null_encoder;

std::vector<int16_t> g_received;

// Encodes `frames` cut into calls of the given sizes (cycled); returns what the library received.
std::vector<int16_t> encode(int32_t formatIndex, const std::vector<uint32_t>& frames,
                            const std::vector<int32_t>& callSizes) {
    EncoderLibrary library;
    library.module = reinterpret_cast<HMODULE>(1);
    library.bindCount = 1;
    library.initStream = null::initStream;
    library.encodeChunk = null::encodeChunk;
    library.deinitStream = null::deinitStream;
    library.closeStream = null::closeStream;
    library.writeVBRHeader = null::writeVBRHeader;
    library.version = null::version;
    g_received.clear();
    null::g_received = &g_received;
    CVN_TrackInfo track{};
    track.size = sizeof track;
    EncoderStream stream(library, formatIndex);
    if (!stream.setup({"/dev/null", formatIndex, nullptr, &track})) {
        std::abort();
    }
    size_t at = 0;
    for (size_t call = 0; at < frames.size(); ++call) {
        const auto count = static_cast<size_t>(callSizes[call % callSizes.size()]);
        const size_t taken = std::min(count, frames.size() - at);
        if (stream.write(static_cast<int32_t>(taken), frames.data() + at) != CVN_STREAM_SUCCEEDED) {
            std::abort();
        }
        at += taken;
    }
    stream.finish();
    return g_received;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4) {
        return 0;
    }
    const int32_t formatIndex = data[0] % 2 == 0 ? 16 : 17;
    null::g_chunkSamples = 2 * (1 + data[1] % 64);
    std::vector<int32_t> callSizes;
    for (size_t i = 0; i < 4; ++i) {
        callSizes.push_back(1 + data[2 + i % 2] % 50 + static_cast<int32_t>(i));
    }
    std::vector<uint32_t> frames((size - 4) / 4);
    if (!frames.empty()) {
        std::memcpy(frames.data(), data + 4, frames.size() * 4);
    }
    const std::vector<int16_t> cut = encode(formatIndex, frames, callSizes);
    const std::vector<int16_t> whole = encode(formatIndex, frames, {static_cast<int32_t>(frames.size() + 1)});
    if (cut != whole) {
        std::abort();
    }
    // Each mono sample is the mean of its frame's two, rounded toward minus infinity.
    for (size_t i = 0; formatIndex % 2 == 1 && i < frames.size(); ++i) {
        const int32_t left = static_cast<int16_t>(frames[i] & 0xFFFF);
        const int32_t right = static_cast<int16_t>(frames[i] >> 16);
        if (whole[i] != static_cast<int16_t>((left + right) >> 1)) {
            std::abort();
        }
    }
    // Each stereo pair is its frame's two samples.
    for (size_t i = 0; formatIndex % 2 == 0 && i < frames.size(); ++i) {
        if (static_cast<uint16_t>(whole[2 * i]) != (frames[i] & 0xFFFF) ||
            static_cast<uint16_t>(whole[2 * i + 1]) != (frames[i] >> 16)) {
            std::abort();
        }
    }
    return 0;
}
