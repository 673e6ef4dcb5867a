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
// of it is truncated. Nothing for the others.
std::string exactLengthName(const AVFormatContext& format, const AVStream& stream) {
    const std::string name = format.iformat->name;
    if (name.find("mp4") != std::string::npos) {
        // Its duration is the least of the track header's and the time-to-sample table's; that table
        // naming fewer samples than the sample sizes (stsz) do is the one that is wrong.
        const bool sttsShort =
            stream.nb_frames > 0 && stream.nb_frames < avformat_index_get_entries_count(&stream);
        return sttsShort ? "its sample table (stts)" : "its MP4 track";
    }
    return name == "wv"    ? "its WavPack header"
           : name == "ape" ? "its APE header"
           : name == "tta" ? "its TTA header"
                           : "";
}

// The number of samples at `rate` in `duration` of the stream's time base.
int64_t samplesOf(int64_t duration, AVRational timeBase, int rate) {
    return duration <= 0 ? 0 : av_rescale_q(duration, timeBase, AVRational{1, rate});
}

} // namespace

bool FfmpegDecoder::isReadElsewhere(const AVFormatContext& format) {
    static const std::set<std::string> elsewhere = {"wav", "w64", "aiff", "flac", "ogg", "mp3", "au", "caf"};
    return elsewhere.count(format.iformat->name) != 0;
}

std::unique_ptr<FfmpegDecoder> FfmpegDecoder::open(const std::string& path, std::string& error,
                                                   const char* refusalIfReadElsewhere) {
    const FfmpegMessagesOf messages(path);
    std::unique_ptr<FfmpegDecoder> decoder(new FfmpegDecoder);
    if (const int status = decoder->input_.open(path); status != 0) {
        error = "is not audio that cvnhost reads (" + ffmpegError(status) + ")";
        return nullptr;
    }
    decoder->format_ = decoder->input_.format();
    if (refusalIfReadElsewhere != nullptr && isReadElsewhere(*decoder->format_)) {
        error = refusalIfReadElsewhere;
        return nullptr;
    }
    if (const std::optional<MatroskaTagsBound>& bound = decoder->input_.tagsBound()) {
        decoder->notes_.push_back(bound->note());
    }
    return decoder->openStream(error) ? std::move(decoder) : nullptr;
}

bool FfmpegDecoder::openStream(std::string& error) {
    if (const int status = avformat_find_stream_info(format_, nullptr); status < 0) {
        error = "cannot be read: " + ffmpegError(status);
        return false;
    }
    const AVCodec* codec = nullptr;
    stream_ = av_find_best_stream(format_, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (stream_ < 0) {
        error = stream_ == AVERROR_DECODER_NOT_FOUND ? "has audio in a format this build cannot decode"
                                                     : "has no audio stream";
        return false;
    }
    if (isProtected(*format_->streams[stream_]->codecpar)) {
        error = "is protected (DRM): its audio is encrypted and cannot be decoded";
        return false;
    }
    if (!openCodec(codec, error)) {
        return false;
    }
    takeLength(*format_->streams[stream_]);
    if (!startConversion()) {
        error = "cannot be converted: libswresample refused its channel layout";
        return false;
    }
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (packet_ == nullptr || frame_ == nullptr) {
        error = "cannot be decoded: out of memory";
        return false;
    }
    return true;
}

bool FfmpegDecoder::openCodec(const AVCodec* codec, std::string& error) {
    codec_ = avcodec_alloc_context3(codec);
    if (codec_ == nullptr || avcodec_parameters_to_context(codec_, format_->streams[stream_]->codecpar) < 0 ||
        avcodec_open2(codec_, codec, nullptr) < 0) {
        error = std::string("cannot be decoded: FFmpeg could not start its ") + codec->name + " decoder";
        return false;
    }
    const int channels = codec_->ch_layout.nb_channels;
    if (channels < 1 || codec_->sample_rate < 1000 || codec_->sample_rate > 768000) {
        error = "has " + std::to_string(channels) + " channels at " + std::to_string(codec_->sample_rate) +
                " Hz, which cannot be converted";
        return false;
    }
    channels_ = std::min(channels, 2);
    sampleRate_ = codec_->sample_rate;
    codecName_ = codec->long_name != nullptr ? codec->long_name : codec->name;
    return true;
}

void FfmpegDecoder::takeLength(const AVStream& stream) {
    const int64_t container = samplesOf(stream.duration, stream.time_base, sampleRate_);
    frames_ = container;
    if (const std::string name = exactLengthName(*format_, stream); !name.empty() && container > 0) {
        trimTo_ = expected_ = container;
        trimBy_ = expectedBy_ = name;
    }
    // The track's own length: an iTunSMPB tag's. FFmpeg removes the priming it names, but leaves
    // the padding; a sample table counts both.
    const AVDictionaryEntry* smpb = av_dict_get(format_->metadata, "iTunSMPB", nullptr, 0);
    if (const std::optional<GaplessTrim> trim = smpb != nullptr ? parseITunSmpb(smpb->value) : std::nullopt) {
        trimTo_ = frames_ = trim->length;
        trimBy_ = "its iTunSMPB tag";
        allowance_ += trim->padding;
        expected_ = std::max<int64_t>(0, expected_ - trim->priming - trim->padding);
    } else if (trimTo_ < 0) {
        takeMatroskaDuration();
    }
}

void FfmpegDecoder::takeMatroskaDuration() {
    // Its duration is the segment's, the longest of its tracks (a video's, say), and estimated
    // from the bitrate where the file states none.
    if (std::string(format_->iformat->name).find("matroska") == std::string::npos ||
        format_->duration_estimation_method != AVFMT_DURATION_FROM_STREAM || format_->duration <= 0) {
        return;
    }
    for (unsigned i = 0; i < format_->nb_streams; ++i) {
        const AVStream* other = format_->streams[i];
        const bool attachment = other->codecpar->codec_type == AVMEDIA_TYPE_ATTACHMENT ||
                                (other->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
        if (static_cast<int>(i) != stream_ && !attachment) {
            return;
        }
    }
    expected_ = frames_ = av_rescale(format_->duration, sampleRate_, AV_TIME_BASE);
    expectedBy_ = "its Matroska Segment Info";
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
    converted_ += converted;
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

// Decodes until `count` frames wait, or, near the length the track is trimmed to, until enough
// wait past it to tell the padding it may have from audio that the length leaves out.
bool FfmpegDecoder::fill(size_t count, std::string& error) {
    auto wanted = static_cast<int64_t>(count);
    if (trimming() && trimTo_ - given_ < wanted) {
        wanted = trimTo_ - given_ + allowance_ + 1;
    }
    while (pendingFrames() < wanted && !ended_) {
        if (pendingAt_ > 0) {
            pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(pendingAt_));
            pendingAt_ = 0;
        }
        if (!decodeMore(error)) {
            return false;
        }
    }
    if (trimming() && pendingFrames() > trimTo_ - given_ + allowance_) {
        keepingAll_ = true; // undamaged frames go on past it: the length is another audio's
    }
    return true;
}

bool FfmpegDecoder::finish(std::string& error) {
    if (finished_) {
        return true;
    }
    finished_ = true;
    const bool stated = expected_ > 0;
    const int64_t whole = stated ? expected_ : trimTo_;
    if (whole > 0 && converted_ < whole - kLengthTolerance) {
        error = truncatedError(converted_, whole, sampleRate_, stated ? expectedBy_ : trimBy_);
        return false;
    }
    if (keepingAll_ || (trimTo_ >= 0 && given_ < trimTo_ - kLengthTolerance)) {
        notes_.push_back(audioKeptNote(given_, trimTo_, sampleRate_, trimBy_));
    } else if (trimTo_ < 0 && stated && converted_ > expected_ + allowance_) {
        notes_.push_back(audioKeptNote(converted_, expected_, sampleRate_, expectedBy_));
    }
    return true;
}

int64_t FfmpegDecoder::read(float* samples, size_t count, std::string& error) {
    const FfmpegMessagesOf messages(input_.path());
    if (!fill(count, error)) {
        return -1;
    }
    int64_t given = std::min<int64_t>(pendingFrames(), static_cast<int64_t>(count));
    if (trimming()) {
        given = std::min(given, trimTo_ - given_);
    }
    const auto channels = static_cast<size_t>(channels_);
    std::copy_n(pending_.begin() + static_cast<std::ptrdiff_t>(pendingAt_),
                static_cast<size_t>(given) * channels, samples);
    pendingAt_ += static_cast<size_t>(given) * channels;
    given_ += given;
    if (given == 0 && !finish(error)) {
        return -1;
    }
    return given;
}

} // namespace cvnhost
