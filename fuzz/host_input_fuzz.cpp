// cvnhost's input path: any bytes as an input file, opened with libsndfile and converted to the
// plug-in's frames to the end, or refused with a message. Never a crash, never unbounded output.
#include "audio/audio_input.h"

#include "memory_file.h"

#include <unistd.h>

#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    int file = -1;
    const std::string path = memoryFile(data, size, file);
    std::string error;
    if (auto input = cvnhost::AudioInput::open(path, error)) {
        std::vector<uint32_t> frames;
        int64_t total = 0;
        while (input->read(frames, error) && !frames.empty()) {
            total += static_cast<int64_t>(frames.size());
            if (total > 50'000'000) {
                break; // a header may promise hours of audio; enough has been converted
            }
        }
    } else if (error.empty()) {
        std::abort(); // a refusal always says why
    }
    close(file);
    return 0;
}
