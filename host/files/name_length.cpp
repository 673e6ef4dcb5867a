#include "files/name_length.h"

#include <unicode/unistr.h>

namespace cvnhost {

size_t lengthIn(std::string_view text, NameUnits units) {
    if (units == NameUnits::Bytes) {
        return text.size();
    }
    return static_cast<size_t>(
        icu::UnicodeString::fromUTF8(icu::StringPiece(text.data(), text.size())).length());
}

} // namespace cvnhost
