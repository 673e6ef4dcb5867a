// The registry file: any text parses without harm; a REGEDIT4 text comes back byte for byte; a
// change touches only its own lines and reads back, and the changed text parses to the same
// registry.
#include "platform/src/registry_file.h"

#include <cstdlib>
#include <string>

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first bytes choose a change; the rest is the text.
    if (size < 3) {
        return 0;
    }
    const uint8_t operation = data[0] % 3;
    const auto nameLength = static_cast<size_t>(data[1] % 16);
    const auto valueLength = static_cast<size_t>(data[2] % 16);
    if (size < 3 + nameLength + valueLength) {
        return 0;
    }
    const std::string name(reinterpret_cast<const char*>(data + 3), nameLength);
    const std::vector<uint8_t> bytes(data + 3 + nameLength, data + 3 + nameLength + valueLength);
    const std::string text(reinterpret_cast<const char*>(data + 3 + nameLength + valueLength),
                           size - 3 - nameLength - valueLength);

    cvn::RegistryParseError error;
    std::optional<cvn::RegistryDocument> document = cvn::RegistryDocument::parse(text, error);
    if (!document) {
        require(error.line >= 1);
        return 0;
    }
    require(document->text() == text);
    if (!cvn::isStorableName(name)) {
        return 0;
    }
    const std::string path = "HKEY_CURRENT_USER\\Fuzz";
    const cvn::RegistryValue value{name, static_cast<uint32_t>(valueLength % 5), bytes};
    switch (operation) {
    case 0:
        document->createKey(path);
        require(document->setValue(path, value));
        break;
    case 1:
        document->deleteValue(path, name);
        require(document->findValue(path, name) == nullptr);
        break;
    default:
        document->createKey(name.empty() ? path : name);
        break;
    }
    const std::string changed = document->text();
    std::optional<cvn::RegistryDocument> again = cvn::RegistryDocument::parse(changed, error);
    require(again.has_value());
    require(again->text() == changed);
    require(again->keyCount() == document->keyCount());
    if (operation == 0) {
        const cvn::RegistryValue* read = again->findValue(path, name);
        require(read != nullptr && read->type == value.type && read->data == value.data);
    }
    return 0;
}
