#include "tags/kept_frames.h"

#include "tags/source_marker.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/commentsframe.h>
#include <taglib/generalencapsulatedobjectframe.h>
#include <taglib/id3v2framefactory.h>
#include <taglib/mpegfile.h>
#include <taglib/popularimeterframe.h>
#include <taglib/privateframe.h>
#include <taglib/textidentificationframe.h>
#include <taglib/uniquefileidentifierframe.h>
#include <taglib/unsynchronizedlyricsframe.h>
#include <taglib/urllinkframe.h>

#include <memory>
#include <optional>
#include <vector>

namespace cvnhost {

namespace {

using TagLib::ID3v2::Frame;

// What tells apart the frames of one ID, for the kinds a tag may hold several of.
std::optional<TagLib::String> distinctionOf(const Frame& frame) {
    namespace id3 = TagLib::ID3v2;
    if (const auto* user = dynamic_cast<const id3::UserTextIdentificationFrame*>(&frame)) {
        return user->description();
    }
    if (const auto* comment = dynamic_cast<const id3::CommentsFrame*>(&frame)) {
        return comment->description();
    }
    if (const auto* lyrics = dynamic_cast<const id3::UnsynchronizedLyricsFrame*>(&frame)) {
        return lyrics->description();
    }
    if (const auto* picture = dynamic_cast<const id3::AttachedPictureFrame*>(&frame)) {
        return TagLib::String::number(static_cast<int>(picture->type()));
    }
    if (const auto* url = dynamic_cast<const id3::UserUrlLinkFrame*>(&frame)) {
        return url->description();
    }
    if (const auto* object = dynamic_cast<const id3::GeneralEncapsulatedObjectFrame*>(&frame)) {
        return object->description();
    }
    if (const auto* rating = dynamic_cast<const id3::PopularimeterFrame*>(&frame)) {
        return rating->email();
    }
    if (const auto* owned = dynamic_cast<const id3::PrivateFrame*>(&frame)) {
        return owned->owner();
    }
    if (const auto* identifier = dynamic_cast<const id3::UniqueFileIdentifierFrame*>(&frame)) {
        return identifier->owner();
    }
    return std::nullopt;
}

// The kinds of frame cvnhost writes: texts, links, comments, lyrics and pictures.
bool isKindCvnhostWrites(const Frame& frame) {
    const TagLib::ByteVector id = frame.frameID();
    return id.startsWith("T") || id.startsWith("W") || id == "COMM" || id == "USLT" || id == "APIC";
}

bool isSourceMarker(const Frame& frame) {
    const auto* user = dynamic_cast<const TagLib::ID3v2::UserTextIdentificationFrame*>(&frame);
    return user != nullptr && user->description() == kSourceMarkerName;
}

// The keys of the frames cvnhost wrote into `tag`, as its marker lists them; none for a marker of
// an earlier version or a tag without one.
std::optional<std::set<std::string>> framesWrittenInto(TagLib::ID3v2::Tag& tag) {
    const auto* frame = TagLib::ID3v2::UserTextIdentificationFrame::find(&tag, kSourceMarkerName);
    if (frame == nullptr || frame->fieldList().size() < 2) {
        return std::nullopt;
    }
    const std::optional<SourceMarker> marker = parseMarker(frame->fieldList()[1].to8Bit(true));
    if (!marker || !marker->frames) {
        return std::nullopt;
    }
    return std::set<std::string>(marker->frames->begin(), marker->frames->end());
}

} // namespace

std::string frameKeyOf(const Frame& frame) {
    const std::string id(frame.frameID().data(), frame.frameID().size());
    const std::optional<TagLib::String> distinction = distinctionOf(frame);
    return distinction ? id + ":" + distinction->to8Bit(true) : id;
}

std::set<std::string> frameKeysOf(const TagLib::ID3v2::Tag& tag) {
    std::set<std::string> keys;
    for (const Frame* frame : tag.frameList()) {
        keys.insert(frameKeyOf(*frame));
    }
    return keys;
}

void addKeptFrames(TagLib::ID3v2::Tag& tag, const std::string& path, const std::set<std::string>& written) {
    TagLib::MPEG::File file(path.c_str(), false);
    if (!file.isValid() || !file.hasID3v2Tag()) {
        return;
    }
    TagLib::ID3v2::Tag& old = *file.ID3v2Tag();
    const std::optional<std::set<std::string>> cvnhostFrames = framesWrittenInto(old);
    for (const Frame* frame : old.frameList()) {
        const std::string key = frameKeyOf(*frame);
        const bool cvnhosts = cvnhostFrames ? cvnhostFrames->count(key) != 0 : isKindCvnhostWrites(*frame);
        if (cvnhosts || isSourceMarker(*frame) || written.count(key) != 0) {
            continue;
        }
        // A copy made from the frame's own bytes, since the old tag owns the frame.
        if (Frame* copy =
                TagLib::ID3v2::FrameFactory::instance()->createFrame(frame->render(), old.header())) {
            tag.addFrame(copy);
        }
    }
}

} // namespace cvnhost
