#include "audio/picture_scaler.h"

#include "audio/ffmpeg_input.h"
#include "audio/jpeg_frame.h"
#include "share/no_exceptions.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/pixdesc.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <climits>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace cvnhost {

namespace {

// FFmpeg's MJPEG quantiser scale (2 finest to 31): 3 makes the tables of libjpeg's quality 90, as
// ImageMagick estimates them.
constexpr int kJpegQuantiser = 3;
// A picture of more pixels is not decoded: a small PNG can stand for gigabytes of them.
constexpr int64_t kLargestPixels = 100'000'000;

struct CodecContextFree {
    void operator()(AVCodecContext* context) const { avcodec_free_context(&context); }
};
struct FrameFree {
    void operator()(AVFrame* frame) const { av_frame_free(&frame); }
};
struct PacketFree {
    void operator()(AVPacket* packet) const { av_packet_free(&packet); }
};
struct ScalerFree {
    void operator()(SwsContext* scaler) const { sws_freeContext(scaler); }
};
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextFree>;
using Frame = std::unique_ptr<AVFrame, FrameFree>;
using Packet = std::unique_ptr<AVPacket, PacketFree>;
using Scaler = std::unique_ptr<SwsContext, ScalerFree>;

// The decoder by the picture's first bytes: the MIME type a tag gives is often wrong.
AVCodecID codecOf(const std::vector<uint8_t>& picture) {
    const auto holds = [&](size_t at, std::string_view magic) {
        return picture.size() >= at + magic.size() &&
               std::equal(magic.begin(), magic.end(), picture.begin() + static_cast<ptrdiff_t>(at),
                          [](char expected, uint8_t byte) { return static_cast<uint8_t>(expected) == byte; });
    };
    return holds(0, "\x89PNG")                    ? AV_CODEC_ID_PNG
           : holds(0, "\xFF\xD8\xFF")             ? AV_CODEC_ID_MJPEG
           : holds(0, "GIF8")                     ? AV_CODEC_ID_GIF
           : holds(0, "BM")                       ? AV_CODEC_ID_BMP
           : holds(0, "RIFF") && holds(8, "WEBP") ? AV_CODEC_ID_WEBP
                                                  : AV_CODEC_ID_NONE;
}

// The halvings (up to the decoder's most, 3) that FFmpeg's JPEG decoder may make as it decodes, in
// its DCT, leaving the scaler twice the long side it makes: a photo of 16 MB decodes several times
// faster.
int jpegReduction(const std::vector<uint8_t>& picture, int longSide, int most) {
    const std::optional<JpegFrame> frame = jpegFrameOf(picture);
    const int longest = frame ? std::max(frame->width, frame->height) : 0;
    int reduction = 0;
    while (reduction < most && (longest >> (reduction + 1)) >= 2 * longSide) {
        ++reduction;
    }
    return reduction;
}

// The picture's first frame, reduced while decoded where its decoder can (jpegReduction).
Frame decodedPicture(const std::vector<uint8_t>& picture, int longSide) {
    const AVCodec* codec = avcodec_find_decoder(codecOf(picture));
    CodecContext context(codec != nullptr ? avcodec_alloc_context3(codec) : nullptr);
    Packet packet(av_packet_alloc());
    Frame frame(av_frame_alloc());
    if (!context || !packet || !frame || picture.size() > INT_MAX - AV_INPUT_BUFFER_PADDING_SIZE) {
        return nullptr;
    }
    context->max_pixels = kLargestPixels;
    context->lowres = jpegReduction(picture, longSide, codec->max_lowres);
    if (avcodec_open2(context.get(), codec, nullptr) < 0 ||
        av_new_packet(packet.get(), static_cast<int>(picture.size())) < 0) {
        return nullptr;
    }
    std::copy(picture.begin(), picture.end(), packet->data);
    if (avcodec_send_packet(context.get(), packet.get()) < 0) {
        return nullptr;
    }
    int received = avcodec_receive_frame(context.get(), frame.get());
    // A decoder that holds its frame back until the end gives it once told that nothing follows.
    if (received == AVERROR(EAGAIN) && avcodec_send_packet(context.get(), nullptr) >= 0) {
        received = avcodec_receive_frame(context.get(), frame.get());
    }
    return received >= 0 ? std::move(frame) : nullptr;
}

// The format without its "J" (full range) variant, which libswscale takes only with a warning.
AVPixelFormat withoutJpegVariant(AVPixelFormat format) {
    static const std::pair<AVPixelFormat, AVPixelFormat> variants[] = {
        {AV_PIX_FMT_YUVJ420P, AV_PIX_FMT_YUV420P},
        {AV_PIX_FMT_YUVJ422P, AV_PIX_FMT_YUV422P},
        {AV_PIX_FMT_YUVJ444P, AV_PIX_FMT_YUV444P},
        {AV_PIX_FMT_YUVJ440P, AV_PIX_FMT_YUV440P},
        {AV_PIX_FMT_YUVJ411P, AV_PIX_FMT_YUV411P}};
    const auto* found = std::find_if(std::begin(variants), std::end(variants),
                                     [&](const auto& variant) { return variant.first == format; });
    return found != std::end(variants) ? found->second : format;
}

// The range a frame states; where it states none, full but for YUV (WebP's is limited): FFmpeg's
// JPEG decoder leaves it unstated for grey, which JPEG holds in full range.
bool isFullRange(const AVFrame& frame) {
    const auto format = static_cast<AVPixelFormat>(frame.format);
    if (frame.color_range == AVCOL_RANGE_JPEG || withoutJpegVariant(format) != format) {
        return true;
    }
    if (frame.color_range == AVCOL_RANGE_MPEG) {
        return false;
    }
    const AVPixFmtDescriptor* described = av_pix_fmt_desc_get(format);
    return described == nullptr || (described->flags & AV_PIX_FMT_FLAG_RGB) != 0 ||
           described->nb_components <= 2;
}

// The frame at `width` x `height` in `format` (a YUV format in full range, as JPEG holds it).
Frame converted(const AVFrame& from, int width, int height, AVPixelFormat format) {
    const bool fullRange = isFullRange(from);
    const AVPixelFormat source = withoutJpegVariant(static_cast<AVPixelFormat>(from.format));
    Scaler scaler(sws_getContext(from.width, from.height, source, width, height, format,
                                 SWS_BICUBIC | SWS_ACCURATE_RND, nullptr, nullptr, nullptr));
    Frame frame(av_frame_alloc());
    if (!scaler || !frame) {
        return nullptr;
    }
    frame->width = width;
    frame->height = height;
    frame->format = format;
    frame->color_range = AVCOL_RANGE_JPEG;
    // Into RGB the ranges do not apply, and libswscale's refusal of them there changes nothing.
    const int* bt601 = sws_getCoefficients(SWS_CS_DEFAULT);
    sws_setColorspaceDetails(scaler.get(), bt601, fullRange ? 1 : 0, bt601, 1, 0, 1 << 16, 1 << 16);
    if (av_frame_get_buffer(frame.get(), 0) < 0 ||
        sws_scale(scaler.get(), from.data, from.linesize, 0, from.height, frame->data, frame->linesize) !=
            height) {
        return nullptr;
    }
    return frame;
}

bool hasTransparency(const AVFrame& frame) {
    const AVPixFmtDescriptor* format = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    return format != nullptr && (format->flags & (AV_PIX_FMT_FLAG_ALPHA | AV_PIX_FMT_FLAG_PAL)) != 0;
}

// The picture laid on white, as a viewer shows it: JPEG has no transparency, and what the
// transparent pixels hold (often black) would otherwise show.
Frame onWhite(const AVFrame& picture) {
    Frame rgba = converted(picture, picture.width, picture.height, AV_PIX_FMT_RGBA);
    if (!rgba) {
        return nullptr;
    }
    for (int y = 0; y < rgba->height; ++y) {
        uint8_t* pixel = rgba->data[0] + static_cast<ptrdiff_t>(y) * rgba->linesize[0];
        for (int x = 0; x < rgba->width; ++x, pixel += 4) {
            const int opacity = pixel[3];
            for (int channel = 0; channel < 3; ++channel) {
                pixel[channel] =
                    static_cast<uint8_t>((pixel[channel] * opacity + 255 * (255 - opacity) + 127) / 255);
            }
            pixel[3] = 255;
        }
    }
    return rgba;
}

// At most `longSide` on the long side, the other in proportion and at least 1; never enlarged.
std::pair<int, int> fittedSize(int width, int height, int longSide) {
    const int longest = std::max(width, height);
    if (longest <= longSide) {
        return {width, height};
    }
    const auto scaled = [&](int side) {
        return std::max(1, static_cast<int>((int64_t{side} * longSide + longest / 2) / longest));
    };
    return {scaled(width), scaled(height)};
}

std::optional<std::vector<uint8_t>> baselineJpeg(AVFrame& picture) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_MJPEG);
    CodecContext context(codec != nullptr ? avcodec_alloc_context3(codec) : nullptr);
    Packet packet(av_packet_alloc());
    if (!context || !packet) {
        return std::nullopt;
    }
    context->width = picture.width;
    context->height = picture.height;
    context->pix_fmt = AV_PIX_FMT_YUV420P;
    context->color_range = AVCOL_RANGE_JPEG;
    context->time_base = AVRational{1, 1};
    // A fixed quantiser; bit-exact leaves out the comment segment naming the encoder.
    context->flags |= AV_CODEC_FLAG_QSCALE | AV_CODEC_FLAG_BITEXACT;
    context->global_quality = FF_QP2LAMBDA * kJpegQuantiser;
    picture.quality = context->global_quality;
    if (avcodec_open2(context.get(), codec, nullptr) < 0 || avcodec_send_frame(context.get(), &picture) < 0 ||
        avcodec_receive_packet(context.get(), packet.get()) < 0) {
        return std::nullopt;
    }
    return std::vector<uint8_t>(packet->data, packet->data + packet->size);
}

std::optional<std::vector<uint8_t>> fittedJpeg(const std::vector<uint8_t>& picture, int longSide) {
    static const std::string kWhat = "a picture of the tags";
    const FfmpegMessagesOf messages(kWhat, true);
    Frame frame = decodedPicture(picture, longSide);
    if (frame && hasTransparency(*frame)) {
        frame = onWhite(*frame);
    }
    if (!frame) {
        return std::nullopt;
    }
    const auto [width, height] = fittedSize(frame->width, frame->height, longSide);
    Frame fitted = converted(*frame, width, height, AV_PIX_FMT_YUV420P);
    return fitted ? baselineJpeg(*fitted) : std::nullopt;
}

} // namespace

std::optional<std::vector<uint8_t>> scaledPicture(const std::vector<uint8_t>& picture, int longSide) {
    return share::withoutExceptions(std::optional<std::vector<uint8_t>>(),
                                    [&] { return fittedJpeg(picture, longSide); });
}

} // namespace cvnhost
