// One encoder stream over a libmp3lame encoder. It fingerprints every byte it hands out, so that
// the finished file can later be told apart from other streams' files (vbr_headers.h).
#pragma once

#include "byte_fingerprint.h"
#include "lame_settings.h"

#include <lame/lame.h>

#include <cstdint>
#include <memory>
#include <vector>

namespace lame_enc {

class LameStream {
  public:
    // Null when libmp3lame refuses the settings.
    static std::unique_ptr<LameStream> open(const LameSettings& settings);
    ~LameStream();
    LameStream(const LameStream&) = delete;
    LameStream& operator=(const LameStream&) = delete;

    const LameSettings& settings() const { return settings_; }

    // Encodes `count` interleaved samples (a multiple of the channel count, at most one chunk)
    // into `output`, which holds outputBufferSize() bytes. Returns the error code.
    BE_Result encode(uint32_t count, const int16_t* samples, uint8_t* output, uint32_t& outputBytes);
    // Drains the encoder into `output`.
    BE_Result flush(uint8_t* output, uint32_t& outputBytes);

    // After flush: the finished header frame (Xing for VBR, Info for a constant bitrate, each
    // with the encoder delay and padding), which replaces the first frame of the stream's bytes.
    std::vector<uint8_t> headerFrame() const;
    // Every byte the stream has handed out so far.
    const ByteFingerprint& fingerprint() const { return fingerprint_; }

  private:
    LameStream(lame_global_flags* flags, const LameSettings& settings) : flags_(flags), settings_(settings) {}

    lame_global_flags* flags_;
    // What the library produced into `output` (negative: it failed), counted, the reserved frame
    // completed and fingerprinted: the end of an encode and of the flush alike.
    BE_Result takeProduced(int produced, uint8_t* output, uint32_t& outputBytes);
    void completeReservedFrame(uint8_t* output, uint32_t outputBytes);

    LameSettings settings_;
    ByteFingerprint fingerprint_;
    bool reservedFrameCompleted_ = false;
};

} // namespace lame_enc
