// The control functions of the fake encoder library, which tests resolve with GetProcAddress.
//
// The fake answers the six calls as a script says: beInitStream hands out the configured chunk
// and output buffer sizes; every function returns the next result queued for it (0 when none is);
// beEncodeChunk and beDeinitStream produce the next bytes queued for them, and otherwise
// beEncodeChunk echoes its samples as little-endian bytes and beDeinitStream produces nothing.
// Every call is logged as one line with its arguments and result.
#pragma once

#include "lame_enc_interface.hpp"

#include <cstddef>
#include <cstdint>

#ifdef _WIN32
#define FAKE_EXPORT __declspec(dllexport)
#else
#define FAKE_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

// Forgets the script, the log and the streams; back to chunk size 2304 and a buffer of 8192.
typedef void (*FakeResetFunction)(void);
// What the next beInitStream calls hand out.
typedef void (*FakeSetStreamSizesFunction)(uint32_t chunkSamples, uint32_t outputBufferSize);
// Queues the result of the next not yet scripted call of `function` ("beEncodeChunk", ...).
typedef void (*FakeQueueResultFunction)(const char* function, uint32_t result);
// Makes the n-th be* call from now on (1 the next) return `result` and do nothing else, whatever
// the script says; every call before and after it runs as scripted. 0 turns the countdown off.
typedef void (*FakeFailCallFunction)(uint32_t n, uint32_t result);
// Queues what the next beEncodeChunk or beDeinitStream call writes into the output buffer
// (`size` bytes) and the byte count it reports (`reportedBytes`, normally `size`).
typedef void (*FakeQueueOutputFunction)(const char* function, const uint8_t* bytes, uint32_t size,
                                        uint32_t reportedBytes);
// The record that beVersion copies out.
typedef void (*FakeSetVersionFunction)(const BE_VersionInfo* info);
// Copies the log (lines ending in '\n') into buffer, cut to fit and terminated; returns its length.
typedef size_t (*FakeLogFunction)(char* buffer, size_t size);
// Streams opened and not closed.
typedef int (*FakeOpenStreamsFunction)(void);
// The configuration that the last beInitStream call received.
typedef void (*FakeLastConfigFunction)(BE_EncoderConfig* config);

} // extern "C"
