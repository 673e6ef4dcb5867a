#include "audio/audio_input.h"

#include "audio/ffmpeg_module.h"
#include "audio/mpeg_decoder.h"
#include "audio/pcm_frames.h"
#include "audio/resampler.h"
#include "audio/sndfile_decoder.h"
#include "files/output_target.h"
#include "files/standard_streams.h"
#include "tags/input_tags.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <set>
#include <sstream>

namespace cvnhost {

namespace {

std::optional<std::string> metadataText(SNDFILE* file, int type) {
    const char* text = sf_get_string(file, type);
    if (text == nullptr || *text == '\0') {
        return std::nullopt;
    }
    return std::string(text);
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

// Without overflow for any count a header may give.
int64_t framesAtPlugInRate(int64_t frames, int sampleRate) {
    return frames / sampleRate * CVN_PLUGIN_SAMPLE_RATE +
           frames % sampleRate * CVN_PLUGIN_SAMPLE_RATE / sampleRate;
}

// A decoder's notes on stderr, each once for its file: a file read again (for its digest, say)
// would say it again.
void sayNotes(const std::string& path, ModuleDecoder& decoder) {
    static std::mutex turn;
    static std::set<std::string> said;
    for (const std::string& note : decoder.takeNotes()) {
        const std::lock_guard<std::mutex> lock(turn);
        if (said.insert(path + '\n' + note).second) {
            std::fprintf(stderr, "cvnhost: %s: %s\n", path.c_str(), note.c_str());
        }
    }
}

// FFmpeg's decoder, from the module that holds FFmpeg's libraries, as the first link of a chain.
class ModuleFloats : public FloatSource {
  public:
    ModuleFloats(std::unique_ptr<ModuleDecoder> decoder, const std::string& path)
        : decoder_(std::move(decoder)), path_(path) {
        sayNotes(path_, *decoder_);
    }

    bool read(std::vector<float>& samples, std::string& error) override {
        const auto channels = static_cast<size_t>(decoder_->channels());
        samples.resize(kBlockFrames * channels);
        const int64_t count = decoder_->read(samples.data(), kBlockFrames, error);
        samples.resize(count > 0 ? static_cast<size_t>(count) * channels : 0);
        if (count == 0) {
            sayNotes(path_, *decoder_);
        }
        return count >= 0;
    }
    int channels() const override { return decoder_->channels(); }
    int sampleRate() const override { return decoder_->sampleRate(); }

  private:
    std::unique_ptr<ModuleDecoder> decoder_;
    std::string path_;
};

// The first link of a file's chain, or the whole of it for a file that passes through.
struct Decoder {
    std::unique_ptr<FloatSource> floats;
    std::unique_ptr<FrameSource> passThrough;
    int64_t frames = 0; // from the header, at the file's rate; 0 when it does not say
    TrackTags strings;
};

// Refuses what is no regular file, or an empty one.
bool isReadableFile(const std::string& path, std::string& error) {
    std::error_code fileError;
    const auto size = std::filesystem::file_size(path, fileError);
    if (struct stat status{}; stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) {
        error = "is " + fileTypeName(status.st_mode) +
                ", not a regular file: give a stream as - (standard input)";
        return false;
    }
    if (fileError) {
        error = "cannot be read: " + fileError.message();
        return false;
    }
    if (size == 0) {
        error = "is empty";
        return false;
    }
    return true;
}

TrackTags stringsOf(SNDFILE* file) {
    TrackTags strings;
    strings.title = metadataText(file, SF_STR_TITLE);
    strings.artist = metadataText(file, SF_STR_ARTIST);
    strings.album = metadataText(file, SF_STR_ALBUM);
    strings.genre = metadataText(file, SF_STR_GENRE);
    if (const auto track = metadataText(file, SF_STR_TRACKNUMBER)) {
        strings.track = parseNumberAndTotal(*track).number;
    }
    return strings;
}

// What libsndfile opened, checked; MPEG audio goes to libmpg123. Nothing after saying why.
std::optional<Decoder> sndfileDecoder(const std::string& path, SNDFILE* file, const SF_INFO& info,
                                      std::string& error) {
    auto reader = std::make_unique<SndfileReader>(file);
    if (headerPromisesMore(file)) {
        error = "is truncated: its header promises more audio than the file holds";
        return std::nullopt;
    }
    if (info.channels < 1) {
        error = "has no channels";
        return std::nullopt;
    }
    if (info.samplerate < 1000 || info.samplerate > 768000) {
        error = "has a sample rate of " + std::to_string(info.samplerate) + " Hz, which cannot be converted";
        return std::nullopt;
    }
    Decoder decoder;
    decoder.strings = stringsOf(file);
    if ((info.format & SF_FORMAT_TYPEMASK) == SF_FORMAT_MPEG) {
        // Its length is an estimate for a file without a Xing header: it is read to the real end.
        decoder.floats = MpegFloats::open(path, info.channels, info.samplerate, error);
        return decoder.floats ? std::optional<Decoder>(std::move(decoder)) : std::nullopt;
    }
    // A stream whose length the header does not give reports the largest count there is.
    decoder.frames = info.frames > 0 && info.frames < SF_COUNT_MAX / CVN_PLUGIN_SAMPLE_RATE ? info.frames : 0;
    reader->expect(decoder.frames, info.samplerate);
    if ((info.format & SF_FORMAT_SUBMASK) == SF_FORMAT_PCM_16 &&
        info.samplerate == static_cast<int>(CVN_PLUGIN_SAMPLE_RATE)) {
        decoder.passThrough =
            std::make_unique<SndfileFrames>(std::move(reader), info.channels, decoder.frames);
    } else {
        decoder.floats = std::make_unique<SndfileFloats>(std::move(reader), info.channels, info.samplerate);
    }
    return decoder;
}

// What FFmpeg reads: what libsndfile did not, or has more than two channels.
std::optional<Decoder> ffmpegDecoder(const std::string& path, bool readBySndfile, std::string& error) {
    const FfmpegModule* module = ffmpegModule(error);
    if (module == nullptr) {
        return std::nullopt;
    }
    // A damaged file of a format libsndfile reads keeps libsndfile's refusal.
    const std::string refusal =
        std::string("is not audio that libsndfile can read (") + sf_strerror(nullptr) + ")";
    std::unique_ptr<ModuleDecoder> opened =
        module->open(path, readBySndfile ? nullptr : refusal.c_str(), error);
    if (!opened) {
        return std::nullopt;
    }
    Decoder decoder;
    decoder.frames = opened->frames();
    decoder.floats = std::make_unique<ModuleFloats>(std::move(opened), path);
    return decoder;
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
    if (!isReadableFile(path, error)) {
        return nullptr;
    }
    SF_INFO info = raw ? rawInfoOf(*raw) : SF_INFO{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (raw && file == nullptr) {
        error = std::string("cannot be read as raw samples: ") + sf_strerror(nullptr);
        return nullptr;
    }
    // libsndfile and libmpg123 keep what they read; FFmpeg reads the rest, and folds more than two
    // channels to stereo.
    const bool bySndfile = file != nullptr && info.channels <= 2;
    if (file != nullptr && !bySndfile) {
        sf_close(file);
    }
    std::optional<Decoder> decoder =
        bySndfile ? sndfileDecoder(path, file, info, error) : ffmpegDecoder(path, file != nullptr, error);
    if (!decoder) {
        return nullptr;
    }
    std::unique_ptr<AudioInput> input(new AudioInput);
    input->tags_ = std::move(decoder->strings);
    if (decoder->passThrough) {
        input->channels_ = info.channels;
        input->frames_ = std::move(decoder->passThrough);
        return input;
    }
    input->channels_ = decoder->floats->channels();
    const int rate = decoder->floats->sampleRate();
    std::unique_ptr<FloatSource> floats = std::move(decoder->floats);
    if (rate != static_cast<int>(CVN_PLUGIN_SAMPLE_RATE)) {
        floats = Resampler::over(std::move(floats), error);
        if (!floats) {
            return nullptr;
        }
    }
    input->frames_ =
        std::make_unique<PcmFrames>(std::move(floats), framesAtPlugInRate(decoder->frames, rate));
    return input;
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

} // namespace cvnhost
