// Reading a classic dialog template (DLGTEMPLATE and its DLGITEMTEMPLATEs) from a resource.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace cvn {

struct DialogItemTemplate {
    uint32_t style;
    uint32_t extendedStyle;
    int16_t x, y, width, height;
    uint16_t id;
    std::string className; // "BUTTON", "EDIT", "STATIC", "LISTBOX", "SCROLLBAR", "COMBOBOX" or the name given
    std::string text;      // in the ANSI code page
};

struct DialogTemplate {
    uint32_t style;
    uint32_t extendedStyle;
    int16_t x, y, width, height;
    std::string title;
    uint16_t pointSize = 0;
    std::string fontName;
    std::vector<DialogItemTemplate> items;
};

// Null for data that is not a whole classic template (an extended one included).
std::optional<DialogTemplate> parseDialogTemplate(const unsigned char* data, size_t size);

} // namespace cvn
