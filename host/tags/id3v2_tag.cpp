#include "tags/id3v2_tag.h"

#include "tags/kept_frames.h"
#include "tags/source_marker.h"
#include "tags/taglib_lock.h"

#include "lame_enc_interface.hpp"
#include "share/win32/plugin_entry_points.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/tstring.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace cvnhost {

namespace {

TagLib::String utf8(const std::optional<std::string>& text) {
    return text ? TagLib::String(*text, TagLib::String::UTF8) : TagLib::String();
}

// The TXXX frames whose descriptions MusicBrainz Picard writes in mixed case, by the property names
// that TagLib and Picard's Vorbis comments give them; TagLib would write them in capitals, or under
// its own names ("MUSICBRAINZ ALBUM TYPE"), which Picard and players do not look for.
const std::map<std::string, std::string>& musicBrainzDescriptions() {
    static const std::map<std::string, std::string> descriptions = {
        {"MUSICBRAINZ_ALBUMID", "MusicBrainz Album Id"},
        {"MUSICBRAINZ_ARTISTID", "MusicBrainz Artist Id"},
        {"MUSICBRAINZ_ALBUMARTISTID", "MusicBrainz Album Artist Id"},
        {"MUSICBRAINZ_RELEASEGROUPID", "MusicBrainz Release Group Id"},
        {"MUSICBRAINZ_RELEASETRACKID", "MusicBrainz Release Track Id"},
        {"MUSICBRAINZ_WORKID", "MusicBrainz Work Id"},
        {"MUSICBRAINZ_DISCID", "MusicBrainz Disc Id"},
        {"MUSICBRAINZ_ORIGINALALBUMID", "MusicBrainz Original Album Id"},
        {"MUSICBRAINZ_ORIGINALARTISTID", "MusicBrainz Original Artist Id"},
        {"MUSICBRAINZ_TRMID", "MusicBrainz TRM Id"},
        {"RELEASETYPE", "MusicBrainz Album Type"},
        {"RELEASESTATUS", "MusicBrainz Album Status"},
        {"RELEASECOUNTRY", "MusicBrainz Album Release Country"},
        {"MUSICIP_PUID", "MusicIP PUID"},
        {"FINGERPRINT", "MusicMagic Fingerprint"},
        {"ACOUSTID_ID", "Acoustid Id"},
        {"ACOUSTID_FINGERPRINT", "Acoustid Fingerprint"},
        {"WRITER", "Writer"},
    };
    return descriptions;
}

// Texts that describe the input file, not the track: the program that wrote it and its settings.
// The MP3 names its own encoder (TSSE, encoderSoftware).
bool describesTheInput(const std::string& name) {
    return name == "ENCODER" || name == "ENCODING" || name == "ENCODERSETTINGS" || name == "ENCODER_OPTIONS";
}

// The encoder library that made the audio, as the encoder project's program names itself in TSSE
// ("LAME 64bits version 3.100 (http://lame.sf.net)"), from what the library the plug-in has bound
// says of itself (beVersion): so it names the library that encoded, whichever is installed. Its
// "64bits" is the width of a pointer, the same in every module of the process. Nothing when no
// library is bound.
std::optional<std::string> encoderSoftware() {
    const auto version =
        share::procedure<BE_VersionFunction>(GetModuleHandleA(BE_ENCODER_LIBRARY_FILE_NAME), "beVersion");
    BE_VersionInfo info{};
    if (version == nullptr || version(&info) != BE_SUCCESS) {
        return std::nullopt;
    }
    const std::string homePage(info.homePage, strnlen(info.homePage, sizeof info.homePage));
    return "LAME " + std::to_string(sizeof(void*) * 8) + "bits version " + std::to_string(info.engineMajor) +
           "." + std::to_string(info.engineMinor) + (homePage.empty() ? "" : " (" + homePage + ")");
}

TagLib::StringList textsOf(const std::vector<std::string>& values) {
    TagLib::StringList list;
    for (const std::string& value : values) {
        list.append(TagLib::String(value, TagLib::String::UTF8));
    }
    return list;
}

// Written as frames of their own below rather than through TagLib's properties: the comment, whose
// several values TagLib would put in a TXXX frame, where players show nothing.
bool writtenOnItsOwn(const std::string& name) {
    return musicBrainzDescriptions().count(name) != 0 || name == kCommentName || name == kSourceMarkerName;
}

// The texts of `tags` by TagLib's property names, which TagLib turns into the frames of ID3v2. A
// field's several values, where the input had them, are in `more` under its name.
TagLib::PropertyMap propertiesOf(const TrackTags& tags, AudioMadeBy madeBy) {
    TagLib::PropertyMap properties;
    const auto set = [&](const char* name, const std::optional<std::string>& text) {
        if (text && tags.more.count(name) == 0) {
            properties[name] = TagLib::StringList(utf8(text));
        }
    };
    for (const auto& [name, values] : tags.more) {
        if (!writtenOnItsOwn(name) && !describesTheInput(name)) {
            properties[TagLib::String(name, TagLib::String::UTF8)] = textsOf(values);
        }
    }
    set(kTitleName, tags.title);
    set(kArtistName, tags.artist);
    set(kAlbumName, tags.album);
    set(kGenreName, tags.genre);
    if (madeBy == AudioMadeBy::TheInputsEncoder) {
        if (const auto found = tags.more.find("ENCODING"); found != tags.more.end()) {
            properties["ENCODING"] = textsOf(found->second);
        }
    } else if (const std::optional<std::string> software = encoderSoftware()) {
        properties["ENCODING"] = TagLib::StringList(utf8(software));
    }
    if (tags.track) {
        properties["TRACKNUMBER"] = TagLib::StringList(
            TagLib::String(std::to_string(*tags.track) +
                           (tags.trackTotal ? "/" + std::to_string(*tags.trackTotal) : std::string())));
    }
    return properties;
}

TagLib::String joined(const TagLib::StringList& values, const char* separator) {
    return values.toString(separator);
}

void addComment(TagLib::ID3v2::Tag& tag, const TrackTags& tags) {
    const auto found = tags.more.find(kCommentName);
    if (found == tags.more.end() || found->second.empty()) {
        return;
    }
    auto* comment = new TagLib::ID3v2::CommentsFrame(TagLib::String::UTF8);
    comment->setLanguage("XXX");
    comment->setText(joined(textsOf(found->second), "\n"));
    tag.addFrame(comment);
}

// Every picture with its type; a description in Latin-1 where it fits, since some players ignore
// a picture whose description is in UTF-16.
void addPictures(TagLib::ID3v2::Tag& tag, const std::vector<Picture>& pictures) {
    for (const Picture& picture : pictures) {
        auto* frame = new TagLib::ID3v2::AttachedPictureFrame;
        const TagLib::String description(picture.description, TagLib::String::UTF8);
        frame->setTextEncoding(description.isLatin1() ? TagLib::String::Latin1 : TagLib::String::UTF8);
        frame->setType(static_cast<TagLib::ID3v2::AttachedPictureFrame::Type>(picture.type));
        frame->setMimeType(picture.mimeType);
        frame->setDescription(description);
        frame->setPicture(TagLib::ByteVector(reinterpret_cast<const char*>(picture.data.data()),
                                             static_cast<unsigned>(picture.data.size())));
        tag.addFrame(frame);
    }
}

TagLib::StringList valuesOf(const TagLib::ID3v2::Frame& frame) {
    const auto* text = dynamic_cast<const TagLib::ID3v2::TextIdentificationFrame*>(&frame);
    return text != nullptr ? text->fieldList() : TagLib::StringList(frame.toString());
}

// The disc subtitle has a frame of its own in 2.4 (TSST), which TagLib 1.13 does not give it.
void fitToVersion4(TagLib::ID3v2::Tag& tag) {
    if (auto* user = TagLib::ID3v2::UserTextIdentificationFrame::find(&tag, "DISCSUBTITLE")) {
        TagLib::StringList values = user->fieldList();
        values.erase(values.begin());
        tag.removeFrame(user);
        auto* subtitle = new TagLib::ID3v2::TextIdentificationFrame("TSST", TagLib::String::UTF8);
        subtitle->setText(values);
        tag.addFrame(subtitle);
    }
}

// What version 2.3 lacks, made so before TagLib saves, which would drop frames 2.3 has no name
// for and keep several values apart by NUL, which 2.3 readers show run together: the frames of
// 2.4 alone go to TXXX under their property names, the original date keeps its whole text beside
// the year that TagLib writes, and several values are joined by "/", as 2.3 does for people.
void fitToVersion3(TagLib::ID3v2::Tag& tag) {
    static const std::pair<const char*, const char*> onlyIn24[] = {
        {"TMOO", "MOOD"}, {"TDRL", "RELEASEDATE"}, {"TSST", "DISCSUBTITLE"}, {"TPRO", "PRODUCEDNOTICE"}};
    for (const auto& [id, name] : onlyIn24) {
        for (TagLib::ID3v2::Frame* frame : TagLib::ID3v2::FrameList(tag.frameList(id))) {
            const TagLib::StringList values = valuesOf(*frame);
            tag.removeFrame(frame);
            tag.addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(name, values, TagLib::String::UTF8));
        }
    }
    for (TagLib::ID3v2::Frame* frame : tag.frameList("TDOR")) {
        tag.addFrame(new TagLib::ID3v2::UserTextIdentificationFrame("ORIGINALDATE", valuesOf(*frame),
                                                                    TagLib::String::UTF8));
    }
    for (TagLib::ID3v2::Frame* frame : tag.frameList()) {
        if (auto* user = dynamic_cast<TagLib::ID3v2::UserTextIdentificationFrame*>(frame)) {
            TagLib::StringList values = user->fieldList(); // the description, then the values
            if (values.size() > 2) {
                values.erase(values.begin());
                user->setText(joined(values, "/"));
            }
        } else if (auto* text = dynamic_cast<TagLib::ID3v2::TextIdentificationFrame*>(frame);
                   text != nullptr && text->fieldList().size() > 1) {
            text->setText(joined(text->fieldList(), "/"));
        }
    }
}

// The source marker, last, with the keys of every frame written before it: a later retag replaces
// those and keeps what was added since.
void addSourceMarker(TagLib::ID3v2::Tag& tag, const TrackTags& tags) {
    const auto found = tags.more.find(kSourceMarkerName);
    std::optional<SourceMarker> marker = found != tags.more.end() && !found->second.empty()
                                             ? parseMarker(found->second.front())
                                             : std::nullopt;
    if (!marker) {
        return;
    }
    const std::set<std::string> written = frameKeysOf(tag);
    marker->frames = std::vector<std::string>(written.begin(), written.end());
    tag.addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(
        kSourceMarkerName, TagLib::String(markerText(*marker), TagLib::String::UTF8), TagLib::String::UTF8));
}

// Every frame of `tags`, in the form `version` takes.
void buildTag(TagLib::ID3v2::Tag& tag, const TrackTags& tags, Id3v2Version version, AudioMadeBy madeBy) {
    tag.setProperties(propertiesOf(tags, madeBy));
    for (const auto& [name, description] : musicBrainzDescriptions()) {
        if (const auto found = tags.more.find(name); found != tags.more.end()) {
            tag.addFrame(new TagLib::ID3v2::UserTextIdentificationFrame(
                TagLib::String(description, TagLib::String::UTF8), textsOf(found->second),
                TagLib::String::UTF8));
        }
    }
    addComment(tag, tags);
    addPictures(tag, tags.pictures);
    fitToVersion4(tag);
    if (version == Id3v2Version::V3) {
        fitToVersion3(tag);
    }
}

} // namespace

bool writeId3v2Tag(const std::string& path, const TrackTags& tags, Id3v2Version version, std::string& error,
                   const std::string& keepFramesOf, AudioMadeBy madeBy) {
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
        buildTag(*tag, tags, version, madeBy);
        const std::set<std::string> written = frameKeysOf(*tag);
        addSourceMarker(*tag, tags);
        if (!keepFramesOf.empty()) {
            addKeptFrames(*tag, keepFramesOf, written);
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
