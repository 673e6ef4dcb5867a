// A bound on what FFmpeg reads of a Matroska file's tags. Its demuxer adds each tag to a dictionary
// that it searches whole for every new one, so that 100,000 tags (a 3 MB file) cost minutes for each
// opening of the file. The tags past the bound are hidden from it without moving a byte: the Tag
// element where the bound falls is made to end there, and what follows of its Tags element becomes
// an EBML Void element of the same size, which the demuxer skips. Every offset (clusters, cues, the
// seek head) stays as the file has it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cvnhost {

// What FFmpeg reads of a file's tags at most: more is no library's, and nothing cvnhost writes.
inline constexpr int64_t kMostMatroskaTags = 1000;
inline constexpr int64_t kMostMatroskaTagBytes = 1 << 20;

// Bytes to present at `offset` in place of the file's.
struct BytePatch {
    int64_t offset = 0;
    std::vector<uint8_t> bytes;
};

struct MatroskaTagsBound {
    std::vector<BytePatch> patches;
    int64_t tags = 0; // the SimpleTag elements the file holds
    int64_t bytes = 0;
    int64_t tagsKept = 0;

    // The note that names what was left out.
    std::string note() const;
};

// Nothing when the open file `descriptor` is no Matroska file, or its tags are within the bound (or
// cannot be found: a Segment whose elements have no size, as a live recording writes them).
std::optional<MatroskaTagsBound> boundMatroskaTags(int descriptor);

} // namespace cvnhost
