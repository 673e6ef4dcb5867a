#include "id3v2_tag.h"

#include "taglib_lock.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/tstring.h>

#include <filesystem>
#include <map>

namespace cvnhost {

namespace {

TagLib::String utf8(const std::optional<std::string>& text) {
    return text ? TagLib::String(*text, TagLib::String::UTF8) : TagLib::String();
}

// The MusicBrainz identifiers go into TXXX frames under the descriptions that MusicBrainz Picard
// writes and players look for; TagLib would write them in capitals.
const std::map<std::string, std::string>& musicBrainzDescriptions() {
    static const std::map<std::string, std::string> descriptions = {
        {"MUSICBRAINZ_ALBUMID", "MusicBrainz Album Id"},
        {"MUSICBRAINZ_ARTISTID", "MusicBrainz Artist Id"},
        {"MUSICBRAINZ_ALBUMARTISTID", "MusicBrainz Album Artist Id"},
        {"MUSICBRAINZ_RELEASEGROUPID", "MusicBrainz Release Group Id"},
        {"MUSICBRAINZ_RELEASETRACKID", "MusicBrainz Release Track Id"},
        {"MUSICBRAINZ_WORKID", "MusicBrainz Work Id"},
        {"MUSICBRAINZ_DISCID", "MusicBrainz Disc Id"},
        {"MUSICBRAINZ_ALBUMSTATUS", "MusicBrainz Album Status"},
        {"MUSICBRAINZ_ALBUMTYPE", "MusicBrainz Album Type"},
        {"RELEASECOUNTRY", "MusicBrainz Album Release Country"},
    };
    return descriptions;
}

// Texts that describe the input file, not the track: the MP3 has an encoder of its own.
bool describesTheInput(const std::string& name) {
    return name == "ENCODER" || name == "ENCODING";
}

TagLib::StringList textsOf(const std::vector<std::string>& values) {
    TagLib::StringList list;
    for (const std::string& value : values) {
        list.append(TagLib::String(value, TagLib::String::UTF8));
    }
    return list;
}

// The texts of `tags` by TagLib's property names, which TagLib turns into the frames of ID3v2.
TagLib::PropertyMap propertiesOf(const TrackTags& tags) {
    TagLib::PropertyMap properties;
    const auto set = [&](const char* name, const std::optional<std::string>& text) {
        if (text) {
            properties[name] = TagLib::StringList(utf8(text));
        }
    };
    for (const auto& [name, values] : tags.more) {
        if (musicBrainzDescriptions().count(name) == 0 && !describesTheInput(name)) {
            properties[TagLib::String(name, TagLib::String::UTF8)] = textsOf(values);
        }
    }
    set("TITLE", tags.title);
    set("ARTIST", tags.artist);
    set("ALBUM", tags.album);
    set("GENRE", tags.genre);
    if (tags.track) {
        set("TRACKNUMBER", std::to_string(*tags.track) +
                               (tags.trackTotal ? "/" + std::to_string(*tags.trackTotal) : std::string()));
    }
    return properties;
}

} // namespace

bool writeId3v2Tag(const std::string& path, const TrackTags& tags, Id3v2Version version, std::string& error) {
    const std::unique_lock<std::mutex> tagLibTurn = lockTagLib();
    std::error_code sizeError;
    const uintmax_t untagged = std::filesystem::file_size(path, sizeError);
    if (sizeError) {
        error = "cannot be read back to add its ID3v2 tag: " + sizeError.message();
        return false;
    }
    {
        TagLib::MPEG::File file(path.c_str(), false);
        if (!file.isValid()) {
            error = "cannot be read back as MP3 to add its ID3v2 tag";
            return false;
        }
        TagLib::ID3v2::Tag* tag = file.ID3v2Tag(true);
        tag->setProperties(propertiesOf(tags));
        for (const auto& [name, description] : musicBrainzDescriptions()) {
            if (const auto found = tags.more.find(name); found != tags.more.end()) {
                tag->addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(
                    TagLib::String(description, TagLib::String::UTF8), textsOf(found->second),
                    TagLib::String::UTF8));
            }
        }
        if (tags.cover) {
            auto* picture = new TagLib::ID3v2::AttachedPictureFrame;
            picture->setType(TagLib::ID3v2::AttachedPictureFrame::FrontCover);
            picture->setMimeType(tags.cover->mimeType);
            picture->setDescription(TagLib::String(tags.cover->description, TagLib::String::UTF8));
            picture->setPicture(TagLib::ByteVector(reinterpret_cast<const char*>(tags.cover->data.data()),
                                                   static_cast<unsigned>(tags.cover->data.size())));
            tag->addFrame(picture);
        }
        // Only the ID3v2 tag is written; the plug-in's ID3v1 tag is left as it is.
        const auto versionNumber = version == Id3v2Version::V3 ? TagLib::ID3v2::v3 : TagLib::ID3v2::v4;
        if (!file.save(TagLib::MPEG::File::ID3v2, TagLib::File::StripNone, versionNumber,
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
    if (!check.isValid() || !check.hasID3v1Tag() || sizeError || tagged != untagged + tagBytes ||
        (check.hasID3v2Tag() && check.ID3v2Tag()->title() != utf8(tags.title))) {
        error = "was damaged while its ID3v2 tag was written (is the disk full?)";
        return false;
    }
    return true;
}

} // namespace cvnhost
