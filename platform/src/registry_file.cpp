#include "registry_file.h"

#include <windows.h>

#include <cstdio>
#include <sstream>

namespace cvn {

namespace {

char foldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string quoted(const std::string& name) {
    std::string out = "\"";
    for (char c : name) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

// Reads a quoted name at the start of `line`; `end` is set past the closing quote.
bool readQuoted(const std::string& line, std::string& name, size_t& end) {
    if (line.empty() || line[0] != '"') {
        return false;
    }
    name.clear();
    for (size_t i = 1; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            name += line[++i];
        } else if (line[i] == '"') {
            end = i + 1;
            return true;
        } else {
            name += line[i];
        }
    }
    return false;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = foldAscii(c);
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

bool readHexBytes(const std::string& text, std::vector<uint8_t>& bytes) {
    bytes.clear();
    size_t i = 0;
    while (i < text.size()) {
        if (i + 1 >= text.size() || hexDigit(text[i]) < 0 || hexDigit(text[i + 1]) < 0) {
            return false;
        }
        bytes.push_back(static_cast<uint8_t>(hexDigit(text[i]) * 16 + hexDigit(text[i + 1])));
        i += 2;
        if (i < text.size()) {
            if (text[i] != ',') {
                return false;
            }
            ++i;
        }
    }
    return true;
}

bool readValue(const std::string& line, RegistryValue& value) {
    size_t end = 0;
    if (line.rfind("@=", 0) == 0) {
        value.name.clear();
        end = 1;
    } else if (!readQuoted(line, value.name, end)) {
        return false;
    }
    if (end >= line.size() || line[end] != '=') {
        return false;
    }
    const std::string data = line.substr(end + 1);
    if (data.rfind("dword:", 0) == 0) {
        const std::string digits = data.substr(6);
        if (digits.size() != 8) {
            return false;
        }
        uint32_t number = 0;
        for (char c : digits) {
            if (hexDigit(c) < 0) {
                return false;
            }
            number = number * 16 + static_cast<uint32_t>(hexDigit(c));
        }
        value.type = REG_DWORD;
        value.data = {static_cast<uint8_t>(number), static_cast<uint8_t>(number >> 8),
                      static_cast<uint8_t>(number >> 16), static_cast<uint8_t>(number >> 24)};
        return true;
    }
    if (data.rfind("hex:", 0) == 0) {
        value.type = REG_BINARY;
        return readHexBytes(data.substr(4), value.data);
    }
    if (data.rfind("hex(", 0) == 0) {
        const size_t close = data.find("):");
        if (close == std::string::npos || close == 4) {
            return false;
        }
        uint32_t type = 0;
        for (size_t i = 4; i < close; ++i) {
            if (hexDigit(data[i]) < 0) {
                return false;
            }
            type = type * 16 + static_cast<uint32_t>(hexDigit(data[i]));
        }
        value.type = type;
        return readHexBytes(data.substr(close + 2), value.data);
    }
    return false;
}

std::string formatData(const RegistryValue& value) {
    char text[16];
    if (value.type == REG_DWORD && value.data.size() == 4) {
        const uint32_t number =
            static_cast<uint32_t>(value.data[0]) | static_cast<uint32_t>(value.data[1]) << 8 |
            static_cast<uint32_t>(value.data[2]) << 16 | static_cast<uint32_t>(value.data[3]) << 24;
        std::snprintf(text, sizeof text, "%08x", number);
        return std::string("dword:") + text;
    }
    std::string out;
    if (value.type == REG_BINARY) {
        out = "hex:";
    } else {
        std::snprintf(text, sizeof text, "hex(%x):", value.type);
        out = text;
    }
    for (size_t i = 0; i < value.data.size(); ++i) {
        std::snprintf(text, sizeof text, i == 0 ? "%02x" : ",%02x", value.data[i]);
        out += text;
    }
    return out;
}

} // namespace

bool equalIgnoringAsciiCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (foldAscii(a[i]) != foldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool isStorableName(const std::string& name) {
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return false;
        }
    }
    return true;
}

RegistryKey* RegistryStore::findKey(const std::string& path) {
    for (RegistryKey& key : keys) {
        if (equalIgnoringAsciiCase(key.path, path)) {
            return &key;
        }
    }
    return nullptr;
}

RegistryValue* RegistryStore::findValue(RegistryKey& key, const std::string& name) {
    for (RegistryValue& value : key.values) {
        if (equalIgnoringAsciiCase(value.name, name)) {
            return &value;
        }
    }
    return nullptr;
}

RegistryKey& RegistryStore::createKey(const std::string& path) {
    if (RegistryKey* key = findKey(path)) {
        return *key;
    }
    keys.push_back({path, {}});
    return keys.back();
}

RegistryStore parseRegistryText(const std::string& text) {
    RegistryStore store;
    RegistryKey* current = nullptr;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
            current = &store.createKey(line.substr(1, line.size() - 2));
            continue;
        }
        RegistryValue value;
        if (current != nullptr && readValue(line, value)) {
            if (RegistryValue* existing = store.findValue(*current, value.name)) {
                *existing = value;
            } else {
                current->values.push_back(value);
            }
        }
    }
    return store;
}

std::string formatRegistryText(const RegistryStore& store) {
    std::string out = "REGEDIT4\n";
    for (const RegistryKey& key : store.keys) {
        out += "\n[" + key.path + "]\n";
        for (const RegistryValue& value : key.values) {
            out +=
                (value.name.empty() ? std::string("@") : quoted(value.name)) + "=" + formatData(value) + "\n";
        }
    }
    return out;
}

} // namespace cvn
