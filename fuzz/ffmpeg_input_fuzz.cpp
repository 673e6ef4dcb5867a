// cvnhost's decoder for what libsndfile and libmpg123 do not read: any bytes as a file for FFmpeg's
// libraries, decoded to the end, or refused with a message. Never a crash, never unbounded output.
#include "audio/ffmpeg_decoder.h"

#include "memory_file.h"

#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int file = -1;
    const std::string path = memoryFile(data, size, file);
    std::string error;
    if (auto decoder = cvnhost::FfmpegDecoder::open(path, error)) {
        std::vector<float> samples(4096 * 2);
        int64_t total = 0;
        for (int64_t read; (read = decoder->read(samples.data(), 4096, error)) > 0;) {
            total += read;
            if (total > 50'000'000) {
                break; // a header may promise hours of audio; enough has been decoded
            }
        }
        if (error.empty() && total < 0) {
            std::abort();
        }
    } else if (error.empty()) {
        std::abort(); // a refusal always says why
    }
    close(file);
    return 0;
}
