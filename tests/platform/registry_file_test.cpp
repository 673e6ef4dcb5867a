// The Linux registry: its text file, and changes from several processes at once.
#include "platform/src/registry_file.h"
#include "support/temporary_directory.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace cvn::test {
namespace {

std::string readRegistryFileText(const std::string& path) {
    const std::vector<uint8_t> bytes = readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

std::optional<RegistryDocument> parsed(const std::string& text) {
    RegistryParseError error;
    return RegistryDocument::parse(text, error);
}

TEST(RegistryFile, WrittenValuesTakeTheirShortestFormAndReadBack) {
    RegistryDocument document;
    const std::string path = "HKEY_CURRENT_USER\\Software\\Corvane";
    ASSERT_TRUE(document.createKey(path));
    const std::vector<RegistryValue> values = {
        {"StereoMode", REG_DWORD, {1, 0, 0, 0}},
        {"Odd \"name\" \\", REG_BINARY, {0xde, 0xad}},
        {"Short", REG_DWORD, {2}},
        {"", REG_SZ, {'h', 'i', 0}},
        {"Path", REG_SZ, {'C', ':', '\\', 0}},
        {"Two", REG_SZ, {'a', 0, 'b', 0}},
        {"Unterminated", REG_SZ, {'a', 'b'}},
    };
    for (const RegistryValue& value : values) {
        ASSERT_TRUE(document.setValue(path, value));
    }
    document.createKey("HKEY_CURRENT_USER\\Software\\Empty");
    EXPECT_EQ(document.text(), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Corvane]\n"
                               "\"StereoMode\"=dword:00000001\n"
                               "\"Odd \\\"name\\\" \\\\\"=hex:de,ad\n"
                               "\"Short\"=hex(4):02\n"
                               "@=\"hi\"\n"
                               "\"Path\"=\"C:\\\\\"\n"
                               "\"Two\"=hex(1):61,00,62,00\n"
                               "\"Unterminated\"=hex(1):61,62\n"
                               "\n[HKEY_CURRENT_USER\\Software\\Empty]\n");
    const std::optional<RegistryDocument> again = parsed(document.text());
    ASSERT_TRUE(again);
    EXPECT_EQ(again->keyCount(), 2u);
    for (const RegistryValue& value : values) {
        const RegistryValue* read = again->findValue("hkey_current_user\\software\\CORVANE", value.name);
        ASSERT_NE(read, nullptr) << value.name;
        EXPECT_EQ(read->type, value.type) << value.name;
        EXPECT_EQ(read->data, value.data) << value.name;
    }
}

// Files as users and other programs write them: every byte comes back, a change of one value
// rewrites only its own lines, and a new value goes after the key's last value.
TEST(RegistryFile, AChangeTouchesOnlyItsOwnLines) {
    struct Case {
        const char* what;
        std::string text;
        std::string afterChange; // "VBR" set to 3 and "New" added, in the key of the plug-in
    };
    const std::string key = "[HKEY_CURRENT_USER\\Software\\Corvane\\VelmoraPlugIn]";
    const std::vector<Case> cases = {
        {"comments, strings, continued hex, a default value",
         "REGEDIT4\n\n; kept by hand\n" + key +
             "\n\"VBR\"=dword:00000001\n\"Name\"=\"Caf\xc3\xa9 \\\"x\\\"\"\n"
             "\"Blob\"=hex:01,02,\\\n  03,04\n@=\"default\"\n\n; "
             "next\n[HKEY_CURRENT_USER\\Other]\n\"a\"=\"b\"\n",
         "REGEDIT4\n\n; kept by hand\n" + key +
             "\n\"VBR\"=dword:00000003\n\"Name\"=\"Caf\xc3\xa9 \\\"x\\\"\"\n"
             "\"Blob\"=hex:01,02,\\\n  03,04\n@=\"default\"\n\"New\"=dword:00000007\n\n; next\n"
             "[HKEY_CURRENT_USER\\Other]\n\"a\"=\"b\"\n"},
        {"CRLF line ends and no line end at the end",
         "REGEDIT4\r\n\r\n" + key + "\r\n\"Other\"=hex(7):41,00,00,00\r\n\"VBR\"=dword:00000001",
         "REGEDIT4\r\n\r\n" + key +
             "\r\n\"Other\"=hex(7):41,00,00,00\r\n\"VBR\"=dword:00000003\r\n"
             "\"New\"=dword:00000007\r\n"},
        {"damaged and unknown lines stay, the last of two equal values counts",
         "REGEDIT4\n" + key + "\n\"VBR\"=dword:zz\ngarbage\n\"VBR\"=dword:00000001\n\"x\"=qword:1\n",
         "REGEDIT4\n" + key +
             "\n\"VBR\"=dword:zz\ngarbage\n\"VBR\"=dword:00000003\n\"x\"=qword:1\n"
             "\"New\"=dword:00000007\n"},
        {"a continued line at the very end",
         "REGEDIT4\n" + key + "\n\"VBR\"=dword:00000001\n\"Blob\"=hex:01,\\",
         "REGEDIT4\n" + key + "\n\"VBR\"=dword:00000003\n\"Blob\"=hex:01,\\\n\n\"New\"=dword:00000007\n"},
    };
    const uint32_t three = 3;
    const uint32_t seven = 7;
    const auto dword = [](uint32_t number) {
        return std::vector<uint8_t>{static_cast<uint8_t>(number), 0, 0, 0};
    };
    for (const Case& c : cases) {
        std::optional<RegistryDocument> document = parsed(c.text);
        ASSERT_TRUE(document) << c.what;
        EXPECT_EQ(document->text(), c.text) << c.what;
        const std::string path = key.substr(1, key.size() - 2);
        ASSERT_TRUE(document->setValue(path, {"VBR", REG_DWORD, dword(three)})) << c.what;
        ASSERT_TRUE(document->setValue(path, {"New", REG_DWORD, dword(seven)})) << c.what;
        EXPECT_EQ(document->text(), c.afterChange) << c.what;
        const std::optional<RegistryDocument> again = parsed(document->text());
        ASSERT_TRUE(again) << c.what;
        ASSERT_NE(again->findValue(path, "New"), nullptr) << c.what;
        EXPECT_EQ(again->findValue(path, "VBR")->data, dword(three)) << c.what;
    }
}

TEST(RegistryFile, OnlyAREGEDIT4TextIsARegistry) {
    const std::vector<std::pair<std::string, size_t>> notRegistries = {
        {"Windows Registry Editor Version 5.00\n", 1},
        {"\n\ngarbage\nREGEDIT4\n", 3},
        {std::string("\0\xff", 2), 1}};
    for (const auto& [text, line] : notRegistries) {
        RegistryParseError error;
        EXPECT_FALSE(RegistryDocument::parse(text, error)) << text;
        EXPECT_EQ(error.line, line) << text;
    }
    for (const std::string text : {"", "\n", "\xEF\xBB\xBFREGEDIT4\n", "REGEDIT4"}) {
        EXPECT_TRUE(parsed(text)) << text;
    }
}

// The line that names a value is found past CRLF line ends, continued hex lines and other keys;
// the last one counts, readable or not.
TEST(RegistryFile, TheLineOfAValueIsNamedReadableOrNot) {
    const std::optional<RegistryDocument> document = parsed(
        "REGEDIT4\r\n; comment\r\n\r\n[HKEY_CURRENT_USER\\A]\r\n\"Bin\"=hex:01,02,\\\r\n  03\r\n"
        "\"VBR\"=dword:00000001\r\n[HKEY_CURRENT_USER\\B]\r\n\"VBR\"=dword:zz\r\n[HKEY_CURRENT_USER\\A]\r\n"
        "\"VBR\"=dword:zz\r\n@=\"x\"\r\n");
    ASSERT_TRUE(document);
    struct Case {
        std::string key, name;
        size_t line;
        std::string text;
        bool readable;
    };
    const std::vector<Case> cases = {
        {"HKEY_CURRENT_USER\\A", "bin", 5, "\"Bin\"=hex:01,02,\\", true},
        {"HKEY_CURRENT_USER\\A", "VBR", 11, "\"VBR\"=dword:zz", false},
        {"HKEY_CURRENT_USER\\B", "VBR", 9, "\"VBR\"=dword:zz", false},
        {"HKEY_CURRENT_USER\\A", "", 12, "@=\"x\"", true},
        {"HKEY_CURRENT_USER\\A", "Quality", 0, "", false},
        {"HKEY_CURRENT_USER\\C", "VBR", 0, "", false},
    };
    for (const Case& c : cases) {
        const RegistryDocument::ValueLine line = document->valueLine(c.key, c.name);
        EXPECT_EQ(line.number, c.line) << c.key << " " << c.name;
        EXPECT_EQ(line.text, c.text) << c.key << " " << c.name;
        EXPECT_EQ(line.readable, c.readable) << c.key << " " << c.name;
    }
}

// Parsing is linear in the size of the file: ten thousand keys are read back one by one.
TEST(RegistryFile, ManyKeysParseAndAreFound) {
    std::string text = "REGEDIT4\n";
    for (int i = 0; i < 10000; ++i) {
        text += "\n[HKEY_CURRENT_USER\\Software\\Other\\Key" + std::to_string(i) +
                "]\n\"Value\"=dword:00000001\n";
    }
    const std::optional<RegistryDocument> document = parsed(text);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->keyCount(), 10000u);
    EXPECT_NE(document->findValue("HKEY_CURRENT_USER\\Software\\Other\\Key9999", "Value"), nullptr);
}

// Two processes each write 40 values into one key at the same time; none may be lost.
TEST(RegistryFile, ConcurrentWritersLoseNothing) {
    TemporaryDirectory directory;
    const std::string file = directory.file("registry.reg");
    setenv("CVN_REGISTRY", file.c_str(), 1);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Shared", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    pid_t children[2];
    for (int writer = 0; writer < 2; ++writer) {
        children[writer] = fork();
        ASSERT_GE(children[writer], 0);
        if (children[writer] == 0) {
            for (uint32_t i = 0; i < 40; ++i) {
                const std::string name = "w" + std::to_string(writer) + "-" + std::to_string(i);
                if (RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&i), 4) !=
                    0) {
                    _exit(1);
                }
            }
            _exit(0);
        }
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int writer = 0; writer < 2; ++writer) {
        for (uint32_t i = 0; i < 40; ++i) {
            const std::string name = "w" + std::to_string(writer) + "-" + std::to_string(i);
            uint32_t value = 0xFFFFFFFF;
            DWORD size = sizeof value;
            ASSERT_EQ(
                RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&value), &size),
                ERROR_SUCCESS)
                << name;
            EXPECT_EQ(value, i);
        }
    }
    RegCloseKey(key);
    EXPECT_NE(RegCloseKey(key), ERROR_SUCCESS) << "a closed handle is invalid";
    unsetenv("CVN_REGISTRY");
}

// A host built with Win32's own definitions passes the predefined keys sign-extended; one built
// against an older copy of this header passed them zero-extended. Both name the same root, and a
// value with other high bits names nothing.
TEST(RegistryKeys, PredefinedKeysAreTheWin32Values) {
    TemporaryDirectory directory;
    setenv("CVN_REGISTRY", directory.file("registry.reg").c_str(), 1);
    const auto win32Value = reinterpret_cast<HKEY>(
        static_cast<uintptr_t>(static_cast<intptr_t>(static_cast<int32_t>(0x80000001u))));
    EXPECT_EQ(win32Value, HKEY_CURRENT_USER);
    const std::vector<std::pair<uintptr_t, LSTATUS>> roots = {
        {reinterpret_cast<uintptr_t>(win32Value), ERROR_SUCCESS},
        {0x80000001u, ERROR_SUCCESS},
        {reinterpret_cast<uintptr_t>(win32Value) ^ (uintptr_t{1} << (sizeof(uintptr_t) * 8 - 2)),
         ERROR_INVALID_HANDLE},
    };
    for (const auto& [root, expected] : roots) {
        HKEY created = nullptr;
        HKEY opened = nullptr;
        EXPECT_EQ(RegCreateKeyExA(reinterpret_cast<HKEY>(root), "Software\\Roots", 0, nullptr, 0,
                                  KEY_ALL_ACCESS, nullptr, &created, nullptr),
                  expected)
            << std::hex << root;
        EXPECT_EQ(RegOpenKeyExA(reinterpret_cast<HKEY>(root), "Software\\Roots", 0, KEY_READ, &opened),
                  expected)
            << std::hex << root;
        RegCloseKey(created);
        RegCloseKey(opened);
    }
    unsetenv("CVN_REGISTRY");
}

// Nothing in a name may be read back as file structure: names with control characters are
// refused, and what is accepted reads back exactly. The first name would otherwise have set the
// VBR value of the plug-in's own key.
TEST(RegistryKeys, NamesThatCouldBreakTheFileAreRefused) {
    TemporaryDirectory directory;
    setenv("CVN_REGISTRY", directory.file("registry.reg").c_str(), 1);
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Safe", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const std::vector<std::string> bad = {
        "x]\n[HKEY_CURRENT_USER\\Software\\Corvane\\VelmoraPlugIn]\n\"VBR\"=dword:00000004\n[x",
        "line\nbreak", "carriage\rreturn", std::string("bell\x07"), "delete\x7f"};
    const uint32_t four = 4;
    for (const std::string& name : bad) {
        HKEY sub = nullptr;
        EXPECT_EQ(RegCreateKeyExA(key, name.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr),
                  ERROR_INVALID_PARAMETER)
            << name;
        EXPECT_EQ(RegOpenKeyExA(key, name.c_str(), 0, KEY_READ, &sub), ERROR_INVALID_PARAMETER) << name;
        EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&four), 4),
                  ERROR_INVALID_PARAMETER)
            << name;
    }
    const std::optional<RegistryDocument> stored =
        parsed(readRegistryFileText(directory.file("registry.reg")));
    ASSERT_TRUE(stored);
    ASSERT_EQ(stored->keyCount(), 1u) << "no key but the one created";
    EXPECT_EQ(stored->findValue("HKEY_CURRENT_USER\\Software\\Safe", bad[0]), nullptr);
    for (const std::string& name : {std::string("Odd \"[name]\" = \\ ok"), std::string("Ümlaut \xff")}) {
        EXPECT_EQ(RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&four), 4),
                  ERROR_SUCCESS);
        uint32_t read = 0;
        DWORD size = sizeof read;
        EXPECT_EQ(
            RegQueryValueExA(key, name.c_str(), nullptr, nullptr, reinterpret_cast<BYTE*>(&read), &size),
            ERROR_SUCCESS)
            << name;
        EXPECT_EQ(read, four);
    }
    RegCloseKey(key);
    unsetenv("CVN_REGISTRY");
}

// A registry file that cannot be read, is not REGEDIT4, or cannot be written: every call fails
// with the Win32 error of the cause, none crashes, and the file keeps every byte it had.
TEST(RegistryKeys, FilesThatCannotBeReadOrParsedAreNeverWritten) {
    TemporaryDirectory directory;
    const std::string garbage = directory.file("garbage.reg");
    const std::string stored = directory.file("stored.reg");
    const std::string garbageText("\x00\xff[[[\n\"x\"=dword:zz\n[]\n\"\\\n@=hex(\n", 32);
    const std::string storedText =
        "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Damaged]\n\"V\"=dword:00000005\n";
    for (const auto& [file, text] : {std::pair{garbage, garbageText}, std::pair{stored, storedText}}) {
        std::FILE* out = std::fopen(file.c_str(), "wb");
        std::fwrite(text.data(), 1, text.size(), out);
        std::fclose(out);
    }
    struct Case {
        const char* what;
        std::string file;
        LSTATUS expected;
        int openFiles; // the limit of open files, 0 for none
    };
    const std::vector<Case> cases = {
        {"not REGEDIT4", garbage, ERROR_BADDB, 0},
        {"a directory", directory.path(), ERROR_ACCESS_DENIED, 0},
        {"too many open files", stored, ERROR_TOO_MANY_OPEN_FILES, 3},
        {"nowhere to write", "/proc/velmora-tests/registry.reg", ERROR_PATH_NOT_FOUND, 0},
    };
    for (const Case& c : cases) {
        // In a child, whose limits and parsed file are its own.
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            setenv("CVN_REGISTRY", c.file.c_str(), 1);
            if (c.openFiles > 0) {
                const rlimit limit{static_cast<rlim_t>(c.openFiles), static_cast<rlim_t>(c.openFiles)};
                setrlimit(RLIMIT_NOFILE, &limit);
            }
            HKEY key = nullptr;
            const LSTATUS create = RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Damaged", 0, nullptr, 0,
                                                   KEY_ALL_ACCESS, nullptr, &key, nullptr);
            const uint32_t value = 7;
            uint32_t read = 0;
            DWORD size = sizeof read;
            const LSTATUS set = RegSetValueExA(HKEY_CURRENT_USER, "V", 0, REG_DWORD,
                                               reinterpret_cast<const BYTE*>(&value), 4);
            HKEY opened = nullptr;
            const LSTATUS open = RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Damaged", 0, KEY_READ, &opened);
            const LSTATUS query = RegQueryValueExA(HKEY_CURRENT_USER, "V", nullptr, nullptr,
                                                   reinterpret_cast<BYTE*>(&read), &size);
            const bool nowhere = c.expected == ERROR_PATH_NOT_FOUND;
            // Where there is no file, reading finds an empty registry.
            const bool asExpected = create == c.expected && set == c.expected &&
                                    open == (nowhere ? ERROR_FILE_NOT_FOUND : c.expected) &&
                                    query == (nowhere ? ERROR_FILE_NOT_FOUND : c.expected);
            if (!asExpected) {
                std::fprintf(stderr, "%s: create %ld, set %ld, open %ld, query %ld\n", c.what, long{create},
                             long{set}, long{open}, long{query});
            }
            _exit(asExpected ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << c.what;
    }
    EXPECT_EQ(readRegistryFileText(garbage), garbageText);
    EXPECT_EQ(readRegistryFileText(stored), storedText);
    EXPECT_FALSE(fileExists(directory.file("garbage.reg.lock")) &&
                 readRegistryFileText(garbage) != garbageText);
}

} // namespace
} // namespace cvn::test
