#include "audio/matroska_tags.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace cvnhost {

namespace {

constexpr uint32_t kEbmlId = 0x1A45DFA3;
constexpr uint32_t kSegmentId = 0x18538067;
constexpr uint32_t kTagsId = 0x1254C367;
constexpr uint32_t kTagId = 0x7373;
constexpr uint32_t kSimpleTagId = 0x67C8;
constexpr uint8_t kVoidId = 0xEC;

// The file read through a small window: the walk reads a few bytes at each element, in order, and a
// block at each cluster of an hour's track would read it all.
class FileWindow {
  public:
    explicit FileWindow(int descriptor) : descriptor_(descriptor) {
        struct stat status {};
        size_ = fstat(descriptor, &status) == 0 ? status.st_size : 0;
    }
    int64_t size() const { return size_; }

    // Up to `count` (at most a header's 12) bytes at `offset`; the number there is.
    size_t read(int64_t offset, uint8_t* out, size_t count) {
        if (offset < windowAt_ || offset + static_cast<int64_t>(count) > windowAt_ + windowSize_) {
            window_.resize(16384);
            const ssize_t got = pread(descriptor_, window_.data(), window_.size(), offset);
            windowAt_ = offset;
            windowSize_ = got > 0 ? got : 0;
        }
        const auto available = static_cast<size_t>(std::max<int64_t>(0, windowAt_ + windowSize_ - offset));
        const size_t copied = std::min(count, available);
        std::memcpy(out, window_.data() + (offset - windowAt_), copied);
        return copied;
    }

  private:
    int descriptor_;
    int64_t size_ = 0;
    std::vector<uint8_t> window_;
    int64_t windowAt_ = 0;
    int64_t windowSize_ = 0;
};

struct Element {
    uint32_t id = 0;
    int64_t at = 0;
    int sizeAt = 0; // from `at`: the length of the id
    int sizeLength = 0;
    int64_t size = -1; // -1: unknown, to the end of its parent
    int64_t dataAt() const { return at + sizeAt + sizeLength; }
    int64_t end() const { return dataAt() + size; }
};

// The length of an EBML variable-size integer from its first byte: its leading zeros and one.
int lengthOf(uint8_t first) {
    int length = 1;
    for (uint8_t marker = 0x80; marker != 0 && (first & marker) == 0; marker >>= 1) {
        ++length;
    }
    return length;
}

std::optional<Element> elementAt(FileWindow& file, int64_t at) {
    uint8_t bytes[12] = {};
    const size_t got = file.read(at, bytes, sizeof bytes);
    Element element;
    element.at = at;
    element.sizeAt = got > 0 ? lengthOf(bytes[0]) : 9;
    if (element.sizeAt > 4 || static_cast<size_t>(element.sizeAt) >= got) {
        return std::nullopt;
    }
    element.sizeLength = lengthOf(bytes[element.sizeAt]);
    if (element.sizeLength > 8 || static_cast<size_t>(element.sizeAt + element.sizeLength) > got) {
        return std::nullopt;
    }
    for (int i = 0; i < element.sizeAt; ++i) {
        element.id = element.id << 8 | bytes[i];
    }
    const uint64_t valueBits = 7 * static_cast<uint64_t>(element.sizeLength);
    uint64_t size = bytes[element.sizeAt] & (0xFFu >> element.sizeLength);
    for (int i = 1; i < element.sizeLength; ++i) {
        size = size << 8 | bytes[element.sizeAt + i];
    }
    const uint64_t unknown = (uint64_t{1} << valueBits) - 1;
    if (size != unknown && size > static_cast<uint64_t>(INT64_MAX / 2)) {
        return std::nullopt;
    }
    element.size = size == unknown ? -1 : static_cast<int64_t>(size);
    return element;
}

// `value` as an EBML size of `length` bytes; it must be below the all-ones of that length.
std::vector<uint8_t> sizeBytes(uint64_t value, int length) {
    const uint64_t coded = uint64_t{1} << (7 * length) | value;
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    for (int i = 0; i < length; ++i) {
        bytes[static_cast<size_t>(i)] = static_cast<uint8_t>(coded >> (8 * (length - 1 - i)));
    }
    return bytes;
}

// A Void element header for the `span` bytes from its first: the shortest size field that fits.
std::vector<uint8_t> voidHeader(int64_t span) {
    for (int length = 1; length <= 8; ++length) {
        const int64_t size = span - 1 - length;
        if (size >= 0 && static_cast<uint64_t>(size) < (uint64_t{1} << (7 * length)) - 1) {
            std::vector<uint8_t> header = sizeBytes(static_cast<uint64_t>(size), length);
            header.insert(header.begin(), kVoidId);
            return header;
        }
    }
    return {};
}

struct Walk {
    MatroskaTagsBound bound;
    int64_t keptBytes = 0;
    bool full = false;       // past the bound: every tag from here is hidden
    int64_t hiddenUntil = 0; // the end of the last Void made
};

// Ends `tag` at its child at `at`, and hides the rest of its Tags element, up to `tagsEnd`.
void hideFrom(const Element& tag, int64_t at, int64_t tagsEnd, Walk& walk) {
    const int64_t tagSize = at - tag.dataAt();
    walk.bound.patches.push_back(
        {tag.at + tag.sizeAt, sizeBytes(static_cast<uint64_t>(tagSize), tag.sizeLength)});
    walk.bound.patches.push_back({at, voidHeader(tagsEnd - at)});
    walk.hiddenUntil = tagsEnd;
}

void walkTag(FileWindow& file, const Element& tag, int64_t tagsEnd, Walk& walk) {
    const int64_t end = std::min({tag.end(), tagsEnd, file.size()});
    for (int64_t at = tag.dataAt(); at < end;) {
        const std::optional<Element> child = elementAt(file, at);
        if (!child || child->size < 0) {
            return;
        }
        if (child->id == kSimpleTagId) {
            const int64_t bytes = child->end() - child->at;
            ++walk.bound.tags;
            walk.bound.bytes += bytes;
            walk.full = walk.full || walk.bound.tagsKept == kMostMatroskaTags ||
                        walk.keptBytes + bytes > kMostMatroskaTagBytes;
            if (!walk.full) {
                ++walk.bound.tagsKept;
                walk.keptBytes += bytes;
            } else if (walk.hiddenUntil <= at) {
                hideFrom(tag, at, tagsEnd, walk);
            }
        }
        at = child->end();
    }
}

void walkTags(FileWindow& file, const Element& tags, Walk& walk) {
    const int64_t end = std::min(tags.end(), file.size());
    for (int64_t at = tags.dataAt(); at < end;) {
        const std::optional<Element> tag = elementAt(file, at);
        if (!tag || tag->size < 0) {
            return;
        }
        if (tag->id == kTagId) {
            walkTag(file, *tag, tags.end(), walk);
        }
        at = tag->end();
    }
}

} // namespace

std::string MatroskaTagsBound::note() const {
    char size[32];
    if (bytes < (1 << 20)) {
        std::snprintf(size, sizeof size, "%lld KB", static_cast<long long>((bytes + 1023) / 1024));
    } else {
        std::snprintf(size, sizeof size, "%.1f MB", static_cast<double>(bytes) / (1 << 20));
    }
    return "its " + std::to_string(tags) + " tags (" + size + ") are more than cvnhost reads (" +
           std::to_string(kMostMatroskaTags) + ", or 1 MB): the first " + std::to_string(tagsKept) +
           " are read, the rest are left out";
}

std::optional<MatroskaTagsBound> boundMatroskaTags(int descriptor) {
    FileWindow file(descriptor);
    const std::optional<Element> header = elementAt(file, 0);
    if (!header || header->id != kEbmlId || header->size < 0) {
        return std::nullopt;
    }
    const std::optional<Element> segment = elementAt(file, header->end());
    if (!segment || segment->id != kSegmentId) {
        return std::nullopt;
    }
    const int64_t end = segment->size < 0 ? file.size() : std::min(segment->end(), file.size());
    Walk walk;
    for (int64_t at = segment->dataAt(); at < end;) {
        const std::optional<Element> element = elementAt(file, at);
        if (!element || element->size < 0) {
            break;
        }
        if (element->id == kTagsId) {
            walkTags(file, *element, walk);
        }
        at = element->end();
    }
    if (walk.bound.patches.empty()) {
        return std::nullopt;
    }
    return walk.bound;
}

} // namespace cvnhost
