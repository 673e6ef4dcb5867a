#include "dialog_template.h"

#include "code_page_1252.h"

namespace cvn {

namespace {

class Reader {
  public:
    Reader(const unsigned char* data, size_t size) : data_(data), size_(size) {}
    bool ok() const { return ok_; }
    uint16_t word() {
        if (position_ + 2 > size_) {
            ok_ = false;
            return 0;
        }
        const auto value = static_cast<uint16_t>(data_[position_] | data_[position_ + 1] << 8);
        position_ += 2;
        return value;
    }
    uint32_t dword() {
        const uint32_t low = word();
        return low | static_cast<uint32_t>(word()) << 16;
    }
    int16_t shortValue() { return static_cast<int16_t>(word()); }
    // A zero-terminated UTF-16 string, in the ANSI code page.
    std::string string() {
        std::string text;
        for (uint16_t unit = word(); ok_ && unit != 0; unit = word()) {
            text += ansiFromUtf16(static_cast<char16_t>(unit));
        }
        return text;
    }
    // A string or, after 0xFFFF, a number.
    std::string stringOrOrdinal(uint16_t& ordinal) {
        ordinal = 0;
        if (position_ + 2 <= size_ && data_[position_] == 0xFF && data_[position_ + 1] == 0xFF) {
            word();
            ordinal = word();
            return {};
        }
        return string();
    }
    void alignToFour() { position_ = (position_ + 3) & ~static_cast<size_t>(3); }
    void skip(size_t count) {
        position_ += count;
        ok_ = ok_ && position_ <= size_;
    }

  private:
    const unsigned char* data_;
    size_t size_;
    size_t position_ = 0;
    bool ok_ = true;
};

std::string predefinedClass(uint16_t atom) {
    switch (atom) {
    case 0x80:
        return "BUTTON";
    case 0x81:
        return "EDIT";
    case 0x82:
        return "STATIC";
    case 0x83:
        return "LISTBOX";
    case 0x84:
        return "SCROLLBAR";
    case 0x85:
        return "COMBOBOX";
    default:
        return "#" + std::to_string(atom);
    }
}

} // namespace

std::optional<DialogTemplate> parseDialogTemplate(const unsigned char* data, size_t size) {
    Reader reader(data, size);
    DialogTemplate dialog;
    dialog.style = reader.dword();
    if (dialog.style == 0xFFFF0001u) { // the extended form starts with dlgVer 1, signature 0xFFFF
        return std::nullopt;
    }
    dialog.extendedStyle = reader.dword();
    const uint16_t itemCount = reader.word();
    dialog.x = reader.shortValue();
    dialog.y = reader.shortValue();
    dialog.width = reader.shortValue();
    dialog.height = reader.shortValue();
    uint16_t ordinal = 0;
    reader.stringOrOrdinal(ordinal); // menu
    reader.stringOrOrdinal(ordinal); // window class
    dialog.title = reader.string();
    if (dialog.style & 0x40) { // DS_SETFONT
        dialog.pointSize = reader.word();
        dialog.fontName = reader.string();
    }
    for (uint16_t i = 0; i < itemCount && reader.ok(); ++i) {
        reader.alignToFour();
        DialogItemTemplate item{};
        item.style = reader.dword();
        item.extendedStyle = reader.dword();
        item.x = reader.shortValue();
        item.y = reader.shortValue();
        item.width = reader.shortValue();
        item.height = reader.shortValue();
        item.id = reader.word();
        const std::string className = reader.stringOrOrdinal(ordinal);
        item.className = ordinal != 0 ? predefinedClass(ordinal) : className;
        const std::string text = reader.stringOrOrdinal(ordinal);
        item.text = ordinal != 0 ? "#" + std::to_string(ordinal) : text;
        reader.skip(reader.word()); // creation data
        dialog.items.push_back(item);
    }
    if (!reader.ok()) {
        return std::nullopt;
    }
    return dialog;
}

} // namespace cvn
