#include "audio/cover_scaling.h"

#include "audio/ffmpeg_module.h"
#include "audio/jpeg_frame.h"

#include <algorithm>
#include <string>

namespace cvnhost {

bool fitsAsItIs(const std::vector<uint8_t>& picture, int longSide) {
    const std::optional<JpegFrame> frame = jpegFrameOf(picture);
    return frame && frame->baseline && frame->width > 0 && frame->height > 0 &&
           std::max(frame->width, frame->height) <= longSide;
}

void fitCovers(TrackTags& tags, int longSide) {
    if (longSide <= 0) {
        return;
    }
    for (Picture& picture : tags.pictures) {
        std::string error;
        const FfmpegModule* module = fitsAsItIs(picture.data, longSide) ? nullptr : ffmpegModule(error);
        // Without the module (an installation that lacks it) the picture stays as it is, as one
        // that FFmpeg cannot decode does.
        std::optional<std::vector<uint8_t>> scaled =
            module != nullptr ? module->scaledPicture(picture.data, longSide) : std::nullopt;
        if (scaled) {
            picture.data = std::move(*scaled);
            picture.mimeType = "image/jpeg";
        }
    }
}

} // namespace cvnhost
