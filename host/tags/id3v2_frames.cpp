#include "tags/id3v2_frames.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <utility>
#include <vector>

namespace cvnhost {

namespace {

constexpr uint64_t kHeaderSize = 10; // of the tag and of each frame

struct TagLayout {
    int version = 0; // 3 or 4
    bool unsynchronised = false;
    uint64_t framesStart = 0; // after the header and any extended header
    uint64_t end = 0;         // the first byte after the frames and the padding
};

bool readExactly(const ReadAt& readAt, uint64_t offset, std::span<uint8_t> into) {
    return readAt(offset, into) == into.size();
}

uint32_t bigEndian32(const uint8_t* bytes) {
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

// The bytes of an extended header at the start of the frames, its size field included.
std::optional<uint64_t> extendedHeaderSize(const ReadAt& readAt, int version) {
    std::array<uint8_t, 4> size{};
    if (!readExactly(readAt, kHeaderSize, size)) {
        return std::nullopt;
    }
    if (version == 3) { // a plain size that leaves out its own four bytes
        return uint64_t{bigEndian32(size.data())} + 4;
    }
    const std::optional<uint32_t> whole = syncsafe32(size.data());
    return whole && *whole >= 6 ? std::optional<uint64_t>(*whole) : std::nullopt;
}

std::optional<TagLayout> tagLayoutOf(const ReadAt& readAt) {
    std::array<uint8_t, kHeaderSize> header{};
    if (!readExactly(readAt, 0, header) || header[0] != 'I' || header[1] != 'D' || header[2] != '3') {
        return std::nullopt;
    }
    const std::optional<uint32_t> size = syncsafe32(&header[6]);
    TagLayout tag{header[3], (header[5] & 0x80) != 0, kHeaderSize, kHeaderSize + size.value_or(0)};
    // A 2.3 tag unsynchronised as a whole hides its frame headers too: it would have to be read
    // whole to be walked.
    if (!size || (tag.version != 3 && tag.version != 4) || (tag.version == 3 && tag.unsynchronised)) {
        return std::nullopt;
    }
    if ((header[5] & 0x40) != 0) {
        const std::optional<uint64_t> extended =
            tag.end - tag.framesStart >= 4 ? extendedHeaderSize(readAt, tag.version) : std::nullopt;
        if (!extended) {
            return std::nullopt;
        }
        tag.framesStart += *extended;
    }
    return tag.framesStart <= tag.end ? std::optional<TagLayout>(tag) : std::nullopt;
}

bool isFrameIdByte(uint8_t byte) {
    return (byte >= 'A' && byte <= 'Z') || (byte >= '0' && byte <= '9');
}

// Whether what lies at `offset` is where a true frame size leads: the tag's end, its padding or
// the identifier of another frame.
bool frameOrEndAt(const ReadAt& readAt, const TagLayout& tag, uint64_t offset) {
    if (offset >= tag.end) {
        return offset == tag.end;
    }
    std::array<uint8_t, 4> id{};
    const size_t wanted = static_cast<size_t>(std::min<uint64_t>(id.size(), tag.end - offset));
    if (!readExactly(readAt, offset, std::span(id).first(wanted))) {
        return false;
    }
    return id[0] == 0 ||
           (tag.end - offset >= kHeaderSize && std::all_of(id.begin(), id.end(), isFrameIdByte));
}

// A 2.3 frame's size is plain 32 bits, a 2.4 one's syncsafe; some writers put plain sizes into
// 2.4 tags as well, told apart (as TagLib and mutagen do) by which of the two leads to a frame.
uint32_t frameSizeOf(const ReadAt& readAt, const TagLayout& tag, uint64_t body, const uint8_t* bytes) {
    const uint32_t plain = bigEndian32(bytes);
    const std::optional<uint32_t> syncsafe = syncsafe32(bytes);
    if (tag.version == 3 || !syncsafe) {
        return plain;
    }
    const bool plainFits = *syncsafe != plain && !frameOrEndAt(readAt, tag, body + *syncsafe) &&
                           frameOrEndAt(readAt, tag, body + plain);
    return plainFits ? plain : *syncsafe;
}

// FF 00 back to FF: what unsynchronisation inserted after every FF.
void removeUnsynchronisation(std::vector<uint8_t>& bytes) {
    size_t kept = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        bytes[kept++] = bytes[i];
        if (bytes[i] == 0xFF && i + 1 < bytes.size() && bytes[i + 1] == 0x00) {
            ++i;
        }
    }
    bytes.resize(kept);
}

// A frame's content as it was before it was stored: without the bytes its flags add in front and
// without unsynchronisation. Nothing for a compressed or encrypted frame.
std::optional<std::vector<uint8_t>> frameContentOf(const ReadAt& readAt, const TagLayout& tag, uint8_t format,
                                                   uint64_t body, uint32_t size) {
    const bool v3 = tag.version == 3;
    if ((format & (v3 ? 0xC0 : 0x0C)) != 0) {
        return std::nullopt;
    }
    // 2.3: a group byte; 2.4: a group byte, then a data length of four bytes.
    const size_t added =
        v3 ? ((format & 0x20) != 0 ? 1 : 0) : ((format & 0x40) != 0 ? 1 : 0) + ((format & 0x01) != 0 ? 4 : 0);
    std::vector<uint8_t> content(size);
    if (added > content.size() || !readExactly(readAt, body, content)) {
        return std::nullopt;
    }
    content.erase(content.begin(), content.begin() + static_cast<std::ptrdiff_t>(added));
    if (!v3 && (tag.unsynchronised || (format & 0x02) != 0)) {
        removeUnsynchronisation(content);
    }
    return content;
}

void appendUtf8(std::string& text, uint32_t point) {
    if (point < 0x80) {
        text += static_cast<char>(point);
    } else if (point < 0x800) {
        text += static_cast<char>(0xC0 | point >> 6);
        text += static_cast<char>(0x80 | (point & 0x3F));
    } else if (point < 0x10000) {
        text += static_cast<char>(0xE0 | point >> 12);
        text += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (point & 0x3F));
    } else {
        text += static_cast<char>(0xF0 | point >> 18);
        text += static_cast<char>(0x80 | (point >> 12 & 0x3F));
        text += static_cast<char>(0x80 | (point >> 6 & 0x3F));
        text += static_cast<char>(0x80 | (point & 0x3F));
    }
}

// Encoding 1: UTF-16 in the order its byte order mark gives, little-endian without one (as the
// writers that leave it out mean it, and mutagen reads it); encoding 2: big-endian, no mark. A
// lone surrogate becomes U+FFFD.
std::string utf8OfUtf16(std::span<const uint8_t> bytes, bool withMark) {
    bool littleEndian = withMark;
    if (withMark && bytes.size() >= 2 && (bytes[0] == 0xFF || bytes[0] == 0xFE) &&
        (bytes[0] ^ bytes[1]) == 0x01) {
        littleEndian = bytes[0] == 0xFF;
        bytes = bytes.subspan(2);
    }
    const auto unitAt = [&](size_t i) {
        return littleEndian ? uint32_t{bytes[i]} | uint32_t{bytes[i + 1]} << 8
                            : uint32_t{bytes[i]} << 8 | uint32_t{bytes[i + 1]};
    };
    std::string text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        uint32_t point = unitAt(i);
        const bool high = point >= 0xD800 && point < 0xDC00;
        const uint32_t next = i + 3 < bytes.size() ? unitAt(i + 2) : 0;
        if (high && next >= 0xDC00 && next < 0xE000) {
            point = 0x10000 + ((point - 0xD800) << 10) + (next - 0xDC00);
            i += 2;
        } else if (point >= 0xD800 && point < 0xE000) {
            point = 0xFFFD;
        }
        appendUtf8(text, point);
    }
    return text;
}

std::string utf8Of(uint8_t encoding, std::span<const uint8_t> bytes) {
    if (encoding == 1 || encoding == 2) {
        return utf8OfUtf16(bytes, encoding == 1);
    }
    if (encoding == 3) {
        return std::string(bytes.begin(), bytes.end());
    }
    std::string text;
    for (const uint8_t byte : bytes) {
        appendUtf8(text, byte);
    }
    return text;
}

// The texts of a TXXX body, in UTF-8: its description and its first value.
std::optional<std::pair<std::string, std::string>> userTextOf(std::span<const uint8_t> content) {
    if (content.empty() || content[0] > 3) {
        return std::nullopt;
    }
    const uint8_t encoding = content[0];
    const size_t unit = encoding == 1 || encoding == 2 ? 2 : 1;
    // The length of the text that starts `bytes`, up to its terminator or the end.
    const auto textLength = [unit](std::span<const uint8_t> bytes) {
        size_t length = 0;
        while (length + unit <= bytes.size() && !(bytes[length] == 0 && bytes[length + unit - 1] == 0)) {
            length += unit;
        }
        return std::min(length, bytes.size());
    };
    std::span<const uint8_t> rest = content.subspan(1);
    const size_t descriptionLength = textLength(rest);
    std::string description = utf8Of(encoding, rest.first(descriptionLength));
    rest = rest.subspan(std::min(descriptionLength + unit, rest.size()));
    return std::pair(std::move(description), utf8Of(encoding, rest.first(textLength(rest))));
}

size_t preadFully(int descriptor, uint64_t offset, std::span<uint8_t> into) {
    size_t done = 0;
    while (done < into.size()) {
        const ssize_t count =
            pread(descriptor, into.data() + done, into.size() - done, static_cast<off_t>(offset + done));
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            break;
        }
        done += static_cast<size_t>(count);
    }
    return done;
}

} // namespace

std::optional<uint32_t> syncsafe32(const uint8_t* bytes) {
    if (((bytes[0] | bytes[1] | bytes[2] | bytes[3]) & 0x80) != 0) {
        return std::nullopt;
    }
    return uint32_t{bytes[0]} << 21 | uint32_t{bytes[1]} << 14 | uint32_t{bytes[2]} << 7 | bytes[3];
}

std::optional<std::string> userTextFrameIn(const ReadAt& readAt, const std::string& description) {
    const std::optional<TagLayout> tag = tagLayoutOf(readAt);
    if (!tag) {
        return std::nullopt;
    }
    for (uint64_t offset = tag->framesStart; tag->end - offset >= kHeaderSize;) {
        std::array<uint8_t, kHeaderSize> header{};
        // Padding, damage or the end of the bytes ends the walk.
        if (!readExactly(readAt, offset, header) ||
            !std::all_of(header.begin(), header.begin() + 4, isFrameIdByte)) {
            return std::nullopt;
        }
        const uint64_t body = offset + kHeaderSize;
        const uint32_t size = frameSizeOf(readAt, *tag, body, &header[4]);
        if (size == 0 || size > tag->end - body) {
            return std::nullopt;
        }
        if (std::equal(header.begin(), header.begin() + 4, "TXXX") && size <= kLargestUserTextFrame) {
            const std::optional<std::vector<uint8_t>> content =
                frameContentOf(readAt, *tag, header[9], body, size);
            const auto texts = content ? userTextOf(*content) : std::nullopt;
            if (texts && texts->first == description) {
                return texts->second;
            }
        }
        offset = body + size;
    }
    return std::nullopt;
}

std::optional<std::string> userTextFrameOf(const std::string& path, const std::string& description) {
    // Not blocking: a FIFO among the outputs must not hold the run at its open.
    const int descriptor = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (descriptor < 0) {
        return std::nullopt;
    }
    struct stat status {};
    std::optional<std::string> value;
    if (fstat(descriptor, &status) == 0 && S_ISREG(status.st_mode)) {
        value = userTextFrameIn(
            [descriptor](uint64_t offset, std::span<uint8_t> into) {
                return preadFully(descriptor, offset, into);
            },
            description);
    }
    close(descriptor);
    return value;
}

} // namespace cvnhost
