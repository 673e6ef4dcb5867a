// The Linux registry: its text file, and changes from several processes at once.
#include "platform/src/registry_file.h"
#include "support/temporary_directory.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace cvn::test {
namespace {

std::string readRegistryFileText(const std::string& path) {
    const std::vector<uint8_t> bytes = readFileBytes(path);
    return std::string(bytes.begin(), bytes.end());
}

TEST(RegistryFile, TextFormRoundTrips) {
    RegistryStore store;
    RegistryKey& key = store.createKey("HKEY_CURRENT_USER\\Software\\Corvane");
    key.values.push_back({"StereoMode", REG_DWORD, {1, 0, 0, 0}});
    key.values.push_back({"Odd \"name\" \\", REG_BINARY, {0xde, 0xad}});
    key.values.push_back({"Short", REG_DWORD, {2}});
    key.values.push_back({"", REG_SZ, {'h', 'i', 0}});
    store.createKey("HKEY_CURRENT_USER\\Software\\Empty");
    const std::string text = formatRegistryText(store);
    EXPECT_EQ(text, "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Corvane]\n"
                    "\"StereoMode\"=dword:00000001\n"
                    "\"Odd \\\"name\\\" \\\\\"=hex:de,ad\n"
                    "\"Short\"=hex(4):02\n"
                    "@=hex(1):68,69,00\n"
                    "\n[HKEY_CURRENT_USER\\Software\\Empty]\n");
    const RegistryStore parsed = parseRegistryText(text);
    ASSERT_EQ(parsed.keys.size(), 2u);
    ASSERT_EQ(parsed.keys[0].values.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(parsed.keys[0].values[i].name, key.values[i].name);
        EXPECT_EQ(parsed.keys[0].values[i].type, key.values[i].type);
        EXPECT_EQ(parsed.keys[0].values[i].data, key.values[i].data);
    }
}

TEST(RegistryFile, DamagedLinesLoseOnlyThemselves) {
    const RegistryStore store = parseRegistryText("REGEDIT4\r\n[A]\r\n\"x\"=dword:123\r\n\"y\"=hex:0g\r\n"
                                                  "garbage\r\n\"z\"=dword:0000000a\r\n\"w\"=hex(zz):00\r\n");
    ASSERT_EQ(store.keys.size(), 1u);
    ASSERT_EQ(store.keys[0].values.size(), 1u);
    EXPECT_EQ(store.keys[0].values[0].name, "z");
    EXPECT_EQ(store.keys[0].values[0].data, (std::vector<uint8_t>{10, 0, 0, 0}));
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
    const RegistryStore stored = parseRegistryText(readRegistryFileText(directory.file("registry.reg")));
    ASSERT_EQ(stored.keys.size(), 1u) << "no key but the one created";
    EXPECT_TRUE(stored.keys[0].values.empty());
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

// A registry file that cannot be read, cannot be written or holds garbage: every call answers
// with a result, none crashes, and a file that can be written is written whole again.
TEST(RegistryKeys, DamagedOrUnreachableFilesGiveErrorsNotCrashes) {
    TemporaryDirectory directory;
    {
        std::FILE* garbage = std::fopen(directory.file("garbage.reg").c_str(), "wb");
        const char bytes[] = "\x00\xff[[[\n\"x\"=dword:zz\n[]\n\"\\\n@=hex(\n";
        std::fwrite(bytes, 1, sizeof bytes, garbage);
        std::fclose(garbage);
    }
    struct Case {
        std::string file;
        LSTATUS create;
    };
    const std::vector<Case> cases = {
        {directory.file("garbage.reg"), ERROR_SUCCESS},
        {directory.path(), ERROR_ACCESS_DENIED},                   // a directory, not a file
        {"/proc/velmora-tests/registry.reg", ERROR_ACCESS_DENIED}, // nowhere to write
    };
    for (const Case& c : cases) {
        setenv("CVN_REGISTRY", c.file.c_str(), 1);
        HKEY key = nullptr;
        EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Damaged", 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &key, nullptr),
                  c.create)
            << c.file;
        const uint32_t value = 7;
        uint32_t read = 0;
        DWORD size = sizeof read;
        const LSTATUS set = RegSetValueExA(key != nullptr ? key : HKEY_CURRENT_USER, "V", 0, REG_DWORD,
                                           reinterpret_cast<const BYTE*>(&value), 4);
        const LSTATUS query = RegQueryValueExA(key != nullptr ? key : HKEY_CURRENT_USER, "V", nullptr,
                                               nullptr, reinterpret_cast<BYTE*>(&read), &size);
        if (c.create == ERROR_SUCCESS) {
            EXPECT_EQ(set, ERROR_SUCCESS) << c.file;
            EXPECT_EQ(query, ERROR_SUCCESS) << c.file;
            EXPECT_EQ(read, value);
        } else {
            EXPECT_NE(set, ERROR_SUCCESS) << c.file;
            EXPECT_NE(query, ERROR_SUCCESS) << c.file;
        }
        RegCloseKey(key);
    }
    unsetenv("CVN_REGISTRY");
}

} // namespace
} // namespace cvn::test
