#include "registry_file.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>

namespace cvn {

namespace {

char foldAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string quoted(std::string_view text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

// Reads a quoted name or text at the start of `line`, with \ and " escaped by a backslash;
// `end` is set past the closing quote.
bool readQuoted(std::string_view line, std::string& text, size_t& end) {
    if (line.empty() || line[0] != '"') {
        return false;
    }
    text.clear();
    for (size_t i = 1; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size()) {
            text += line[++i];
        } else if (line[i] == '"') {
            end = i + 1;
            return true;
        } else {
            text += line[i];
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

bool readHexBytes(std::string_view text, std::vector<uint8_t>& bytes) {
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

bool readValue(std::string_view line, RegistryValue& value) {
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
    const std::string_view data = line.substr(end + 1);
    if (!data.empty() && data[0] == '"') {
        std::string text;
        size_t textEnd = 0;
        if (!readQuoted(data, text, textEnd) || textEnd != data.size()) {
            return false;
        }
        value.type = REG_SZ;
        value.data.assign(text.begin(), text.end());
        value.data.push_back(0);
        return true;
    }
    if (data.rfind("dword:", 0) == 0) {
        const std::string_view digits = data.substr(6);
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
        if (close == std::string_view::npos || close == 4 || close > 12) {
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

// A REG_SZ that is one line of text with its terminating zero and no other zero.
bool isPlainString(const RegistryValue& value) {
    if (value.type != REG_SZ || value.data.empty() || value.data.back() != 0) {
        return false;
    }
    const std::string_view text(reinterpret_cast<const char*>(value.data.data()), value.data.size() - 1);
    return text.find('\0') == std::string_view::npos && isStorableName(text);
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
    if (isPlainString(value)) {
        return quoted(
            std::string_view(reinterpret_cast<const char*>(value.data.data()), value.data.size() - 1));
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

std::string formatValue(const RegistryValue& value) {
    return (value.name.empty() ? std::string("@") : quoted(value.name)) + "=" + formatData(value);
}

std::string folded(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        c = foldAscii(c);
    }
    return out;
}

std::string_view withoutTrailingBlanks(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view withoutLeadingBlanks(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) {
        text.remove_prefix(1);
    }
    return text;
}

// A line that holds a value, readable or not: its lines come first in a key.
bool isValueLine(std::string_view line) {
    return !line.empty() && (line[0] == '"' || line[0] == '@');
}

// hex data goes on over the next line when a line ends with a backslash.
bool continues(std::string_view line) {
    return !line.empty() && line.back() == '\\' && line.find("=hex") != std::string_view::npos;
}

// The last line of a piece that ends with its line end, without that line end.
std::string_view lastLineOf(std::string_view piece) {
    piece.remove_suffix(piece.empty() ? 0 : 1);
    if (!piece.empty() && piece.back() == '\r') {
        piece.remove_suffix(1);
    }
    const size_t start = piece.rfind('\n');
    return start == std::string_view::npos ? piece : piece.substr(start + 1);
}

// Whether the lines of a value entry end in a continuation, as the parser reads them: its first
// line continues hex data, and every later line continues when it ends with a backslash.
bool leavesLineOpen(std::string_view entry) {
    const std::string_view last = withoutTrailingBlanks(lastLineOf(entry));
    const bool oneLine = entry.find('\n') == entry.size() - 1;
    return oneLine ? continues(last) : !last.empty() && last.back() == '\\';
}

// Splits off the next line of `text` at `position`: with its line end, and without it.
struct Line {
    std::string_view whole;
    std::string_view content;
};
Line nextLine(std::string_view text, size_t& position) {
    const size_t newline = text.find('\n', position);
    const size_t end = newline == std::string_view::npos ? text.size() : newline + 1;
    Line line{text.substr(position, end - position), text.substr(position, end - position)};
    position = end;
    if (!line.content.empty() && line.content.back() == '\n') {
        line.content.remove_suffix(1);
    }
    if (!line.content.empty() && line.content.back() == '\r') {
        line.content.remove_suffix(1);
    }
    return line;
}

} // namespace

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b) {
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

bool isStorableName(std::string_view name) {
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            return false;
        }
    }
    return true;
}

std::optional<RegistryDocument> RegistryDocument::parse(std::string_view text, RegistryParseError& error) {
    RegistryDocument document;
    size_t position = 0;
    size_t lineNumber = 0;
    std::optional<size_t> current; // the section that lines now belong to
    while (position < text.size()) {
        const Line line = nextLine(text, position);
        ++lineNumber;
        std::string_view content = withoutTrailingBlanks(line.content);
        if (!document.hasHeader_) {
            if (lineNumber == 1 && content.rfind("\xEF\xBB\xBF", 0) == 0) {
                content.remove_prefix(3);
            }
            if (!withoutLeadingBlanks(content).empty() && content != "REGEDIT4") {
                error = {lineNumber, "it does not start with the line REGEDIT4"};
                return std::nullopt;
            }
            document.hasHeader_ = !content.empty();
            if (document.hasHeader_ && line.whole.size() >= 2 &&
                line.whole.substr(line.whole.size() - 2) == "\r\n") {
                document.newline_ = "\r\n";
            }
            document.preamble_ += line.whole;
            continue;
        }
        if (content.size() >= 2 && content.front() == '[' && content.back() == ']') {
            current = document.sections_.size();
            document.sections_.push_back({std::string(line.whole), {}});
            document.keys_[folded(content.substr(1, content.size() - 2))].push_back(*current);
            continue;
        }
        if (!current) {
            document.preamble_ += line.whole;
            continue;
        }
        Entry entry{std::string(line.whole), std::nullopt};
        if (isValueLine(content)) {
            // Each line that ends with a backslash takes the next one.
            std::string logical(content);
            for (bool more = continues(content); more && position < text.size();) {
                const Line next = nextLine(text, position);
                ++lineNumber;
                entry.text += next.whole;
                const std::string_view nextContent =
                    withoutLeadingBlanks(withoutTrailingBlanks(next.content));
                more = !nextContent.empty() && nextContent.back() == '\\';
                logical.pop_back();
                logical += nextContent;
            }
            RegistryValue value;
            if (readValue(logical, value)) {
                entry.value = std::move(value);
            }
        }
        document.sections_[*current].entries.push_back(std::move(entry));
    }
    return document;
}

std::string RegistryDocument::text() const {
    std::string out = preamble_;
    for (const Section& section : sections_) {
        out += section.header;
        for (const Entry& entry : section.entries) {
            out += entry.text;
        }
    }
    return out;
}

const std::vector<size_t>* RegistryDocument::sectionsOf(std::string_view path) const {
    const auto found = keys_.find(folded(path));
    return found == keys_.end() ? nullptr : &found->second;
}

std::vector<size_t>* RegistryDocument::sectionsOf(std::string_view path) {
    const auto found = keys_.find(folded(path));
    return found == keys_.end() ? nullptr : &found->second;
}

bool RegistryDocument::hasKey(std::string_view path) const {
    return sectionsOf(path) != nullptr;
}

const RegistryValue* RegistryDocument::findValue(std::string_view path, std::string_view name) const {
    const std::vector<size_t>* sections = sectionsOf(path);
    if (sections == nullptr) {
        return nullptr;
    }
    for (auto section = sections->rbegin(); section != sections->rend(); ++section) {
        const std::vector<Entry>& entries = sections_[*section].entries;
        for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
            if (entry->value && equalIgnoringAsciiCase(entry->value->name, name)) {
                return &*entry->value;
            }
        }
    }
    return nullptr;
}

RegistryDocument::ValueLine RegistryDocument::valueLine(std::string_view path, std::string_view name) const {
    ValueLine found;
    const std::vector<size_t>* sections = sectionsOf(path);
    if (sections == nullptr) {
        return found;
    }
    const auto lineEnds = [](const std::string& text) {
        return static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
    };
    size_t line = lineEnds(preamble_) + 1;
    for (size_t index = 0; index < sections_.size(); ++index) {
        line += lineEnds(sections_[index].header);
        const bool ofKey = std::find(sections->begin(), sections->end(), index) != sections->end();
        for (const Entry& entry : sections_[index].entries) {
            size_t position = 0;
            const std::string_view content = withoutTrailingBlanks(nextLine(entry.text, position).content);
            std::string entryName;
            size_t end = 0;
            const bool named = entry.value                   ? (entryName = entry.value->name, true)
                               : content.rfind("@=", 0) == 0 ? true
                                                             : readQuoted(content, entryName, end);
            if (ofKey && named && equalIgnoringAsciiCase(entryName, name)) {
                found = {line, std::string(content), entry.value.has_value()};
            }
            line += lineEnds(entry.text);
        }
    }
    return found;
}

// The last piece of text, where lines are added at the end; null while there is no text.
std::string* RegistryDocument::lastPiece() {
    if (sections_.empty()) {
        return preamble_.empty() ? nullptr : &preamble_;
    }
    Section& last = sections_.back();
    return last.entries.empty() ? &last.header : &last.entries.back().text;
}

// Only the file's last line can lack its line end; a line added after it needs one.
void RegistryDocument::endWithNewline(std::string& piece) const {
    if (!piece.empty() && piece.back() == '\r') {
        piece += '\n'; // a last line that ends in half a CRLF
    } else if (!piece.empty() && piece.back() != '\n') {
        piece += newline_;
    }
}

bool RegistryDocument::createKey(const std::string& path) {
    if (hasKey(path)) {
        return false;
    }
    if (!hasHeader_) {
        endWithNewline(preamble_);
        preamble_ += "REGEDIT4" + newline_;
        hasHeader_ = true;
    }
    if (std::string* last = lastPiece()) {
        endWithNewline(*last);
    }
    keys_[folded(path)].push_back(sections_.size());
    sections_.push_back({newline_ + "[" + path + "]" + newline_, {}});
    return true;
}

bool RegistryDocument::setValue(const std::string& path, const RegistryValue& value) {
    const std::vector<size_t>* sections = sectionsOf(path);
    if (sections == nullptr) {
        return false;
    }
    const std::string line = formatValue(value) + newline_;
    for (auto section = sections->rbegin(); section != sections->rend(); ++section) {
        std::vector<Entry>& entries = sections_[*section].entries;
        for (auto entry = entries.rbegin(); entry != entries.rend(); ++entry) {
            if (entry->value && equalIgnoringAsciiCase(entry->value->name, value.name)) {
                entry->text = line;
                entry->value = value;
                return true;
            }
        }
    }
    Section& section = sections_[sections->back()];
    size_t at = 0;
    for (size_t i = 0; i < section.entries.size(); ++i) {
        if (isValueLine(section.entries[i].text)) {
            at = i + 1;
        }
    }
    std::string& before = at == 0 ? section.header : section.entries[at - 1].text;
    endWithNewline(before);
    // A value still continued at the very end of the file would take the new line as its own.
    if (at > 0 && leavesLineOpen(before)) {
        before += newline_;
    }
    section.entries.insert(section.entries.begin() + static_cast<std::ptrdiff_t>(at), Entry{line, value});
    return true;
}

bool RegistryDocument::deleteValue(std::string_view path, std::string_view name) {
    const std::vector<size_t>* sections = sectionsOf(path);
    if (sections == nullptr) {
        return false;
    }
    bool deleted = false;
    for (const size_t index : *sections) {
        std::vector<Entry>& entries = sections_[index].entries;
        const auto removed = std::remove_if(entries.begin(), entries.end(), [&](const Entry& entry) {
            return entry.value && equalIgnoringAsciiCase(entry.value->name, name);
        });
        deleted = deleted || removed != entries.end();
        entries.erase(removed, entries.end());
    }
    return deleted;
}

} // namespace cvn
