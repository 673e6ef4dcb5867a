// cvnhost: the reference host. It loads the plug-in as Corvane does and encodes one track through
// its entry points: a WAVE file, or a built-in signal when no input is given.
#include "VelmoraPlugIn.h"
#include "wav_reader.h"

#include <windows.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: cvnhost [options] [input.wav] output.mp3\n"
    "  Encodes input.wav (16-bit PCM, 44100 Hz, mono or stereo) to output.mp3 through the\n"
    "  VelmoraPlugIn plug-in; without input.wav, five seconds of a built-in signal.\n"
    "options:\n"
    "  --format N       output format 0 to 27 (default 16, 128 kBit/sec stereo)\n"
    "  --list-formats   list the formats and stop\n"
    "  --title T, --album A, --artist A, --genre G, --track N   the ID3v1 tag's texts\n"
    "  --settings KEY   registry key under HKEY_CURRENT_USER with the encoder settings\n"
    "                   (default Software\\Corvane\\VelmoraPlugIn)\n";

template <typename Function> Function entryPoint(HMODULE module, const char* name) {
    auto function = reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
    if (function == nullptr) {
        std::fprintf(stderr, "cvnhost: the plug-in lacks %s\n", name);
        std::exit(1);
    }
    return function;
}

// The plug-in beside this program.
std::string pluginPath(const char* program) {
    std::string directory = program;
    const size_t slash = directory.find_last_of("/\\");
    directory = slash == std::string::npos ? "." : directory.substr(0, slash);
#ifdef _WIN32
    return directory + "\\VelmoraPlugIn.dll";
#else
    return directory + "/VelmoraPlugIn.so";
#endif
}

// A chord that rises over the five seconds, a little different in each channel.
std::vector<uint32_t> builtInSignal() {
    std::vector<uint32_t> frames;
    const double pi = std::acos(-1.0);
    for (int i = 0; i < 5 * 44100; ++i) {
        const double t = i / 44100.0;
        const double base = 220.0 * std::pow(2.0, t / 5.0);
        const double left = 6000 * std::sin(2 * pi * base * t) + 3000 * std::sin(2 * pi * base * 1.5 * t);
        const double right = 6000 * std::sin(2 * pi * base * t) + 3000 * std::sin(2 * pi * base * 1.25 * t);
        const auto l = static_cast<int16_t>(std::lround(left));
        const auto r = static_cast<int16_t>(std::lround(right));
        frames.push_back(static_cast<uint16_t>(l) | static_cast<uint32_t>(static_cast<uint16_t>(r)) << 16);
    }
    return frames;
}

void copyText(char* field, const std::string& text) {
    std::strncpy(field, text.c_str(), kTextFieldSize - 1);
    field[kTextFieldSize - 1] = '\0';
}

} // namespace

int main(int argc, char** argv) {
    int32_t format = 16;
    bool listFormats = false;
    std::string settingsKey = "Software\\Corvane\\VelmoraPlugIn";
    TrackInfo track;
    std::memset(&track, 0, sizeof track);
    track.size = sizeof track;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        const bool hasValue = i + 1 < argc;
        if (argument == "--list-formats") {
            listFormats = true;
        } else if (argument == "--format" && hasValue) {
            format = std::atoi(argv[++i]);
        } else if (argument == "--title" && hasValue) {
            copyText(track.title, argv[++i]);
        } else if (argument == "--album" && hasValue) {
            copyText(track.album, argv[++i]);
        } else if (argument == "--artist" && hasValue) {
            copyText(track.artist, argv[++i]);
        } else if (argument == "--genre" && hasValue) {
            copyText(track.genre, argv[++i]);
        } else if (argument == "--track" && hasValue) {
            track.track = static_cast<uint8_t>(std::atoi(argv[++i]) - 1); // the record counts from 0
        } else if (argument == "--settings" && hasValue) {
            settingsKey = argv[++i];
        } else if (argument.rfind("--", 0) == 0) {
            std::fputs(kUsage, stderr);
            return 2;
        } else {
            files.push_back(argument);
        }
    }
    if (!listFormats && (files.empty() || files.size() > 2)) {
        std::fputs(kUsage, stderr);
        return 2;
    }

    const std::string plugInPath = pluginPath(argv[0]);
    HMODULE plugIn = LoadLibraryA(plugInPath.c_str());
    if (plugIn == nullptr) {
        std::fprintf(stderr, "cvnhost: cannot load %s\n", plugInPath.c_str());
        return 1;
    }
    auto initPlugIn = entryPoint<decltype(&CVN_InitPlugInDLL)>(plugIn, "CVN_InitPlugInDLL");
    auto closePlugIn = entryPoint<decltype(&CVN_ClosePlugInDLL)>(plugIn, "CVN_ClosePlugInDLL");
    auto getFormatInfo = entryPoint<decltype(&CVN_GetFormatInfo)>(plugIn, "CVN_GetFormatInfo");
    auto getPlugInInfo = entryPoint<decltype(&CVN_GetPlugInInfo)>(plugIn, "CVN_GetPlugInInfo");
    auto initStream = entryPoint<decltype(&CVN_InitStream)>(plugIn, "CVN_InitStream");
    auto writeBuffer = entryPoint<decltype(&CVN_WriteBuffer)>(plugIn, "CVN_WriteBuffer");
    auto closeStream = entryPoint<decltype(&CVN_CloseStream)>(plugIn, "CVN_CloseStream");
    if (initPlugIn() != 1) {
        std::fprintf(stderr, "cvnhost: the plug-in cannot bind its encoder library LAME_ENC.DLL\n");
        return 1;
    }
    PlugInInfo info{};
    getPlugInInfo(0, &info);
    FormatInfo formatInfo{};
    if (listFormats) {
        std::printf("%s: %d formats\n", info.name, info.formatCount);
        for (int32_t index = 0; getFormatInfo(0, index, &formatInfo) == 1; ++index) {
            std::printf("%2d  %s\n", index, formatInfo.description);
        }
        closePlugIn();
        return 0;
    }
    if (getFormatInfo(0, format, &formatInfo) != 1) {
        std::fprintf(stderr, "cvnhost: there is no format %d (see --list-formats)\n", format);
        closePlugIn();
        return 2;
    }

    std::vector<uint32_t> frames;
    std::string error;
    if (files.size() == 2 && !readWaveFile(files[0], frames, error)) {
        std::fprintf(stderr, "cvnhost: %s\n", error.c_str());
        closePlugIn();
        return 1;
    }
    if (files.size() == 1) {
        frames = builtInSignal();
    }
    const std::string& output = files.back();

    HKEY key = nullptr;
    RegCreateKeyExA(HKEY_CURRENT_USER, settingsKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                    nullptr);
    StreamHandle stream = nullptr;
    if (initStream(output.c_str(), 0, format, key, &track, &stream) != 0) {
        std::fprintf(stderr, "cvnhost: cannot start encoding into %s\n", output.c_str());
        RegCloseKey(key);
        closePlugIn();
        return 1;
    }
    int result = 0;
    // The host hands the audio over in pieces of its own size.
    constexpr size_t kPiece = 4410;
    for (size_t at = 0; at < frames.size() && result == 0; at += kPiece) {
        const auto count = static_cast<int32_t>(std::min(kPiece, frames.size() - at));
        result = writeBuffer(&stream, count, frames.data() + at);
    }
    const int finish = closeStream(&stream);
    RegCloseKey(key);
    closePlugIn();
    if (result != 0 || finish != 0) {
        std::fprintf(stderr, "cvnhost: encoding into %s failed (write %d, finish %d)\n", output.c_str(),
                     result, finish);
        return 1;
    }
    std::printf("%s: %.2f s of %s as %s\n", output.c_str(), frames.size() / 44100.0,
                files.size() == 2 ? files[0].c_str() : "the built-in signal", formatInfo.description);
    return 0;
}
