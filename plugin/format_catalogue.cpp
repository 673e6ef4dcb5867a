#include "format_catalogue.h"

#include "VelmoraPlugInResources.h"
#include "common/formatted_text.h"

#include <cstring>

namespace velmora {

void fillFormatInfo(HINSTANCE module, int32_t formatIndex, CVN_FormatInfo& info) {
    const int bitrate = cvn::bitrateOf(formatIndex);
    const char* modeWord = cvn::isStereoFormat(formatIndex) ? "Stereo" : "Mono";
    char descriptionTemplate[128];
    LoadStringA(module, IDS_FORMAT_DESCRIPTION, descriptionTemplate, sizeof descriptionTemplate);
    formatIntoField(info.description, sizeof info.description, descriptionTemplate, bitrate, modeWord);
    std::memcpy(info.extension, "MP3", sizeof info.extension);
    info.byteRate = static_cast<uint32_t>(bitrate) * 128u;
}

} // namespace velmora
