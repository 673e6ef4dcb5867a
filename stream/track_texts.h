// The stream's own copy of the host's CVN_TrackInfo, made at setup: the host's record is read only
// during CVN_InitStream.
#pragma once

#include "VelmoraPlugIn.hpp"

namespace velmora {

// A copy in the CVN_TrackInfo layout, all zero where the host's version of the record has no field:
// no genre for size 784, no track byte for sizes 784 and 1044 (any other size is the full record).
// Each text is copied up to its terminator, at most 259 bytes, reading none of the host's bytes
// past its 260-byte field, and is always terminated.
CVN_TrackInfo copyTrackTexts(const CVN_TrackInfo& host);

// Copies `source` into a field of `fieldSize` bytes: at most fieldSize - 1 bytes up to the
// terminator, never reading past fieldSize bytes of `source`; the rest of the field is zero.
void copyTextField(char* field, const char* source, size_t fieldSize);

} // namespace velmora
