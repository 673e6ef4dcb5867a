// The fake encoder library, loaded by the test itself so that it can script and read it, and made
// the library that the plug-in finds (SetDllDirectoryA): both then share one loaded module.
#pragma once

#include "tests/fake_lame_enc/fake_control.h"

#include <windows.h>

#include <string>
#include <vector>

namespace cvn::test {

// A field of a packed record, copied: gtest's macros take their arguments by reference, which a
// misaligned field cannot bind to.
template <typename T> T copied(T field) {
    return field;
}

class FakeEncoder {
  public:
    // Loads the complete fake, resets it, and points the plug-in's library search at it.
    void load();
    void unload();

    void setStreamSizes(uint32_t chunkSamples, uint32_t outputBufferSize) const;
    void queueResult(const char* function, uint32_t result) const;
    // The n-th be* call from now on fails with `result` (SQLite's way of reaching every point).
    void failCall(uint32_t n, uint32_t result) const;
    void queueOutput(const char* function, const std::vector<uint8_t>& bytes) const;
    void queueOutput(const char* function, const std::vector<uint8_t>& bytes, uint32_t reportedBytes) const;
    void setVersion(const BE_VersionInfo& info) const;
    // The calls so far, one line each.
    std::vector<std::string> log() const;
    // The calls so far whose line starts with `function`.
    std::vector<std::string> calls(const std::string& function) const;
    int openStreams() const;
    BE_EncoderConfig lastConfig() const;

  private:
    HMODULE module_ = nullptr;
    FakeResetFunction reset_ = nullptr;
    FakeSetStreamSizesFunction setStreamSizes_ = nullptr;
    FakeQueueResultFunction queueResult_ = nullptr;
    FakeFailCallFunction failCall_ = nullptr;
    FakeQueueOutputFunction queueOutput_ = nullptr;
    FakeSetVersionFunction setVersion_ = nullptr;
    FakeLogFunction log_ = nullptr;
    FakeOpenStreamsFunction openStreams_ = nullptr;
    FakeLastConfigFunction lastConfig_ = nullptr;
};

} // namespace cvn::test
