// The open streams, by handle. Handles are small numbers from 1 to kMaxStreams, never pointers,
// handed out and taken back under one lock. A stream in use stays alive until its user lets go
// of it, so different handles can be used from different threads at once.
#pragma once

#include "lame_stream.h"

#include <memory>

namespace lame_enc {

inline constexpr BeStream kMaxStreams = 64;
// Never a handle: what storeStream gives when the table is full.
inline constexpr BeStream kNoStream = 0;

// The handle of the newly stored stream, or kNoStream when the table is full.
BeStream storeStream(std::shared_ptr<LameStream> stream);
// The stream of an open handle; null for an unknown or closed one.
std::shared_ptr<LameStream> findStream(BeStream handle);
// Takes the handle back; false for an unknown or closed one.
bool removeStream(BeStream handle);

} // namespace lame_enc
