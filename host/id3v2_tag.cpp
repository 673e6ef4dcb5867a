#include "id3v2_tag.h"

#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/tstring.h>

#include <filesystem>

namespace cvnhost {

namespace {

TagLib::String utf8(const std::optional<std::string>& text) {
    return text ? TagLib::String(*text, TagLib::String::UTF8) : TagLib::String();
}

} // namespace

bool writeId3v2Tag(const std::string& path, const TrackTags& tags, std::string& error) {
    std::error_code sizeError;
    const uintmax_t untagged = std::filesystem::file_size(path, sizeError);
    if (sizeError) {
        error = "cannot be read back to add its ID3v2 tag: " + sizeError.message();
        return false;
    }
    bool tagExpected = false; // TagLib writes no tag that holds nothing
    {
        TagLib::MPEG::File file(path.c_str(), false);
        if (!file.isValid()) {
            error = "cannot be read back as MP3 to add its ID3v2 tag";
            return false;
        }
        TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
        tag->setTitle(utf8(tags.title));
        tag->setArtist(utf8(tags.artist));
        tag->setAlbum(utf8(tags.album));
        tag->setGenre(utf8(tags.genre));
        tag->setTrack(tags.track ? static_cast<unsigned>(*tags.track) : 0);
        tagExpected = !tag->isEmpty();
        // Only the ID3v2 tag is written; the plug-in's ID3v1 tag is left as it is.
        if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, TagLib::ID3v2::v4,
                       TagLib::File::DoNotDuplicate)) {
            error = "could not be saved with its ID3v2 tag";
            return false;
        }
    }
    // TagLib rewrites the file in place and does not report every failed write (a full disk, a
    // file size limit): the file must read back with both tags and exactly the tag's bytes more.
    TagLib::MPEG::File check(path.c_str(), false);
    const uintmax_t tagged = std::filesystem::file_size(path, sizeError);
    const uintmax_t tagBytes = check.hasID3v2Tag() ? check.ID3v2Tag()->header()->completeTagSize() : 0;
    if (!check.isValid() || check.hasID3v2Tag() != tagExpected || !check.hasID3v1Tag() || sizeError ||
        tagged != untagged + tagBytes || (tagExpected && check.ID3v2Tag()->title() != utf8(tags.title))) {
        error = "was damaged while its ID3v2 tag was written (is the disk full?)";
        return false;
    }
    return true;
}

} // namespace cvnhost
