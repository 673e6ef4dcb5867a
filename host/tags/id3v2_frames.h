// One user text frame (TXXX) of a file's ID3v2 tag, found without parsing the tag: the frame
// headers are walked and every other body is skipped, so a tag with a picture of 60 MB costs a few
// reads of ten bytes, not the picture in memory. --delete reads the marker of every MP3 below the
// output folder this way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

namespace cvnhost {

// Reads up to `into.size()` bytes at `offset` into `into` and gives the count read: fewer only at
// the end of the bytes or on an error.
using ReadAt = std::function<size_t(uint64_t offset, std::span<uint8_t> into)>;

// An ID3v2 size: seven bits a byte, so that no size holds a false MPEG sync; nothing when a top
// bit is set.
std::optional<uint32_t> syncsafe32(const uint8_t* bytes);

// A TXXX body larger than this is skipped unread: the marker is a few hundred bytes.
inline constexpr uint32_t kLargestUserTextFrame = 1U << 20;

// The value, in UTF-8, of the first TXXX frame whose description is `description` in the ID3v2.3
// or 2.4 tag at the start of the bytes; the first of its values when it has several, as TagLib
// gives it. Nothing when there is no such frame, the tag is of another version, or the walk meets
// a size that cannot be true (beyond the tag or the bytes, zero, padding): a frame past damage is
// taken as missing. Frames that are compressed or encrypted, and 2.3 tags unsynchronised as a
// whole, are taken as missing too; cvnhost writes none.
std::optional<std::string> userTextFrameIn(const ReadAt& readAt, const std::string& description);

// The same for the file at `path`, read with pread; nothing for a file that is not a regular one
// or cannot be opened.
std::optional<std::string> userTextFrameOf(const std::string& path, const std::string& description);

} // namespace cvnhost
