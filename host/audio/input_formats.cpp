#include "audio/input_formats.h"

#include "audio/ffmpeg_module.h"

#include <sndfile.h>

#include <algorithm>
#include <cctype>
#include <iterator>
#include <set>

namespace cvnhost {

namespace {

std::string sndfileFormats() {
    int count = 0;
    sf_command(nullptr, SFC_GET_FORMAT_MAJOR_COUNT, &count, sizeof count);
    std::string names;
    for (int i = 0; i < count; ++i) {
        SF_FORMAT_INFO info{};
        info.format = i;
        if (sf_command(nullptr, SFC_GET_FORMAT_MAJOR, &info, sizeof info) == 0 && info.name != nullptr) {
            names += (names.empty() ? "" : ", ") + std::string(info.name);
        }
    }
    return names;
}

std::string ffmpeg() {
    std::string error;
    const FfmpegModule* module = ffmpegModule(error);
    return module != nullptr ? module->description() : error;
}

} // namespace

std::vector<std::string> inputFormatLines() {
    std::string extensions;
    for (const char* extension : kInputExtensions) {
        extensions += (extensions.empty() ? "" : " ") + std::string(extension);
    }
    return {
        std::string(sf_version_string()) + ": " + sndfileFormats(),
        "libmpg123: MPEG audio layers 1, 2 and 3 (MP3), to its real end",
        ffmpeg(),
        "Folders: files named " + extensions,
    };
}

bool isAudioFileName(const std::filesystem::path& name) {
    static const std::set<std::string> kExtensions(std::begin(kInputExtensions), std::end(kInputExtensions));
    std::string extension = name.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return !name.filename().string().starts_with(".") && kExtensions.count(extension) == 1;
}

} // namespace cvnhost
