#include "audio/audio_input.h"

#include "audio/ffmpeg_module.h"
#include "tags/input_tags.h"
#include "files/output_target.h"
#include "files/standard_streams.h"

#include <mpg123.h>
#include <sndfile.h>
#include <soxr.h>
#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <filesystem>
#include <sstream>

namespace cvnhost {

namespace {

constexpr size_t kBlockFrames = 4096;

std::optional<std::string> metadataText(SNDFILE* file, int type) {
    const char* text = sf_get_string(file, type);
    if (text == nullptr || *text == '\0') {
        return std::nullopt;
    }
    return std::string(text);
}

// Float files may hold any value: beyond full scale is clipped, and NaN, which has no sample
// value, is silence.
int16_t toSample(float value) {
    if (std::isnan(value)) {
        return 0;
    }
    const float scaled = std::nearbyint(std::clamp(value, -1.0f, 1.0f) * 32768.0f);
    return static_cast<int16_t>(std::min(scaled, 32767.0f));
}

// libsndfile reads a WAV or AIFF file whose data chunk was cut short as if it were whole, noting
// the size it expected in its log ("data : 793800 (should be 99920)"). A program that writes to a
// pipe cannot know the size and leaves 0xFFFFFFFF (or 0) there: that file promises nothing.
bool headerPromisesMore(SNDFILE* file) {
    char log[8192] = "";
    sf_command(file, SFC_GET_LOG_INFO, log, sizeof log);
    std::istringstream lines(log);
    for (std::string line; std::getline(lines, line);) {
        line.erase(0, line.find_first_not_of(' '));
        const bool audioChunk = line.rfind("data ", 0) == 0 || line.rfind("SSND ", 0) == 0;
        const bool sizeUnknown = line.find(": 4294967295 ") != std::string::npos ||
                                 line.find(": 0 (should be") != std::string::npos;
        if (audioChunk && line.find("(should be") != std::string::npos && !sizeUnknown) {
            return true;
        }
    }
    return false;
}

std::string majorFormatName(int format) {
    SF_FORMAT_INFO info{};
    info.format = format & SF_FORMAT_TYPEMASK;
    if (sf_command(nullptr, SFC_GET_FORMAT_INFO, &info, sizeof info) != 0 || info.name == nullptr) {
        return "audio";
    }
    std::string name = info.name;
    return name.substr(0, name.find(' '));
}

// What libsndfile is told of samples without a header.
SF_INFO rawInfoOf(const RawFormat& raw) {
    SF_INFO info{};
    info.samplerate = raw.sampleRate;
    info.channels = raw.channels;
    const int width = raw.bits == 8    ? (raw.isSigned ? SF_FORMAT_PCM_S8 : SF_FORMAT_PCM_U8)
                      : raw.bits == 24 ? SF_FORMAT_PCM_24
                      : raw.bits == 32 ? SF_FORMAT_PCM_32
                                       : SF_FORMAT_PCM_16;
    info.format = SF_FORMAT_RAW | width | (raw.bigEndian ? SF_ENDIAN_BIG : SF_ENDIAN_LITTLE);
    return info;
}

} // namespace

std::unique_ptr<AudioInput> AudioInput::open(const std::string& path, std::string& error,
                                             const std::optional<RawFormat>& raw) {
    if (isStandardStream(path)) {
        // Copied whole first: libsndfile cannot read FLAC, Ogg or MP3 from a pipe, and TagLib
        // reads tags from files only. The copy goes once the input has its descriptors open.
        const std::optional<StandardInputCopy> copy = StandardInputCopy::make(error);
        return copy ? open(copy->path(), error, raw) : nullptr;
    }
    std::error_code fileError;
    const auto size = std::filesystem::file_size(path, fileError);
    if (struct stat status{}; stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        error = "is " + fileTypeName(status.st_mode) +
                ", not a regular file: give a stream as - (standard input)";
        return nullptr;
    }
    if (fileError) {
        error = "cannot be read: " + fileError.message();
        return nullptr;
    }
    if (size == 0) {
        error = "is empty";
        return nullptr;
    }
    std::unique_ptr<AudioInput> input(new AudioInput);
    SF_INFO info = raw ? rawInfoOf(*raw) : SF_INFO{};
    input->file_ = sf_open(path.c_str(), SFM_READ, &info);
    if (raw && input->file_ == nullptr) {
        error = std::string("cannot be read as raw samples: ") + sf_strerror(nullptr);
        return nullptr;
    }
    // libsndfile and libmpg123 keep what they read; FFmpeg reads the rest, and folds more than two
    // channels to stereo.
    if (input->file_ != nullptr && info.channels <= 2) {
        if (!input->openSndfile(path, info, error)) {
            return nullptr;
        }
    } else if (!input->openFfmpeg(path, error)) {
        return nullptr;
    }
    TrackTags strings;
    if (input->file_ != nullptr) {
        strings.title = metadataText(input->file_, SF_STR_TITLE);
        strings.artist = metadataText(input->file_, SF_STR_ARTIST);
        strings.album = metadataText(input->file_, SF_STR_ALBUM);
        strings.genre = metadataText(input->file_, SF_STR_GENRE);
        if (const auto track = metadataText(input->file_, SF_STR_TRACKNUMBER)) {
            strings.track = parseTrackNumber(*track);
        }
    }
    input->strings_ = strings;
    if (input->sampleRate_ != CVN_PLUGIN_SAMPLE_RATE) {
        const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
        const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
        soxr_error_t soxrError = nullptr;
        input->resampler_ =
            soxr_create(input->sampleRate_, CVN_PLUGIN_SAMPLE_RATE, static_cast<unsigned>(input->channels_),
                        &soxrError, &io, &quality, nullptr);
        if (input->resampler_ == nullptr) {
            error =
                std::string("cannot be resampled: ") + (soxrError != nullptr ? soxrError : "unknown error");
            return nullptr;
        }
    }
    return input;
}

bool AudioInput::openSndfile(const std::string& path, const SF_INFO& info, std::string& error) {
    if (headerPromisesMore(file_)) {
        error = "is truncated: its header promises more audio than the file holds";
        return false;
    }
    if (info.channels < 1) {
        error = "has no channels";
        return false;
    }
    if (info.samplerate < 1000 || info.samplerate > 768000) {
        error = "has a sample rate of " + std::to_string(info.samplerate) + " Hz, which cannot be converted";
        return false;
    }
    channels_ = info.channels;
    sampleRate_ = info.samplerate;
    format_ = info.format;
    // A stream whose length the header does not give reports the largest count there is.
    frames_ = info.frames > 0 && info.frames < SF_COUNT_MAX / CVN_PLUGIN_SAMPLE_RATE ? info.frames : 0;
    return (info.format & SF_FORMAT_TYPEMASK) != SF_FORMAT_MPEG || openMpeg(path, error);
}

bool AudioInput::openFfmpeg(const std::string& path, std::string& error) {
    const bool readBySndfile = file_ != nullptr;
    if (file_ != nullptr) {
        sf_close(file_);
        file_ = nullptr;
    }
    const FfmpegModule* module = ffmpegModule(error);
    if (module == nullptr) {
        return false;
    }
    // A damaged file of a format libsndfile reads keeps libsndfile's refusal.
    if (!readBySndfile && module->isReadElsewhere(path)) {
        error = std::string("is not audio that libsndfile can read (") + sf_strerror(nullptr) + ")";
        return false;
    }
    ffmpeg_ = module->open(path, error);
    if (!ffmpeg_) {
        return false;
    }
    channels_ = ffmpeg_->channels();
    sampleRate_ = ffmpeg_->sampleRate();
    frames_ = ffmpeg_->frames();
    return true;
}

bool AudioInput::openMpeg(const std::string& path, std::string& error) {
    static const int initialised = mpg123_init();
    int status = initialised;
    mpeg_ = status == MPG123_OK ? mpg123_new(nullptr, &status) : nullptr;
    if (mpeg_ == nullptr) {
        error = std::string("cannot be decoded: ") + mpg123_plain_strerror(status);
        return false;
    }
    mpg123_param(mpeg_, MPG123_ADD_FLAGS, MPG123_QUIET, 0);
    mpg123_format_none(mpeg_);
    const long* rates = nullptr;
    size_t rateCount = 0;
    mpg123_rates(&rates, &rateCount);
    for (size_t i = 0; i < rateCount; ++i) {
        mpg123_format(mpeg_, rates[i], MPG123_MONO | MPG123_STEREO, MPG123_ENC_FLOAT_32);
    }
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (mpg123_open(mpeg_, path.c_str()) != MPG123_OK ||
        mpg123_getformat(mpeg_, &rate, &channels, &encoding) != MPG123_OK) {
        error = std::string("cannot be decoded: ") + mpg123_strerror(mpeg_);
        return false;
    }
    if (rate != sampleRate_ || channels != channels_) {
        error = "cannot be decoded: its first frame and its header disagree on its format";
        return false;
    }
    frames_ = 0; // an estimate for a file without a Xing header: read to the real end
    return true;
}

int64_t AudioInput::readFloats(float* samples, size_t count, std::string& error) {
    if (ffmpeg_) {
        return ffmpeg_->read(samples, count, error);
    }
    if (mpeg_ == nullptr) {
        const sf_count_t read = sf_readf_float(file_, samples, static_cast<sf_count_t>(count));
        if (read < 0 || sf_error(file_) != SF_ERR_NO_ERROR) {
            error = std::string("cannot be decoded: ") + sf_strerror(file_);
            return -1;
        }
        return read;
    }
    const size_t frameBytes = sizeof(float) * static_cast<size_t>(channels_);
    size_t done = 0;
    const int status = mpg123_read(mpeg_, samples, count * frameBytes, &done);
    if (status != MPG123_OK && status != MPG123_DONE) {
        error = std::string("cannot be decoded: ") + mpg123_strerror(mpeg_);
        return -1;
    }
    return static_cast<int64_t>(done / frameBytes);
}

AudioInput::~AudioInput() {
    if (mpeg_ != nullptr) {
        mpg123_delete(mpeg_);
    }
    if (resampler_ != nullptr) {
        soxr_delete(resampler_);
    }
    if (file_ != nullptr) {
        sf_close(file_);
    }
}

std::string AudioInput::description() const {
    return (ffmpeg_ ? ffmpeg_->codecName() : majorFormatName(format_)) + " " + std::to_string(sampleRate_) +
           " Hz " + (channels_ == 1 ? "mono" : "stereo");
}

namespace {

// Without overflow for any count a header may give.
int64_t framesAtPlugInRate(int64_t frames, int sampleRate) {
    return frames / sampleRate * CVN_PLUGIN_SAMPLE_RATE +
           frames % sampleRate * CVN_PLUGIN_SAMPLE_RATE / sampleRate;
}

} // namespace

int64_t AudioInput::expectedFrames() const {
    return framesAtPlugInRate(frames_, sampleRate_);
}

int64_t AudioInput::expectedFramesOf(const std::string& path) {
    std::error_code typeError;
    if (isStandardStream(path) || !std::filesystem::is_regular_file(path, typeError)) {
        return 0; // read once only, by the encode
    }
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (file == nullptr) {
        return 0;
    }
    sf_close(file);
    const bool known = info.samplerate > 0 && info.frames > 0 && info.frames < SF_COUNT_MAX;
    return known ? framesAtPlugInRate(info.frames, info.samplerate) : 0;
}

bool AudioInput::read(std::vector<uint32_t>& frames, std::string& error) {
    const int subtype = format_ & SF_FORMAT_SUBMASK;
    const bool sixteenBit = subtype == SF_FORMAT_PCM_16;
    const bool read =
        sixteenBit && resampler_ == nullptr ? readPassThrough(frames, error) : readConverted(frames, error);
    // FFmpeg's decoder checks the lengths its containers give exactly; the others are estimates.
    if (read && frames.empty() && !ffmpeg_ && frames_ > 0 && framesRead_ < frames_) {
        error = "ends after " + std::to_string(framesRead_) + " of its " + std::to_string(frames_) +
                " frames: the file is truncated";
        return false;
    }
    return read;
}

// 16-bit samples at the plug-in's rate go to it exactly as the file holds them.
bool AudioInput::readPassThrough(std::vector<uint32_t>& frames, std::string& error) {
    // A 16-bit stereo frame of the file is already the plug-in's frame (left in the low half on
    // this little-endian machine): it is read in place. The block keeps its size from call to
    // call, so nothing is filled before it is read over.
    static_assert(std::endian::native == std::endian::little);
    const bool stereo = channels_ == 2;
    if (stereo) {
        frames.resize(kBlockFrames);
    } else {
        frames.clear();
        shortBlock_.resize(kBlockFrames);
    }
    int16_t* samples = stereo ? reinterpret_cast<int16_t*>(frames.data()) : shortBlock_.data();
    const sf_count_t count = sf_readf_short(file_, samples, kBlockFrames);
    if (count < 0 || sf_error(file_) != SF_ERR_NO_ERROR) {
        frames.clear();
        error = std::string("cannot be decoded: ") + sf_strerror(file_);
        return false;
    }
    framesRead_ += count;
    if (stereo) {
        frames.resize(static_cast<size_t>(count));
        return true;
    }
    for (sf_count_t i = 0; i < count; ++i) {
        frames.push_back(stereoFrame(samples[i], samples[i]));
    }
    return true;
}

void AudioInput::appendFloats(const float* samples, size_t frameCount, std::vector<uint32_t>& frames) const {
    for (size_t i = 0; i < frameCount; ++i) {
        const int16_t left = toSample(samples[i * static_cast<size_t>(channels_)]);
        const int16_t right = channels_ == 2 ? toSample(samples[i * 2 + 1]) : left;
        frames.push_back(stereoFrame(left, right));
    }
}

// Any other sample format or rate: floats, resampled when the rate differs, rounded to 16 bits.
bool AudioInput::readConverted(std::vector<uint32_t>& frames, std::string& error) {
    frames.clear();
    const auto channels = static_cast<size_t>(channels_);
    while (frames.empty() && !flushed_) {
        sf_count_t count = 0;
        if (!ended_) {
            floatBlock_.resize(kBlockFrames * channels);
            count = readFloats(floatBlock_.data(), kBlockFrames, error);
            if (count < 0) {
                return false;
            }
            framesRead_ += count;
            ended_ = count == 0;
        }
        if (resampler_ == nullptr) {
            appendFloats(floatBlock_.data(), static_cast<size_t>(count), frames);
            flushed_ = ended_;
            continue;
        }
        // At the end, a null input drains what the resampler still holds. The room takes all that a
        // block gives at this rate: what does not fit would wait inside the resampler, which then
        // grows with the length of the input.
        const size_t room =
            kBlockFrames * std::max<size_t>(2, (CVN_PLUGIN_SAMPLE_RATE + sampleRate_ - 1) / sampleRate_) +
            1024;
        resampledBlock_.resize(room * channels);
        size_t produced = 0;
        const soxr_error_t soxrError =
            soxr_process(resampler_, ended_ ? nullptr : floatBlock_.data(), static_cast<size_t>(count),
                         nullptr, resampledBlock_.data(), room, &produced);
        if (soxrError != nullptr) {
            error = std::string("cannot be resampled: ") + soxrError;
            return false;
        }
        appendFloats(resampledBlock_.data(), produced, frames);
        flushed_ = ended_ && produced == 0;
    }
    return true;
}

} // namespace cvnhost
