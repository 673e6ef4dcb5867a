// The walk over an ID3v2 tag's frames in search of one TXXX frame, over any bytes: never a read
// past the end the tag declares, reads within a small multiple of the bytes there are (the walk
// skips bodies, it does not read them twice), and a value no larger than a frame may give.
#include "tags/id3v2_frames.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace {

// The end of the tag as its header declares it; the header's own ten bytes when it declares none.
uint64_t declaredEnd(const uint8_t* data, size_t size) {
    if (size < 10 || ((data[6] | data[7] | data[8] | data[9]) & 0x80) != 0) {
        return 10;
    }
    return 10 + (uint64_t{data[6]} << 21 | uint64_t{data[7]} << 14 | uint64_t{data[8]} << 7 | data[9]);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const uint64_t end = declaredEnd(data, size);
    uint64_t bytesRead = 0;
    const cvnhost::ReadAt readAt = [&](uint64_t offset, std::span<uint8_t> into) -> size_t {
        if (offset + into.size() > end) {
            std::abort();
        }
        if (offset >= size) {
            return 0;
        }
        const size_t count = static_cast<size_t>(std::min<uint64_t>(into.size(), size - offset));
        std::memcpy(into.data(), data + offset, count);
        bytesRead += count;
        return count;
    };
    const std::optional<std::string> value = cvnhost::userTextFrameIn(readAt, "CVNHOST_SOURCE");
    // Latin-1 doubles at most in UTF-8, UTF-16 grows by half at most.
    if ((value && value->size() > 2 * cvnhost::kLargestUserTextFrame) || bytesRead > 3 * size + 64) {
        std::abort();
    }
    return 0;
}
