// One encode-to-file stream, from CVN_InitStream to CVN_CloseStream.
//
// A stream is Created, then Open after a successful setup, then Finished after its finish. The
// invariants, checked by invariantsHold() after every operation in every build that runs tests
// (share/invariants.h):
//   I1. Created and Finished: no library stream, no buffers, no file, nothing buffered.
//   I2. Open: the library stream is open, both buffers exist, the file is open.
//   I3. Open: the chunk size is positive, and even for a stereo format, so a stereo frame always
//       fits whole.
//   I4. Open: 0 <= buffered <= chunk size, and buffered equals the chunk size only after the
//       library refused a chunk (the next write hands it over first). A chunk whose bytes could
//       not be written counts as taken: the library has consumed it, and the stream is marked as
//       having lost audio, so that its finish reports the file incomplete.
#pragma once

#include "binding/encoder_library.h"
#include "encoder_config.h"
#include "VelmoraPlugIn.hpp"

#include <windows.h>

#include <cstdio>
#include <type_traits>

namespace velmora {

// The request of the host, as CVN_InitStream receives it.
struct StreamRequest {
    const char* path;
    int32_t formatIndex;
    HKEY settingsKey;
    const CVN_TrackInfo* trackInfo;
};

class EncoderStream {
  public:
    // Construction only records the format: nothing is acquired until setup.
    EncoderStream(const EncoderLibrary& library, int32_t formatIndex);
    EncoderStream(const EncoderStream&) = delete;
    EncoderStream& operator=(const EncoderStream&) = delete;

    // Copies the path and texts, reads the settings, opens the library stream, allocates both
    // buffers and creates the file. On failure everything acquired is released again and nothing
    // is left on disk; returns false.
    bool setup(const StreamRequest& request);

    // Takes in the host's stereo frames and encodes each chunk they complete, writing its bytes to
    // the file. Returns 0, or 4 when the library failed (after a message box), a write failed, or
    // the stream is not open.
    int32_t write(int32_t frameCount, const uint32_t* frames);

    // Encodes what is buffered, drains the encoder, closes the library stream, appends the tag,
    // closes the file, has the library write the VBR header, frees the buffers: every step runs
    // whatever failed before. Returns 0 when the file is complete, else 4. A stream that is not
    // open (never set up, or finished already) is left alone and gives 4.
    int32_t finish();

    int32_t plugInNumber() const { return plugInNumber_; }

    enum class State : int32_t { Created, Open, Finished };
    State state() const { return state_; }

    // Whether the invariants of the current state hold (see the top of this file).
    bool invariantsHold() const;

  private:
    // The operations proper, for an open stream (a Created one for open()).
    bool open(const StreamRequest& request);
    int32_t takeIn(int32_t frameCount, const uint32_t* frames);
    int32_t close();

    // Writes byteCount bytes of the output buffer as one item; no bytes is no write and succeeds.
    // A count beyond the buffer that the library asked for is a failed write: nothing past the
    // buffer is read.
    bool writeOutput(uint32_t byteCount);
    // What became of a chunk handed to the library: encoded and written; refused by the library
    // (it waits and is handed over again); or taken by the library with its bytes lost.
    enum class ChunkOutcome { Encoded, Refused, Lost };
    ChunkOutcome handOver(const int16_t* samples, uint32_t sampleCount);
    // Encodes the full sample buffer. Returns 0 or 4.
    int32_t encodeBufferedChunk();
    // Releases the library stream and both buffers after a failed setup.
    void releaseAfterFailedSetup();

    // Frees both buffers; destroying the object frees neither (the finish and a failed setup do).
    void freeBuffers();

    // The plug-in number comes first, so that the entry points' check of a handle reads the
    // first word of whatever the host's handle points at.
    int32_t plugInNumber_ = 0;
    State state_ = State::Created;
    int32_t formatIndex_;
    uint32_t bufferedSamples_ = 0;
    uint32_t chunkSamples_ = 0;
    std::FILE* file_ = nullptr;
    BE_Stream libraryStream_ = 0;
    int16_t* samples_ = nullptr;
    uint8_t* output_ = nullptr;
    uint32_t outputBufferSize_ = 0;
    const EncoderLibrary* library_;
    BE_EncoderConfig config_{};
    CVN_TrackInfo texts_{};
    char path_[CVN_TEXT_FIELD_SIZE] = {};
    bool vbrHeader_ = false;
    bool lostAudio_ = false;
    bool chunkRefused_ = false; // the library refused the last chunk handed to it (I4)
};
static_assert(std::is_standard_layout_v<EncoderStream>);

} // namespace velmora
