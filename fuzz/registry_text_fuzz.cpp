// The registry file: any text parses without harm, and a store of arbitrary storable names and
// data reads back exactly from its text form.
#include "platform/src/registry_file.h"

#include <cstdlib>
#include <string>

namespace {

bool sameStore(const cvn::RegistryStore& a, const cvn::RegistryStore& b) {
    if (a.keys.size() != b.keys.size()) {
        return false;
    }
    for (size_t k = 0; k < a.keys.size(); ++k) {
        if (a.keys[k].path != b.keys[k].path || a.keys[k].values.size() != b.keys[k].values.size()) {
            return false;
        }
        for (size_t v = 0; v < a.keys[k].values.size(); ++v) {
            const cvn::RegistryValue& x = a.keys[k].values[v];
            const cvn::RegistryValue& y = b.keys[k].values[v];
            if (x.name != y.name || x.type != y.type || x.data != y.data) {
                return false;
            }
        }
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    // Any text: parsed, then its own text form reads back as the same store.
    const cvn::RegistryStore parsed = cvn::parseRegistryText(text);
    if (!sameStore(parsed, cvn::parseRegistryText(cvn::formatRegistryText(parsed)))) {
        std::abort();
    }
    // The input as names and data: split at NUL bytes into a key path, value names and data.
    cvn::RegistryStore store;
    std::vector<std::string> parts;
    std::string part;
    for (char c : text) {
        if (c == '\0') {
            parts.push_back(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.push_back(part);
    if (parts.empty() || !cvn::isStorableName(parts[0]) || parts[0].empty()) {
        return 0;
    }
    cvn::RegistryKey& key = store.createKey(parts[0]);
    for (size_t i = 1; i + 1 < parts.size(); i += 2) {
        if (!cvn::isStorableName(parts[i]) || store.findValue(key, parts[i]) != nullptr) {
            continue;
        }
        const std::vector<uint8_t> bytes(parts[i + 1].begin(), parts[i + 1].end());
        key.values.push_back({parts[i], static_cast<uint32_t>(bytes.size() % 5), bytes});
    }
    if (!sameStore(store, cvn::parseRegistryText(cvn::formatRegistryText(store)))) {
        std::abort();
    }
    return 0;
}
