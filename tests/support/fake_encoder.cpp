#include "fake_encoder.h"

#include "plugin_under_test.h"
#include "test_paths.h"

#include <gtest/gtest.h>

#include <sstream>

namespace cvn::test {

void FakeEncoder::load() {
    const std::string directory = fakeLibraryDirectory("complete");
    const std::string path = joinPath(directory, encoderLibraryFileName());
    module_ = LoadLibraryA(path.c_str());
    ASSERT_NE(module_, nullptr) << "cannot load " << path;
    reset_ = procedure<FakeResetFunction>(module_, "fakeReset");
    setStreamSizes_ = procedure<FakeSetStreamSizesFunction>(module_, "fakeSetStreamSizes");
    queueResult_ = procedure<FakeQueueResultFunction>(module_, "fakeQueueResult");
    failCall_ = procedure<FakeFailCallFunction>(module_, "fakeFailCall");
    queueOutput_ = procedure<FakeQueueOutputFunction>(module_, "fakeQueueOutput");
    setVersion_ = procedure<FakeSetVersionFunction>(module_, "fakeSetVersion");
    log_ = procedure<FakeLogFunction>(module_, "fakeLog");
    openStreams_ = procedure<FakeOpenStreamsFunction>(module_, "fakeOpenStreams");
    lastConfig_ = procedure<FakeLastConfigFunction>(module_, "fakeLastConfig");
    ASSERT_TRUE(reset_ && setStreamSizes_ && queueResult_ && failCall_ && queueOutput_ && setVersion_ &&
                log_ && openStreams_ && lastConfig_);
    reset_();
    SetDllDirectoryA(directory.c_str());
}

void FakeEncoder::unload() {
    SetDllDirectoryA(nullptr);
    if (module_ != nullptr) {
        FreeLibrary(module_);
        module_ = nullptr;
    }
}

void FakeEncoder::failCall(uint32_t n, uint32_t result) const {
    failCall_(n, result);
}

void FakeEncoder::setStreamSizes(uint32_t chunkSamples, uint32_t outputBufferSize) const {
    setStreamSizes_(chunkSamples, outputBufferSize);
}

void FakeEncoder::queueResult(const char* function, uint32_t result) const {
    queueResult_(function, result);
}

void FakeEncoder::queueOutput(const char* function, const std::vector<uint8_t>& bytes) const {
    queueOutput_(function, bytes.data(), static_cast<uint32_t>(bytes.size()),
                 static_cast<uint32_t>(bytes.size()));
}

void FakeEncoder::queueOutput(const char* function, const std::vector<uint8_t>& bytes,
                              uint32_t reportedBytes) const {
    queueOutput_(function, bytes.data(), static_cast<uint32_t>(bytes.size()), reportedBytes);
}

void FakeEncoder::setVersion(const BE_VersionInfo& info) const {
    setVersion_(&info);
}

std::vector<std::string> FakeEncoder::log() const {
    std::string text(log_(nullptr, 0) + 1, '\0');
    log_(text.data(), text.size());
    std::vector<std::string> lines;
    std::istringstream stream(text.c_str());
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> FakeEncoder::calls(const std::string& function) const {
    std::vector<std::string> matching;
    for (const std::string& line : log()) {
        if (line.rfind(function + " ", 0) == 0) {
            matching.push_back(line);
        }
    }
    return matching;
}

int FakeEncoder::openStreams() const {
    return openStreams_();
}

BE_EncoderConfig FakeEncoder::lastConfig() const {
    BE_EncoderConfig config{};
    lastConfig_(&config);
    return config;
}

} // namespace cvn::test
