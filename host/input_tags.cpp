#include "input_tags.h"

#include "standard_streams.h"
#include "taglib_lock.h"

#include <taglib/aifffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>
#include <taglib/opusfile.h>
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

// The picture that says it is the front cover, else the first one; null when there is none.
template <typename Item, typename IsFront>
const Item* frontOrFirst(const std::vector<const Item*>& pictures, IsFront isFront) {
    const auto front = std::find_if(pictures.begin(), pictures.end(), isFront);
    return front != pictures.end() ? *front : pictures.empty() ? nullptr : pictures.front();
}

thread_local bool t_pictureLeftOut = false;

// A picture above the limit is left out, with a note once per input: a 50 MB scan in a FLAC
// file would otherwise be copied whole into every MP3 made from it.
std::optional<Picture> pictureOf(const TagLib::String& mimeType, const TagLib::ByteVector& data,
                                 const TagLib::String& description) {
    if (data.size() > kLargestPicture) {
        t_pictureLeftOut = true;
        return std::nullopt;
    }
    return Picture{utf8(mimeType), std::vector<uint8_t>(data.begin(), data.end()), utf8(description)};
}

std::optional<Picture> fromFlacPictures(const TagLib::List<TagLib::FLAC::Picture*>& list) {
    const std::vector<const TagLib::FLAC::Picture*> pictures(list.begin(), list.end());
    const TagLib::FLAC::Picture* chosen = frontOrFirst(pictures, [](const TagLib::FLAC::Picture* picture) {
        return picture->type() == TagLib::FLAC::Picture::FrontCover;
    });
    if (chosen == nullptr) {
        return std::nullopt;
    }
    return pictureOf(chosen->mimeType(), chosen->data(), chosen->description());
}

std::optional<Picture> fromId3v2(TagLib::ID3v2::Tag* tag) {
    if (tag == nullptr) {
        return std::nullopt;
    }
    using Frame = TagLib::ID3v2::AttachedPictureFrame;
    std::vector<const Frame*> pictures;
    for (TagLib::ID3v2::Frame* frame : tag->frameList("APIC")) {
        if (const auto* picture = dynamic_cast<const Frame*>(frame)) {
            pictures.push_back(picture);
        }
    }
    const Frame* chosen =
        frontOrFirst(pictures, [](const Frame* picture) { return picture->type() == Frame::FrontCover; });
    if (chosen == nullptr) {
        return std::nullopt;
    }
    return pictureOf(chosen->mimeType(), chosen->picture(), chosen->description());
}

std::optional<Picture> coverOf(TagLib::File* file) {
    if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        std::optional<Picture> cover = fromFlacPictures(flac->pictureList());
        if (!cover && flac->xiphComment() != nullptr) {
            cover = fromFlacPictures(flac->xiphComment()->pictureList());
        }
        return cover ? cover : fromId3v2(flac->ID3v2Tag());
    }
    if (auto* vorbis = dynamic_cast<TagLib::Ogg::Vorbis::File*>(file)) {
        return vorbis->tag() != nullptr ? fromFlacPictures(vorbis->tag()->pictureList()) : std::nullopt;
    }
    if (auto* opus = dynamic_cast<TagLib::Ogg::Opus::File*>(file)) {
        return opus->tag() != nullptr ? fromFlacPictures(opus->tag()->pictureList()) : std::nullopt;
    }
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
        return fromId3v2(mpeg->ID3v2Tag());
    }
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
        return fromId3v2(wav->ID3v2Tag());
    }
    if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file)) {
        return fromId3v2(aiff->tag());
    }
    return std::nullopt;
}

// A number from 1 to 999 at the start of `text` (leading zeros are padding); nothing otherwise.
std::optional<int> leadingNumber(const std::string& text) {
    size_t at = text.find_first_not_of(' ');
    int number = 0;
    size_t digits = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
        number = number * 10 + (text[at] - '0');
        if (number > 999) {
            return std::nullopt;
        }
    }
    return digits > 0 && number > 0 ? std::optional<int>(number) : std::nullopt;
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
        return Picture{"image/png", std::move(data), ""};
    }
    if (startsWith({0xFF, 0xD8, 0xFF})) {
        return Picture{"image/jpeg", std::move(data), ""};
    }
    error = "is neither a PNG nor a JPEG image";
    return std::nullopt;
}

NumberAndTotal parseNumberAndTotal(const std::string& text) {
    NumberAndTotal parsed;
    parsed.number = leadingNumber(text);
    const size_t slash = text.find('/');
    if (parsed.number && slash != std::string::npos) {
        parsed.total = leadingNumber(text.substr(slash + 1));
    }
    return parsed;
}

std::string numberAndTotalText(const NumberAndTotal& parsed) {
    return std::to_string(*parsed.number) + (parsed.total ? "/" + std::to_string(*parsed.total) : "");
}

std::optional<TrackTags> readInputTags(const std::string& path) {
    // A FIFO or a device would block or be consumed: only regular files are read ahead for tags.
    std::error_code typeError;
    if (isStandardStream(path) || !std::filesystem::is_regular_file(path, typeError)) {
        return std::nullopt;
    }
    const std::unique_lock<std::mutex> tagLibTurn = lockTagLib();
    TagLib::FileRef reference(path.c_str(), false);
    if (reference.isNull() || reference.file() == nullptr || !reference.file()->isValid()) {
        return std::nullopt;
    }
    const TagLib::PropertyMap properties = reference.file()->properties();
    const auto first = [&](const char* name) -> std::optional<std::string> {
        const auto found = properties.find(name);
        if (found == properties.end() || found->second.isEmpty() || found->second.front().isEmpty()) {
            return std::nullopt;
        }
        return utf8(found->second.front());
    };
    const auto total = [&](const char* name, const char* otherName) -> std::optional<int> {
        const std::optional<std::string> text = first(name) ? first(name) : first(otherName);
        return text ? leadingNumber(*text) : std::nullopt;
    };
    TrackTags tags;
    tags.title = first("TITLE");
    tags.artist = first("ARTIST");
    tags.album = first("ALBUM");
    tags.genre = first("GENRE");
    if (const std::optional<std::string> track = first("TRACKNUMBER")) {
        tags.track = parseTrackNumber(*track);
        tags.trackTotal = parseNumberAndTotal(*track).total;
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
    static const std::set<std::string> taken = {"TITLE",       "ARTIST",     "ALBUM",       "GENRE",
                                                "TRACKNUMBER", "TRACKTOTAL", "TOTALTRACKS", "DISCNUMBER",
                                                "DISCTOTAL",   "TOTALDISCS"};
    for (const auto& [name, values] : properties) {
        const std::string key = utf8(name);
        if (taken.count(key) != 0) {
            continue;
        }
        std::vector<std::string>& texts = tags.more[key];
        for (const TagLib::String& value : values) {
            texts.push_back(utf8(value));
        }
    }
    t_pictureLeftOut = false;
    tags.cover = coverOf(reference.file());
    static std::set<std::string> noted; // under TagLib's lock, as the tags are read
    if (t_pictureLeftOut && noted.insert(path).second) {
        std::fprintf(stderr, "cvnhost: %s: its picture is larger than 16 MB and is left out of the MP3\n",
                     path.c_str());
    }
    return tags;
}

} // namespace cvnhost
