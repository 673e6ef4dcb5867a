#include "tags/tag_rewrite.h"

#include "files/file_io.h"
#include "tags/id3v1_year.h"
#include "files/pending_output.h"
#include "tags/source_marker.h"
#include "tags/taglib_lock.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <taglib/id3v1genres.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace cvnhost {

namespace {

constexpr size_t kId3v1Bytes = 128;

// A text field of the ID3v1 tag: Latin-1, cut to its size, zeros after it, as the plug-in writes it.
void putField(char* field, size_t size, const char* text) {
    std::memset(field, 0, size);
    std::memcpy(field, text, std::min(size, std::strlen(text)));
}

// An empty ID3v1 tag at the end, for a file that has none, which replaceId3v1 then fills.
bool appendBlankId3v1(const std::string& path, std::string& error) {
    char tag[kId3v1Bytes] = {'T', 'A', 'G'};
    const int descriptor = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
    const bool written =
        descriptor >= 0 && write(descriptor, tag, kId3v1Bytes) == static_cast<ssize_t>(kId3v1Bytes);
    if ((descriptor >= 0 && close(descriptor) != 0) || !written) {
        error = std::string("could not take an ID3v1 tag: ") + std::strerror(errno);
        return false;
    }
    return true;
}

// The file without its tags (all of them, or the ID3v2 tag only), and with the plug-in's ID3v1 tag
// (128 bytes at the end) made anew from `tags` as the plug-in makes it (the genre by its number in
// the ID3v1 list, 255 for none), with the year cvnhost adds.
bool replaceId3v1(const std::string& path, const TrackTags& tags, bool stripAll, std::string& error) {
    {
        const std::unique_lock<std::mutex> tagLibTurn = lockTagLib();
        TagLib::MPEG::File file(path.c_str(), false);
        const int stripped = stripAll ? TagLib::MPEG::File::AllTags : TagLib::MPEG::File::ID3v2;
        if (!file.isValid() || !file.strip(stripped)) {
            error = "cannot be read back as MP3 to write its tags again";
            return false;
        }
    }
    if (stripAll && !appendBlankId3v1(path, error)) {
        return false;
    }
    const int descriptor = open(path.c_str(), O_RDWR | O_CLOEXEC);
    struct stat status {};
    char tag[kId3v1Bytes] = {};
    const bool opened = descriptor >= 0 && fstat(descriptor, &status) == 0;
    const off_t start = status.st_size - static_cast<off_t>(kId3v1Bytes);
    const bool read = opened && start >= 0 &&
                      pread(descriptor, tag, kId3v1Bytes, start) == static_cast<ssize_t>(kId3v1Bytes) &&
                      std::memcmp(tag, "TAG", 3) == 0;
    if (!read) {
        error = "has no ID3v1 tag to write again";
        if (descriptor >= 0) {
            close(descriptor);
        }
        return false;
    }
    const CVN_TrackInfo info = trackInfoFor(tags);
    putField(tag + 3, 30, info.title);
    putField(tag + 33, 30, info.artist);
    putField(tag + 63, 30, info.album);
    putField(tag + 93, 4, id3v1YearOf(tags).value_or("").c_str());
    // The plug-in's rule: the byte it is handed is one less than the track, 255 for none.
    tag[126] = static_cast<char>(info.track == 255 ? 0 : info.track + 1);
    tag[127] =
        static_cast<char>(TagLib::ID3v1::genreIndex(TagLib::String(info.genre, TagLib::String::Latin1)));
    const bool written = pwrite(descriptor, tag, kId3v1Bytes, start) == static_cast<ssize_t>(kId3v1Bytes);
    if (close(descriptor) != 0 || !written) {
        error = std::string("could not take its new ID3v1 tag: ") + std::strerror(errno);
        return false;
    }
    return true;
}

bool copyFile(const std::string& from, const std::string& to, std::string& error) {
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
    const int out = open(to.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    uintmax_t bytes = 0;
    const bool copied = in >= 0 && out >= 0 && copyAll(in, out, bytes);
    if (!copied) {
        error = std::string("cannot be copied to write its tags again: ") + std::strerror(errno);
    }
    if (in >= 0) {
        close(in);
    }
    if (out >= 0 && close(out) != 0 && copied) {
        error = std::string("cannot be copied to write its tags again: ") + std::strerror(errno);
        return false;
    }
    return copied;
}

// The marker frame of the file at `path` given `text`, the tag saved in the version it had.
bool saveMarkerText(const std::string& path, const std::string& text, std::string& error) {
    TagLib::MPEG::File file(path.c_str(), false);
    auto* frame = file.isValid() && file.hasID3v2Tag()
                      ? TagLib::ID3v2::UserTextIdentificationFrame::find(file.ID3v2Tag(), kSourceMarkerName)
                      : nullptr;
    if (frame == nullptr) {
        error = "has no source marker to write again";
        return false;
    }
    frame->setText(TagLib::String(text, TagLib::String::UTF8));
    const auto version =
        file.ID3v2Tag()->header()->majorVersion() == 3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4;
    if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, version,
                   TagLib::File::DoNotDuplicate)) {
        error = "could not be saved with its new source marker";
        return false;
    }
    return true;
}

// The marker written, then read back once TagLib has closed the file: as for a new tag
// (id3v2_tag.cpp), TagLib does not report every failed write.
bool replaceMarkerText(const std::string& path, const std::string& text, std::string& error) {
    const std::unique_lock<std::mutex> tagLibTurn = lockTagLib();
    if (!saveMarkerText(path, text, error)) {
        return false;
    }
    TagLib::MPEG::File check(path.c_str(), false);
    const auto* written =
        check.isValid() && check.hasID3v2Tag() && check.hasID3v1Tag()
            ? TagLib::ID3v2::UserTextIdentificationFrame::find(check.ID3v2Tag(), kSourceMarkerName)
            : nullptr;
    if (written == nullptr || written->fieldList().size() < 2 ||
        written->fieldList()[1].to8Bit(true) != text) {
        error = "was damaged while its source marker was written (is the disk full?)";
        return false;
    }
    return true;
}

} // namespace

bool rewriteMarker(const std::string& output, const std::string& markerText, std::string& error) {
    std::unique_ptr<PendingOutput> pending = PendingOutput::create(output, "", error);
    return pending && copyFile(output, pending->temporaryPath(), error) &&
           replaceMarkerText(pending->temporaryPath(), markerText, error) && pending->commit(error);
}

bool rewriteTags(const std::string& from, const std::string& output, const TrackTags& tags, bool stripAll,
                 Id3v2Version version, std::string& error) {
    std::unique_ptr<PendingOutput> pending = PendingOutput::create(output, "", error);
    return pending && copyFile(from, pending->temporaryPath(), error) &&
           replaceId3v1(pending->temporaryPath(), tags, stripAll, error) &&
           writeId3v2Tag(pending->temporaryPath(), tags, version, error, from,
                         stripAll ? AudioMadeBy::TheInputsEncoder : AudioMadeBy::ThisEncoder) &&
           pending->commit(error);
}

} // namespace cvnhost
