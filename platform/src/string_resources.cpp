// LoadStringA: a string of the module's string table, in the ANSI code page.
#include "code_page_1252.h"
#include "share/no_exceptions.h"
#include "module_resources.h"

#include <windows.h>

namespace {

// A string table block holds strings 16 * (name - 1) to 16 * name - 1, each a 16-bit length and
// that many UTF-16 code units. Returns false when the block ends before string `index`.
bool locateString(const cvn::ResourceEntry& block, unsigned index, const unsigned char*& text,
                  size_t& length) {
    size_t offset = 0;
    for (unsigned i = 0;; ++i) {
        if (offset + 2 > block.size) {
            return false;
        }
        length = static_cast<size_t>(block.data[offset] | block.data[offset + 1] << 8);
        offset += 2;
        if (offset + 2 * length > block.size) {
            return false;
        }
        if (i == index) {
            text = block.data + offset;
            return true;
        }
        offset += 2 * length;
    }
}

} // namespace

extern "C" int WINAPI LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int bufferMax) {
    return share::withoutExceptions<int>(0, [&]() -> int {
        if (buffer == nullptr || bufferMax <= 0) {
            return 0;
        }
        buffer[0] = '\0';
        const auto block =
            cvn::findModuleResource(instance, cvn::kResourceTypeString, static_cast<uint16_t>(id / 16 + 1));
        const unsigned char* text = nullptr;
        size_t length = 0;
        if (!block || !locateString(*block, id % 16, text, length)) {
            return 0;
        }
        const size_t copied =
            length < static_cast<size_t>(bufferMax - 1) ? length : static_cast<size_t>(bufferMax - 1);
        for (size_t i = 0; i < copied; ++i) {
            buffer[i] = cvn::ansiFromUtf16(static_cast<char16_t>(text[2 * i] | text[2 * i + 1] << 8));
        }
        buffer[copied] = '\0';
        return static_cast<int>(copied);
    });
}
