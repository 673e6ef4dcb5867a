// wsprintfA: the formatting subset of the Win32 function, with its 1024-character limit.
#include <windows.h>

#include <cstdarg>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr size_t kMaxFormattedLength = 1024; // Terminator included, as on Windows.

struct Conversion {
    bool leftAlign = false;
    bool zeroPad = false;
    bool alternate = false;
    int width = 0;
    int precision = -1;
};

int clampedDecimal(int value, char digit) {
    return std::min(value * 10 + (digit - '0'), static_cast<int>(kMaxFormattedLength));
}

void appendPadded(std::string& out, const std::string& text, const Conversion& conversion) {
    const size_t width = static_cast<size_t>(conversion.width);
    if (text.size() >= width) {
        out += text;
    } else if (conversion.leftAlign) {
        out += text + std::string(width - text.size(), ' ');
    } else if (conversion.zeroPad) {
        // Zeros go after the sign.
        const size_t signLength = (!text.empty() && text[0] == '-') ? 1 : 0;
        out += text.substr(0, signLength) + std::string(width - text.size(), '0') + text.substr(signLength);
    } else {
        out += std::string(width - text.size(), ' ') + text;
    }
}

std::string formatNumber(char kind, bool isShort, va_list& arguments, const Conversion& conversion) {
    char digits[32];
    // Variadic ints are promoted; wsprintfA's %d, %u and %x take 32-bit values on every platform.
    const unsigned int raw = va_arg(arguments, unsigned int);
    const unsigned int value = isShort ? (raw & 0xFFFFu) : raw;
    switch (kind) {
    case 'd':
    case 'i': {
        const int signedValue = isShort ? static_cast<short>(value) : static_cast<int>(value);
        std::snprintf(digits, sizeof digits, "%d", signedValue);
        break;
    }
    case 'u':
        std::snprintf(digits, sizeof digits, "%u", value);
        break;
    case 'x':
        std::snprintf(digits, sizeof digits, conversion.alternate ? "%#x" : "%x", value);
        break;
    default:
        std::snprintf(digits, sizeof digits, conversion.alternate ? "%#X" : "%X", value);
        break;
    }
    return digits;
}

// The formatting proper; may throw std::bad_alloc, which wsprintfA turns into an empty result.
std::string formatted(LPCSTR format, va_list& arguments) {
    std::string out;
    for (const char* p = format; *p != '\0' && out.size() < kMaxFormattedLength; ++p) {
        if (*p != '%') {
            out += *p;
            continue;
        }
        Conversion conversion;
        for (++p;; ++p) {
            if (*p == '-') {
                conversion.leftAlign = true;
            } else if (*p == '0') {
                conversion.zeroPad = true;
            } else if (*p == '#') {
                conversion.alternate = true;
            } else {
                break;
            }
        }
        // Widths and precisions beyond the limit change nothing in what fits: clamped, they can
        // neither overflow nor ask for more memory than the limit.
        while (*p >= '0' && *p <= '9') {
            conversion.width = clampedDecimal(conversion.width, *p++);
        }
        if (*p == '.') {
            conversion.precision = 0;
            for (++p; *p >= '0' && *p <= '9'; ++p) {
                conversion.precision = clampedDecimal(conversion.precision, *p);
            }
        }
        bool isShort = false;
        if (*p == 'l') {
            ++p;
        } else if (*p == 'h') {
            isShort = true;
            ++p;
        }
        switch (*p) {
        case 'd':
        case 'i':
        case 'u':
        case 'x':
        case 'X':
            appendPadded(out, formatNumber(*p, isShort, arguments, conversion), conversion);
            break;
        case 'c':
            appendPadded(out, std::string(1, static_cast<char>(va_arg(arguments, int))), conversion);
            break;
        case 's': {
            const char* text = va_arg(arguments, const char*);
            std::string value =
                text == nullptr ? "(null)" : std::string(text, strnlen(text, kMaxFormattedLength));
            if (conversion.precision >= 0 && value.size() > static_cast<size_t>(conversion.precision)) {
                value.resize(static_cast<size_t>(conversion.precision));
            }
            appendPadded(out, value, conversion);
            break;
        }
        case '\0':
            --p; // A lone '%' at the end prints nothing; let the loop see the terminator.
            break;
        default:
            out += *p; // "%%" and unknown conversions print the character itself.
            break;
        }
    }
    if (out.size() > kMaxFormattedLength - 1) {
        out.resize(kMaxFormattedLength - 1);
    }
    return out;
}

} // namespace

extern "C" int WINAPIV wsprintfA(LPSTR buffer, LPCSTR format, ...) {
    if (buffer == nullptr || format == nullptr) {
        return 0;
    }
    va_list arguments;
    va_start(arguments, format);
    std::string out;
    try {
        out = formatted(format, arguments);
    } catch (...) {
        out.clear(); // no exception may reach a C caller
    }
    va_end(arguments);
    out.copy(buffer, out.size());
    buffer[out.size()] = '\0';
    return static_cast<int>(out.size());
}
