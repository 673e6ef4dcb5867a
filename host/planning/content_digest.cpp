#include "planning/content_digest.h"

#include "audio/audio_input.h"
#include "audio/ffmpeg_module.h"
#include "audio/sndfile_decoder.h"
#include "files/standard_streams.h"
#include "tags/replay_gain.h"
#include "tags/input_tags.h"
#include "tags/source_marker.h"
#include "tags/taglib_lock.h"

#include <taglib/flacfile.h>
#include <taglib/flacproperties.h>
#include <taglib/id3v2header.h>
#include <taglib/tfilestream.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <filesystem>

namespace cvnhost {

namespace {

std::string hexOf(uint64_t value) {
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(value));
    return text;
}

uint64_t addText(uint64_t hash, const std::string& text) {
    // The length first, so that "ab"+"c" and "a"+"bc" differ.
    const uint64_t length = text.size();
    return share::fnv1a(share::fnv1a(hash, &length, sizeof length), text.data(), text.size());
}

// Whether the stream holds FLAC, after an ID3v2 tag some taggers put in front. TagLib's FLAC
// reader would otherwise look through all of another format's file for the FLAC marker.
bool holdsFlac(TagLib::FileStream& stream) {
    const TagLib::ByteVector start = stream.readBlock(TagLib::ID3v2::Header::size());
    long offset = 0;
    if (start.startsWith(TagLib::ID3v2::Header::fileIdentifier())) {
        offset = static_cast<long>(TagLib::ID3v2::Header(start).completeTagSize());
    }
    stream.seek(offset);
    return stream.readBlock(4) == "fLaC";
}

// Whether a regular file begins with EBML's magic, as every Matroska file does. A FIFO or a
// device would block or be consumed.
bool startsAsMatroska(const std::string& path) {
    std::error_code typeError;
    if (isStandardStream(path) || !std::filesystem::is_regular_file(path, typeError)) {
        return false;
    }
    char magic[4] = {};
    std::ifstream(path, std::ios::binary).read(magic, sizeof magic);
    return std::memcmp(magic, "\x1A\x45\xDF\xA3", sizeof magic) == 0;
}

} // namespace

std::string tagsDigest(const TrackTags& tags) {
    uint64_t hash = share::kFnv1aBasis;
    for (const std::optional<std::string>* field : {&tags.title, &tags.artist, &tags.album, &tags.genre}) {
        hash = addText(hash, field->value_or("\x01"));
    }
    hash = addText(hash, std::to_string(tags.track.value_or(0)) + "/" +
                             std::to_string(tags.trackTotal.value_or(0)));
    for (const auto& [name, values] : tags.more) {
        if (isReplayGainName(name) || name == kSourceMarkerName) {
            continue;
        }
        hash = addText(hash, name);
        for (const std::string& value : values) {
            hash = addText(hash, value);
        }
    }
    for (const Picture& picture : tags.pictures) {
        hash = addText(hash, picture.mimeType + "\x1F" + picture.description + "\x1F" +
                                 std::to_string(picture.type));
        hash = share::fnv1a(hash, picture.data.data(), picture.data.size());
    }
    return hexOf(hash);
}

TrackTags inputTagsAt(const std::string& path) {
    // TagLib 1.13 reads no Matroska, and may take one for MPEG audio it finds no tags in; FFmpeg
    // reads its tags.
    if (startsAsMatroska(path)) {
        std::string error;
        const FfmpegModule* module = ffmpegModule(error);
        const auto texts = module != nullptr ? module->matroskaTags(path) : std::nullopt;
        return texts ? tagsOfTexts(*texts) : TrackTags{};
    }
    return readInputTags(path).value_or(TrackTags{});
}

TrackTags inputTagsOf(const Track& item) {
    return inputTagsAt(item.input);
}

TrackTags tagsGivenTo(const Track& item, const TrackTags& given) {
    return tagsGivenTo(item, given, inputTagsOf(item));
}

TrackTags tagsGivenTo(const Track& item, const TrackTags& given, const TrackTags& inputTags) {
    return layeredTags(given, item.tags, inputTags);
}

std::string settingsDigest(const std::vector<std::string>& parts) {
    uint64_t hash = share::kFnv1aBasis;
    for (const std::string& part : parts) {
        hash = addText(hash, part);
    }
    return hexOf(hash);
}

void FrameDigest::add(const std::vector<uint32_t>& frames) {
    // Word by word: a byte at a time costs a multiplication per byte of every track.
    for (const uint32_t frame : frames) {
        hash_ = (hash_ ^ frame) * share::kFnv1aPrime;
    }
}

std::string FrameDigest::text() const {
    return "pcm:" + hexOf(hash_);
}

std::optional<std::string> flacAudioDigest(const std::string& path) {
    std::error_code typeError;
    if (!std::filesystem::is_regular_file(path, typeError)) {
        return std::nullopt; // a FIFO would block TagLib, or give it the track's audio
    }
    const std::unique_lock<std::mutex> tagLibTurn = lockTagLib();
    TagLib::FileStream stream(path.c_str(), true);
    if (!stream.isOpen() || !holdsFlac(stream)) {
        return std::nullopt;
    }
    TagLib::FLAC::File file(&stream, nullptr, true, TagLib::AudioProperties::Fast);
    if (!file.isValid() || file.audioProperties() == nullptr) {
        return std::nullopt;
    }
    const TagLib::ByteVector md5 = file.audioProperties()->signature();
    if (md5.size() != 16 || md5 == TagLib::ByteVector(16, '\0')) {
        return std::nullopt;
    }
    return "flac:" + std::string(md5.toHex().data(), md5.toHex().size());
}

std::optional<std::string> audioDigestOf(const std::string& path, std::string& error) {
    if (std::optional<std::string> flac = flacAudioDigest(path)) {
        // STREAMINFO's digest comes first in the file and outlives a cut: the audio it was taken
        // of must still reach its last frame.
        if (!statedEndIsReadable(path)) {
            error = "is truncated: its last frame, which its STREAMINFO states, cannot be read";
            return std::nullopt;
        }
        return flac;
    }
    std::unique_ptr<AudioInput> input = AudioInput::open(path, error);
    if (!input) {
        return std::nullopt;
    }
    FrameDigest digest;
    std::vector<uint32_t> frames;
    while (input->read(frames, error)) {
        if (frames.empty()) {
            return digest.text();
        }
        digest.add(frames);
    }
    return std::nullopt;
}

} // namespace cvnhost
