#include "audio/ffmpeg_decoder.h"

#include "audio/gapless_trim.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <set>

namespace cvnhost {

namespace {

// A frame short of the container's length is the precision an AAC stream's end has.
constexpr int64_t kLengthTolerance = 2048;

// cvnhost names each problem with its file; FFmpeg's own log would say it again, unnamed.
void silenceLog() {
    av_log_set_level(AV_LOG_QUIET);
}

std::string ffmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = "";
    av_strerror(code, text, sizeof text);
    return text;
}

// Codec tags of audio that is encrypted: an iTunes Store purchase of old (.m4p), CENC.
bool isProtected(const AVCodecParameters& codec) {
    return codec.codec_tag == MKTAG('d', 'r', 'm', 's') || codec.codec_tag == MKTAG('e', 'n', 'c', 'a');
}

// Containers that give a track's exact length (an MP4 file's edit list or sample table, WavPack's,
// APE's and TTA's sample counts): what they give is trimmed to, and a stream that ends well short
// of it is truncated.
bool givesExactLength(const AVFormatContext& format) {
    const std::string name = format.iformat->name;
    return name.find("mp4") != std::string::npos || name == "wv" || name == "ape" || name == "tta";
}

// The number of samples at `rate` in `duration` of the stream's time base.
int64_t samplesOf(int64_t duration, AVRational timeBase, int rate) {
    return duration <= 0 ? 0 : av_rescale_q(duration, timeBase, AVRational{1, rate});
}

} // namespace

bool FfmpegDecoder::isReadElsewhere(const std::string& path) {
    silenceLog();
    AVFormatContext* format = nullptr;
    if (avformat_open_input(&format, path.c_str(), nullptr, nullptr) != 0) {
        return false;
    }
    static const std::set<std::string> elsewhere = {"wav", "w64", "aiff", "flac", "ogg", "mp3", "au", "caf"};
    const bool isElsewhere = elsewhere.count(format->iformat->name) != 0;
    avformat_close_input(&format);
    return isElsewhere;
}

std::unique_ptr<FfmpegDecoder> FfmpegDecoder::open(const std::string& path, std::string& error) {
    silenceLog();
    std::unique_ptr<FfmpegDecoder> decoder(new FfmpegDecoder);
    if (const int status = avformat_open_input(&decoder->format_, path.c_str(), nullptr, nullptr);
        status != 0) {
        error = "is not audio that cvnhost reads (" + ffmpegError(status) + ")";
        return nullptr;
    }
    if (const int status = avformat_find_stream_info(decoder->format_, nullptr); status < 0) {
        error = "cannot be read: " + ffmpegError(status);
        return nullptr;
    }
    const AVCodec* codec = nullptr;
    decoder->stream_ = av_find_best_stream(decoder->format_, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (decoder->stream_ < 0) {
        error = decoder->stream_ == AVERROR_DECODER_NOT_FOUND
                    ? "has audio in a format this build cannot decode"
                    : "has no audio stream";
        return nullptr;
    }
    const AVStream* stream = decoder->format_->streams[decoder->stream_];
    if (isProtected(*stream->codecpar)) {
        error = "is protected (DRM): its audio is encrypted and cannot be decoded";
        return nullptr;
    }
    decoder->codec_ = avcodec_alloc_context3(codec);
    if (decoder->codec_ == nullptr || avcodec_parameters_to_context(decoder->codec_, stream->codecpar) < 0 ||
        avcodec_open2(decoder->codec_, codec, nullptr) < 0) {
        error = std::string("cannot be decoded: FFmpeg could not start its ") + codec->name + " decoder";
        return nullptr;
    }
    const int channels = decoder->codec_->ch_layout.nb_channels;
    if (channels < 1 || decoder->codec_->sample_rate < 1000 || decoder->codec_->sample_rate > 768000) {
        error = "has " + std::to_string(channels) + " channels at " +
                std::to_string(decoder->codec_->sample_rate) + " Hz, which cannot be converted";
        return nullptr;
    }
    decoder->channels_ = std::min(channels, 2);
    decoder->sampleRate_ = decoder->codec_->sample_rate;
    decoder->codecName_ = codec->long_name != nullptr ? codec->long_name : codec->name;
    decoder->takeLength(*stream);
    if (!decoder->startConversion()) {
        error = "cannot be converted: libswresample refused its channel layout";
        return nullptr;
    }
    decoder->packet_ = av_packet_alloc();
    decoder->frame_ = av_frame_alloc();
    if (decoder->packet_ == nullptr || decoder->frame_ == nullptr) {
        error = "cannot be decoded: out of memory";
        return nullptr;
    }
    return decoder;
}

void FfmpegDecoder::takeLength(const AVStream& stream) {
    frames_ = samplesOf(stream.duration, stream.time_base, sampleRate_);
    // The track's own length: an iTunSMPB tag's (FFmpeg removes the priming it names, but leaves
    // the padding), else the container's where it is exact.
    const AVDictionaryEntry* smpb = av_dict_get(format_->metadata, "iTunSMPB", nullptr, 0);
    if (const std::optional<GaplessTrim> trim = smpb != nullptr ? parseITunSmpb(smpb->value) : std::nullopt) {
        remaining_ = frames_ = trim->length;
    } else if (givesExactLength(*format_) && frames_ > 0) {
        remaining_ = frames_;
    }
}

bool FfmpegDecoder::startConversion() {
    AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    return swr_alloc_set_opts2(&resampler_, channels_ == 1 ? &mono : &stereo, AV_SAMPLE_FMT_FLT, sampleRate_,
                               &codec_->ch_layout, codec_->sample_fmt, sampleRate_, 0, nullptr) >= 0 &&
           av_opt_set_double(resampler_, "rematrix_maxval", 1.0, 0) >= 0 && swr_init(resampler_) >= 0;
}

FfmpegDecoder::~FfmpegDecoder() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    swr_free(&resampler_);
    avcodec_free_context(&codec_);
    avformat_close_input(&format_);
}

bool FfmpegDecoder::convert(const AVFrame* frame, std::string& error) {
    const size_t at = pending_.size();
    pending_.resize(at + static_cast<size_t>(frame->nb_samples) * static_cast<size_t>(channels_));
    auto* out = reinterpret_cast<uint8_t*>(pending_.data() + at);
    const int converted = swr_convert(resampler_, &out, frame->nb_samples,
                                      const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
    if (converted < 0) {
        error = "cannot be converted: " + ffmpegError(converted);
        return false;
    }
    pending_.resize(at + static_cast<size_t>(converted) * static_cast<size_t>(channels_));
    return true;
}

// Reads packets until the decoder gives audio or the stream ends.
bool FfmpegDecoder::decodeMore(std::string& error) {
    for (;;) {
        const int received = avcodec_receive_frame(codec_, frame_);
        if (received == 0) {
            const bool converted = convert(frame_, error);
            av_frame_unref(frame_);
            return converted;
        }
        if (received == AVERROR_EOF) {
            ended_ = true;
            return true;
        }
        if (received != AVERROR(EAGAIN)) {
            error = "cannot be decoded: " + ffmpegError(received);
            return false;
        }
        if (flushing_) {
            ended_ = true;
            return true;
        }
        const int read = av_read_frame(format_, packet_);
        if (read == AVERROR_EOF) {
            flushing_ = true;
            avcodec_send_packet(codec_, nullptr);
            continue;
        }
        if (read < 0) {
            error = "cannot be read: " + ffmpegError(read);
            return false;
        }
        const bool ours = packet_->stream_index == stream_;
        if (ours && (packet_->flags & AV_PKT_FLAG_CORRUPT) != 0) {
            av_packet_unref(packet_);
            error = "is damaged or truncated: a packet of its audio is cut short";
            return false;
        }
        const int sent = ours ? avcodec_send_packet(codec_, packet_) : 0;
        av_packet_unref(packet_);
        if (sent < 0 && sent != AVERROR(EAGAIN)) {
            error = "cannot be decoded: " + ffmpegError(sent);
            return false;
        }
    }
}

bool FfmpegDecoder::checkLength(std::string& error) const {
    if (remaining_ > kLengthTolerance) {
        error = "ends after " + std::to_string(decoded_) + " of its " + std::to_string(frames_) +
                " frames: the file is truncated";
        return false;
    }
    return true;
}

int64_t FfmpegDecoder::read(float* samples, size_t count, std::string& error) {
    const auto channels = static_cast<size_t>(channels_);
    while (pending_.size() - pendingAt_ < count * channels && !ended_) {
        if (pendingAt_ > 0) {
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pendingAt_));
            pendingAt_ = 0;
        }
        if (!decodeMore(error)) {
            return -1;
        }
    }
    auto available = static_cast<int64_t>((pending_.size() - pendingAt_) / channels);
    int64_t given = std::min<int64_t>(available, static_cast<int64_t>(count));
    if (remaining_ >= 0) {
        given = std::min(given, remaining_);
        remaining_ -= given;
    }
    std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(pendingAt_),
                static_cast<size_t>(given) * channels, samples);
    pendingAt_ += static_cast<size_t>(given) * channels;
    decoded_ += given;
    if (given == 0 && !checkLength(error)) {
        return -1;
    }
    return given;
}

} // namespace cvnhost
