// The open streams, by handle. Handles are small numbers from 1 up, never pointers, handed out
// and taken back under one lock; the table grows with the streams open at once, so a host may
// run as many as it has memory for. A stream in use stays alive until its user lets go
// of it, so different handles can be used from different threads at once.
#pragma once

#include "lame_stream.h"

#include <memory>

namespace lame_enc {

// Never a handle: what storeStream gives when there is no memory for another stream.
inline constexpr BE_Stream kNoStream = 0;

// The handle of the newly stored stream, or kNoStream when the table cannot grow.
BE_Stream storeStream(std::shared_ptr<LameStream> stream);
// The stream of an open handle; null for an unknown or closed one.
std::shared_ptr<LameStream> findStream(BE_Stream handle);
// Takes the handle back; false for an unknown or closed one.
bool removeStream(BE_Stream handle);

} // namespace lame_enc
