// The registry's keys and values in their REGEDIT4 text form:
//
//   REGEDIT4
//
//   ; a comment
//   [HKEY_CURRENT_USER\Software\Corvane]
//   "StereoMode"=dword:00000001
//   "Name"="text"
//   "Blob"=hex:01,02,03,\   (continued on the next line)
//     04,05
//   @=hex(2):41,00
//
// The document keeps every byte of the text it was read from: comments, blank lines, line ends,
// values it cannot read, continued lines. A change rewrites only the lines of the value or key it
// touches, so a file that a user or another program wrote keeps everything it had. Written values
// take the shortest form: a REG_DWORD of exactly 4 bytes as dword:, a REG_SZ that is one line of
// text ending in its terminating zero as "text", REG_BINARY as hex:, every other type and size as
// hex(type):. Names are quoted, with \ and " escaped by a backslash. This part is pure: the file,
// its lock and the handles are kept elsewhere.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace cvn {

struct RegistryValue {
    std::string name;
    uint32_t type = 0;
    std::vector<uint8_t> data;
};

// Where and why a text is not a REGEDIT4 file.
struct RegistryParseError {
    size_t line = 0; // 1-based
    std::string reason;
};

class RegistryDocument {
  public:
    // An empty registry: no keys, and no text until the first key is created.
    RegistryDocument() = default;

    // Reads the text form in one pass. Nothing, with `error` set, when the text is not a REGEDIT4
    // file (it does not start with the REGEDIT4 line); an empty text is an empty registry. Inside
    // a REGEDIT4 file, a line that cannot be read as a key or value is kept but holds nothing.
    static std::optional<RegistryDocument> parse(std::string_view text, RegistryParseError& error);

    // The text: exactly the parsed one where nothing was changed.
    std::string text() const;

    // Case-insensitive (ASCII) lookups. Where a key or value appears more than once, the last one
    // counts, as when Windows imports the file.
    bool hasKey(std::string_view path) const;
    const RegistryValue* findValue(std::string_view path, std::string_view name) const;
    // The last line of the key that names the value, readable or not: its 1-based number in the
    // text (0 when none names it), the line itself without its line end, and whether a value could
    // be read from it. For messages that point at a damaged line ("VBR"=dword:zz).
    struct ValueLine {
        size_t number = 0;
        std::string text;
        bool readable = false;
    };
    ValueLine valueLine(std::string_view path, std::string_view name) const;
    size_t keyCount() const { return keys_.size(); }

    // Adds the key at the end when absent; true when it was added.
    bool createKey(const std::string& path);
    // Replaces the value's lines, or adds them after the key's last value; false when the key
    // does not exist.
    bool setValue(const std::string& path, const RegistryValue& value);
    // Removes every line of the value; false when there was none.
    bool deleteValue(std::string_view path, std::string_view name);

  private:
    struct Entry {
        std::string text;                   // its lines, with their line ends
        std::optional<RegistryValue> value; // when they hold a readable value
    };
    struct Section {
        std::string header; // the [path] line with its line end
        std::vector<Entry> entries;
    };

    std::string* lastPiece();
    void endWithNewline(std::string& piece) const;
    std::vector<size_t>* sectionsOf(std::string_view path);
    const std::vector<size_t>* sectionsOf(std::string_view path) const;

    std::string preamble_; // the REGEDIT4 line and whatever stands before the first key
    bool hasHeader_ = false;
    std::string newline_ = "\n"; // the file's own line end, for the lines a change adds
    std::vector<Section> sections_;
    std::unordered_map<std::string, std::vector<size_t>> keys_; // folded path -> its sections
};

bool equalIgnoringAsciiCase(std::string_view a, std::string_view b);

// Whether a key or value name can be stored: the text form is read line by line, so a name with a
// control character (a line break above all) could be read back as file structure. The registry
// functions refuse such names.
bool isStorableName(std::string_view name);

} // namespace cvn
