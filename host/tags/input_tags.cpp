#include "tags/input_tags.h"

#include "files/standard_streams.h"
#include "tags/taglib_lock.h"

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/mp4file.h>
#include <taglib/mpcfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
#include <taglib/tfilestream.h>
#include <taglib/tpropertymap.h>
#include <taglib/vorbisfile.h>
#include <taglib/wavfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>

namespace cvnhost {

namespace {

std::string utf8(const TagLib::String& text) {
    return text.to8Bit(true);
}

thread_local bool t_pictureLeftOut = false;

// A picture above the limit is left out, with a note once per input: a 50 MB scan in a FLAC
// file would otherwise be copied whole into every MP3 made from it.
void addPicture(std::vector<Picture>& pictures, int type, const TagLib::String& mimeType,
                const TagLib::ByteVector& data, const TagLib::String& description) {
    if (data.size() > kLargestPicture) {
        t_pictureLeftOut = true;
        return;
    }
    pictures.push_back(
        Picture{utf8(mimeType), std::vector<uint8_t>(data.begin(), data.end()), utf8(description), type});
}

void addFlacPictures(std::vector<Picture>& pictures, const TagLib::List<TagLib::FLAC::Picture*>& list) {
    for (const TagLib::FLAC::Picture* picture : list) {
        addPicture(pictures, picture->type(), picture->mimeType(), picture->data(), picture->description());
    }
}

void addId3v2Pictures(std::vector<Picture>& pictures, TagLib::ID3v2::Tag* tag) {
    if (tag == nullptr) {
        return;
    }
    for (TagLib::ID3v2::Frame* frame : tag->frameList("APIC")) {
        if (const auto* picture = dynamic_cast<const TagLib::ID3v2::AttachedPictureFrame*>(frame)) {
            addPicture(pictures, picture->type(), picture->mimeType(), picture->picture(),
                       picture->description());
        }
    }
}

void addMp4Pictures(std::vector<Picture>& pictures, TagLib::MP4::Tag* tag) {
    if (tag == nullptr || !tag->contains("covr")) {
        return;
    }
    for (const TagLib::MP4::CoverArt& cover : tag->item("covr").toCoverArtList()) {
        const char* mimeType = cover.format() == TagLib::MP4::CoverArt::PNG    ? "image/png"
                               : cover.format() == TagLib::MP4::CoverArt::JPEG ? "image/jpeg"
                                                                               : "image/unknown";
        addPicture(pictures, kFrontCover, mimeType, cover.data(), "");
    }
}

void addAsfPictures(std::vector<Picture>& pictures, TagLib::ASF::Tag* tag) {
    if (tag == nullptr || !tag->attributeListMap().contains("WM/Picture")) {
        return;
    }
    for (const TagLib::ASF::Attribute& attribute : tag->attribute("WM/Picture")) {
        const TagLib::ASF::Picture picture = attribute.toPicture();
        if (picture.isValid()) {
            addPicture(pictures, picture.type(), picture.mimeType(), picture.picture(),
                       picture.description());
        }
    }
}

// APEv2 keeps a picture as a binary item "COVER ART (FRONT)" and the like: a file name, a zero,
// the image, whose type its first bytes tell.
void addApePictures(std::vector<Picture>& pictures, TagLib::APE::Tag* tag) {
    if (tag == nullptr) {
        return;
    }
    static const std::pair<const char*, int> items[] = {{"COVER ART (FRONT)", kFrontCover},
                                                        {"COVER ART (BACK)", 4}};
    for (const auto& [name, type] : items) {
        const auto found = tag->itemListMap().find(name);
        if (found == tag->itemListMap().end()) {
            continue;
        }
        const TagLib::ByteVector value = found->second.binaryData();
        const int nameEnd = value.find('\0');
        if (nameEnd < 0) {
            continue;
        }
        const TagLib::ByteVector image = value.mid(static_cast<unsigned>(nameEnd) + 1);
        const char* mimeType = image.startsWith("\x89PNG") ? "image/png" : "image/jpeg";
        addPicture(pictures, type, mimeType, image,
                   TagLib::String(value.mid(0, static_cast<unsigned>(nameEnd))));
    }
}

// Every picture of the file, in its order, with its type and description.
std::vector<Picture> picturesOf(TagLib::File* file) {
    std::vector<Picture> pictures;
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        addFlacPictures(pictures, flac->pictureList());
        if (pictures.empty() && flac->xiphComment() != nullptr) {
            addFlacPictures(pictures, flac->xiphComment()->pictureList());
        }
        if (pictures.empty()) {
            addId3v2Pictures(pictures, flac->ID3v2Tag());
        }
    } else if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file); vorbis && vorbis->tag()) {
        addFlacPictures(pictures, vorbis->tag()->pictureList());
    } else if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file); opus && opus->tag()) {
        addFlacPictures(pictures, opus->tag()->pictureList());
    } else if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
        addId3v2Pictures(pictures, mpeg->ID3v2Tag());
    } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
        addId3v2Pictures(pictures, wav->ID3v2Tag());
    } else if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file)) {
        addId3v2Pictures(pictures, aiff->tag());
    } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        addMp4Pictures(pictures, mp4->tag());
    } else if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file)) {
        addAsfPictures(pictures, asf->tag());
    } else if (auto* wavPack = dynamic_cast<TagLib::WavPack::File*>(file)) {
        addApePictures(pictures, wavPack->APETag());
    } else if (auto* ape = dynamic_cast<TagLib::APE::File*>(file)) {
        addApePictures(pictures, ape->APETag());
    } else if (auto* musepack = dynamic_cast<TagLib::MPC::File*>(file)) {
        addApePictures(pictures, musepack->APETag());
    }
    return pictures;
}

} // namespace

std::optional<Picture> readCover(const std::string& path, std::string& error) {
    const std::string tooLarge = "is larger than a picture may be (16 MB)";
    std::error_code sizeError;
    if (const uintmax_t size = std::filesystem::file_size(path, sizeError);
        !sizeError && size > kLargestPicture) {
        error = tooLarge;
        return std::nullopt;
    }
    // At most one byte past the limit is read, whatever the file is: a device or a pipe has no size.
    std::ifstream file(path, std::ios::binary);
    std::vector<uint8_t> data(kLargestPicture + 1);
    file.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(data.size()));
    if (!file.is_open() || file.bad()) {
        error = "cannot be read as a cover";
        return std::nullopt;
    }
    data.resize(static_cast<size_t>(file.gcount()));
    if (data.size() > kLargestPicture) {
        error = tooLarge;
        return std::nullopt;
    }
    const auto startsWith = [&](std::initializer_list<uint8_t> signature) {
        return data.size() >= signature.size() &&
               std::equal(signature.begin(), signature.end(), data.begin());
    };
    if (startsWith({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})) {
        return Picture{"image/png", std::move(data), "", kFrontCover};
    }
    if (startsWith({0xFF, 0xD8, 0xFF})) {
        return Picture{"image/jpeg", std::move(data), "", kFrontCover};
    }
    error = "is neither a PNG nor a JPEG image";
    return std::nullopt;
}

namespace {

// The fields of their own (title, artist, album, genre, track and disc with their totals) from a
// file's properties.
TrackTags fieldsOf(const TagLib::PropertyMap& properties) {
    const auto first = [&](const char* name) -> std::optional<std::string> {
        const auto found = properties.find(name);
        if (found == properties.end() || found->second.isEmpty() || found->second.front().isEmpty()) {
            return std::nullopt;
        }
        return utf8(found->second.front());
    };
    const auto total = [&](const char* name, const char* otherName) -> std::optional<int> {
        const std::optional<std::string> text = first(name) ? first(name) : first(otherName);
        return text ? parseNumberAndTotal(*text).number : std::nullopt;
    };
    TrackTags tags;
    tags.title = first(kTitleName);
    tags.artist = first(kArtistName);
    tags.album = first(kAlbumName);
    tags.genre = first(kGenreName);
    if (const std::optional<std::string> track = first("TRACKNUMBER")) {
        const NumberAndTotal parsed = parseNumberAndTotal(*track);
        tags.track = parsed.number;
        tags.trackTotal = parsed.total;
    }
    if (!tags.trackTotal) {
        tags.trackTotal = total("TRACKTOTAL", "TOTALTRACKS");
    }
    if (const std::optional<std::string> disc = first("DISCNUMBER")) {
        NumberAndTotal parsed = parseNumberAndTotal(*disc);
        if (!parsed.total) {
            parsed.total = total("DISCTOTAL", "TOTALDISCS");
        }
        if (parsed.number) {
            tags.more["DISCNUMBER"] = {numberAndTotalText(parsed)};
        }
    }
    return tags;
}

// Every other text, by its property name, with all of its values.
void addOtherTexts(const TagLib::PropertyMap& properties, TrackTags& tags) {
    static const std::set<std::string> taken = {"TRACKNUMBER", "TRACKTOTAL", "TOTALTRACKS",
                                                "DISCNUMBER",  "DISCTOTAL",  "TOTALDISCS"};
    static const std::set<std::string> ownField = {kTitleName, kArtistName, kAlbumName, kGenreName};
    for (const auto& [name, values] : properties) {
        const std::string key = utf8(name);
        // A text with a field of its own is kept here too when it has several values.
        if (taken.count(key) != 0 || (ownField.count(key) != 0 && values.size() < 2)) {
            continue;
        }
        std::vector<std::string>& texts = tags.more[key];
        for (const TagLib::String& value : values) {
            texts.push_back(utf8(value));
        }
    }
}

// The names other taggers and formats give a text, as the one name the ID3v2 tag is written from:
// FFmpeg's ENCODED_BY, Picard's APEv2 names of the release type and status, the names TagLib makes
// of TXXX descriptions it does not know (an MP3 input tagged by Picard), Picard's Vorbis KEY and
// WEBSITE. Where both are there, the one name's own values stay.
void useCommonNames(TrackTags& tags) {
    static const std::pair<const char*, const char*> names[] = {
        {"ENCODED_BY", "ENCODEDBY"},
        {"ENCODED-BY", "ENCODEDBY"},
        {"MUSICBRAINZ_ALBUMTYPE", "RELEASETYPE"},
        {"MUSICBRAINZ_ALBUMSTATUS", "RELEASESTATUS"},
        {"MUSICBRAINZ ORIGINAL ALBUM ID", "MUSICBRAINZ_ORIGINALALBUMID"},
        {"MUSICBRAINZ ORIGINAL ARTIST ID", "MUSICBRAINZ_ORIGINALARTISTID"},
        {"MUSICBRAINZ TRM ID", "MUSICBRAINZ_TRMID"},
        {"MUSICBRAINZ DISC ID", "MUSICBRAINZ_DISCID"},
        {"MUSICMAGIC FINGERPRINT", "FINGERPRINT"},
        {"KEY", "INITIALKEY"},
        {"WEBSITE", "ARTISTWEBPAGE"},
    };
    for (const auto& [other, common] : names) {
        if (const auto found = tags.more.find(other); found != tags.more.end()) {
            tags.more.emplace(common, std::move(found->second));
            tags.more.erase(found);
        }
    }
}

// Picard's Vorbis MOVEMENT and MOVEMENTTOTAL, and an MP4 file's count (©mvc), as the one text
// "2/4" of MOVEMENTNUMBER, as ID3v2 keeps them (MVIN).
void joinMovementNumber(TrackTags& tags) {
    const auto takeFirst = [&](std::initializer_list<const char*> names) -> std::optional<std::string> {
        std::optional<std::string> taken;
        for (const char* name : names) {
            if (const auto found = tags.more.find(name); found != tags.more.end()) {
                if (!taken && !found->second.empty()) {
                    taken = found->second.front();
                }
                tags.more.erase(found);
            }
        }
        return taken;
    };
    const std::optional<std::string> number = takeFirst({"MOVEMENTNUMBER", "MOVEMENT"});
    const std::optional<std::string> total = takeFirst({"MOVEMENTTOTAL", "MOVEMENTCOUNT"});
    if (number) {
        const bool joined = number->find('/') != std::string::npos || !total;
        tags.more["MOVEMENTNUMBER"] = {joined ? *number : *number + "/" + *total};
    } else if (total) {
        tags.more["MOVEMENTTOTAL"] = {*total};
    }
}

// An ID3v2.3 tag as cvnhost writes it holds the original date twice: its year in TORY, and whole
// in TXXX:ORIGINALDATE; TagLib reads both as values of ORIGINALDATE. A value that begins another
// is the same date, shorter.
void keepWholeOriginalDate(TrackTags& tags) {
    const auto found = tags.more.find("ORIGINALDATE");
    if (found == tags.more.end()) {
        return;
    }
    std::vector<std::string>& dates = found->second;
    const auto isPartOfAnother = [&](const std::string& date) {
        return std::any_of(dates.begin(), dates.end(), [&](const std::string& other) {
            return other.size() > date.size() && other.compare(0, date.size(), date) == 0;
        });
    };
    std::vector<std::string> whole;
    std::copy_if(dates.begin(), dates.end(), std::back_inserter(whole),
                 [&](const std::string& date) { return !isPartOfAnother(date); });
    dates = std::move(whole);
}

// TagLib gives an MP4 file's ©too, the program that wrote the file ("Lavf59.27.100"), as
// ENCODEDBY, which ID3v2 keeps for a person (TENC). The person is ©enc, which TagLib leaves out.
void takeMp4EncodedBy(TagLib::File* file, TrackTags& tags) {
    auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file);
    if (mp4 == nullptr || mp4->tag() == nullptr) {
        return;
    }
    tags.more.erase("ENCODEDBY");
    if (mp4->tag()->contains("\251enc")) {
        for (const TagLib::String& value : mp4->tag()->item("\251enc").toStringList()) {
            tags.more["ENCODEDBY"].push_back(utf8(value));
        }
    }
}

// Picard's freeform MP4 names that TagLib 1.13 leaves out of an MP4 file's properties, by the
// property names Picard gives them in Vorbis comments, under which the ID3v2 tag is written.
void addPicardFreeformTexts(TagLib::File* file, TrackTags& tags) {
    auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file);
    if (mp4 == nullptr || mp4->tag() == nullptr) {
        return;
    }
    static const std::pair<const char*, const char*> names[] = {
        {"MusicBrainz Disc Id", "MUSICBRAINZ_DISCID"},
        {"MusicBrainz TRM Id", "MUSICBRAINZ_TRMID"},
        {"MusicBrainz Original Album Id", "MUSICBRAINZ_ORIGINALALBUMID"},
        {"MusicBrainz Original Artist Id", "MUSICBRAINZ_ORIGINALARTISTID"},
        {"MusicIP PUID", "MUSICIP_PUID"},
        {"Acoustid Id", "ACOUSTID_ID"},
        {"Acoustid Fingerprint", "ACOUSTID_FINGERPRINT"},
        {"Writer", "WRITER"},
        {"WORK", "WORK"},
        {"PRODUCER", "PRODUCER"},
        {"ENGINEER", "ENGINEER"},
        {"MIXER", "MIXER"},
        {"DJMIXER", "DJMIXER"},
    };
    for (const auto& [freeform, property] : names) {
        const TagLib::String key = TagLib::String("----:com.apple.iTunes:") + freeform;
        if (!mp4->tag()->contains(key) || tags.more.count(property) != 0) {
            continue;
        }
        for (const TagLib::String& value : mp4->tag()->item(key).toStringList()) {
            tags.more[property].push_back(utf8(value));
        }
    }
}

// The rules every input's texts go through, whoever read them.
TrackTags tagsOfProperties(const TagLib::PropertyMap& properties, TagLib::File* file) {
    TrackTags tags = fieldsOf(properties);
    addOtherTexts(properties, tags);
    takeMp4EncodedBy(file, tags);
    addPicardFreeformTexts(file, tags);
    useCommonNames(tags);
    joinMovementNumber(tags);
    keepWholeOriginalDate(tags);
    // The input's length (TLEN) is the input file's, not the MP3's, whose own differs by its
    // encoder's delay and padding; a length a pipe's encoder could not know is even 2^32 - 1 ms.
    tags.more.erase("LENGTH");
    return tags;
}

} // namespace

TrackTags tagsOfTexts(const std::vector<std::pair<std::string, std::string>>& texts) {
    TagLib::PropertyMap properties;
    for (const auto& [name, value] : texts) {
        properties[TagLib::String(name, TagLib::String::UTF8)].append(
            TagLib::String(value, TagLib::String::UTF8));
    }
    return tagsOfProperties(properties, nullptr);
}

std::optional<TrackTags> readInputTags(const std::string& path) {
    // A FIFO or a device would block or be consumed: only regular files are read ahead for tags.
    std::error_code typeError;
    if (isStandardStream(path) || !std::filesystem::is_regular_file(path, typeError)) {
        return std::nullopt;
    }
    const std::unique_lock<std::mutex> tagLibTurn = lockTagLib();
    // Read-only: an input is never opened for writing, not even by the tag reader.
    TagLib::FileStream stream(path.c_str(), true);
    TagLib::FileRef reference(&stream, false);
    if (reference.isNull() || reference.file() == nullptr || !reference.file()->isValid()) {
        return std::nullopt;
    }
    TrackTags tags = tagsOfProperties(reference.file()->properties(), reference.file());
    t_pictureLeftOut = false;
    tags.pictures = picturesOf(reference.file());
    static std::set<std::string> noted; // under TagLib's lock, as the tags are read
    if (t_pictureLeftOut && noted.insert(path).second) {
        std::fprintf(stderr, "cvnhost: %s: its picture is larger than 16 MB and is left out of the MP3\n",
                     path.c_str());
    }
    return tags;
}

} // namespace cvnhost
