// The finished header frames waiting for their files: the VBR header of a VBR stream, the Info
// frame of a constant-bitrate one. The plug-in asks for the first kind only; a front end that
// wants gapless constant-bitrate files asks for the second itself.
//
// A header can only be written once the stream is flushed, and by then the bytes are in a file
// the library knows nothing of: beWriteVBRHeader gets only a path. So each flushed stream leaves
// its header here with the fingerprint of every byte it produced; a file whose
// first bytes have that fingerprint is that stream's file, whichever order streams finish in.
// Only the newest kMaxPendingHeaders are kept.
#pragma once

#include "lame_stream.h"

#include <string>
#include <vector>

namespace lame_enc {

inline constexpr size_t kMaxPendingHeaders = 1024;

// Keeps the header of a flushed stream until its file asks for it.
void addPendingHeader(const ByteFingerprint& streamBytes, std::vector<uint8_t> headerFrame);

// Writes the pending header whose stream produced the start of the file at `path` over the
// file's first frame, and forgets it. False when no pending header matches or the file cannot be
// read or written; the file is then left as it was.
bool writePendingHeader(const std::string& path);

} // namespace lame_enc
