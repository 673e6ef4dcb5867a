#include "format_catalogue.h"

#include "ui/resource_ids.h"

#include <cstring>

void fillFormatInfo(HINSTANCE module, int32_t formatIndex, FormatInfo& info) {
    const int bitrate = bitrateOf(formatIndex);
    const char* modeWord = isStereoFormat(formatIndex) ? "Stereo" : "Mono";
    char descriptionTemplate[128];
    LoadStringA(module, IDS_FORMAT_DESCRIPTION, descriptionTemplate, sizeof descriptionTemplate);
    // wsprintfA may write up to 1024 characters; the description field holds 128.
    char description[1024];
    wsprintfA(description, descriptionTemplate, bitrate, modeWord);
    std::strncpy(info.description, description, sizeof info.description - 1);
    info.description[sizeof info.description - 1] = '\0';
    std::memcpy(info.extension, "MP3", sizeof info.extension);
    info.byteRate = static_cast<uint32_t>(bitrate) * 128u;
}
