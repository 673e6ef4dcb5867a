// The compiled resources against the tables they were made from: both dialogs in both languages,
// read from the .res on Linux, and the version resource, read from the .res on Linux and from the
// DLL itself with GetFileVersionInfoA on Windows.
#include "support/test_paths.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#ifndef _WIN32
#include "platform/src/dialog_template.h"
#include "platform/src/resource_file.h"
#include "support/temporary_directory.h"
#endif

namespace cvn::test {
namespace {

constexpr uint32_t kChild = WS_CHILD | WS_VISIBLE;

#ifndef _WIN32

struct ExpectedControl {
    uint16_t id;
    const char* className;
    uint32_t style;
    int16_t x, y, width, germanWidth, height;
    const char* english;
    const char* german;
};

const ExpectedControl kSettingsControls[] = {
    {1, "BUTTON", WS_TABSTOP | BS_DEFPUSHBUTTON, 7, 186, 50, 50, 14, "OK", "OK"},
    {2, "BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 129, 186, 50, 50, 14, "Cancel", "Abbrechen"},
    {1004, "BUTTON", WS_GROUP | BS_GROUPBOX, 7, 3, 172, 172, 30, "&Stereo Mode", "&Stereo Modus"},
    {1005, "BUTTON", WS_TABSTOP | BS_AUTORADIOBUTTON, 13, 15, 53, 53, 10, "&Joint Stereo", "&Joint Stereo"},
    {1006, "BUTTON", BS_AUTORADIOBUTTON, 105, 15, 67, 63, 10, "2 C&hanal Stereo", "2 &Kanal Stereo"},
    {65535, "BUTTON", WS_GROUP | BS_GROUPBOX, 7, 38, 172, 172, 69, "&Parameter", "&Parameter"},
    {1007, "BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 13, 51, 103, 121, 10, "Set &Copyright Bit in MP3 file",
     "&Copyright Bit in MP3 Datei setzen"},
    {1008, "BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 13, 64, 123, 147, 10, "Write C&RC checksums to MP3 file",
     "C&RC Pr\xFC"
     "fsummen in MP3 Datei schreiben"},
    {1009, "BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 13, 77, 97, 115, 10, "Set &Original Bit in MP3 file",
     "&Original Bit in MP3 Datei setzen"},
    {1010, "BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 13, 90, 95, 113, 10, "Set Pr&ivate Bit in MP3 file",
     "Pr&ivate Bit in MP3 Datei setzen"},
    {65535, "BUTTON", BS_GROUPBOX, 7, 112, 172, 172, 30, "&Quality", "&Qualit\xE4t"},
    {1011, "BUTTON", WS_TABSTOP | BS_AUTORADIOBUTTON, 13, 124, 38, 38, 10, "&Normal", "&Normal"},
    {1012, "BUTTON", BS_AUTORADIOBUTTON, 73, 124, 29, 38, 10, "&Low", "Niedri&g"},
    {1013, "BUTTON", BS_AUTORADIOBUTTON, 133, 124, 31, 33, 10, "&High", "&Hoch"},
    {65535, "BUTTON", BS_GROUPBOX, 7, 148, 172, 172, 30, "&Variable Bitrate", "&Variable Bitrate"},
    {65535, "STATIC", WS_GROUP | SS_LEFT, 13, 161, 26, 29, 8, "Q&uality :", "Q&ualit\xE4t :"},
    {1014, "COMBOBOX", WS_VSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST, 51, 159, 82, 82, 85, "", ""},
};

const ExpectedControl kAboutControls[] = {
    {1, "BUTTON", WS_TABSTOP | BS_DEFPUSHBUTTON, 86, 106, 50, 50, 14, "OK", "OK"},
    {65535, "STATIC", WS_GROUP | SS_LEFT, 7, 7, 60, 60, 8, "PlugIn Version: 1.4", "PlugIn Version: 1.4"},
    {65535, "STATIC", WS_GROUP | SS_LEFT, 7, 19, 83, 88, 8, "Build: December 27, 2000",
     "Erstellt: 27. Dezember 2000"},
    {65535, "STATIC", WS_GROUP | SS_LEFT, 7, 31, 136, 156, 8, "Developed by the Velmora team",
     "Entwickelt vom Velmora-Team"},
    {1001, "STATIC", WS_GROUP | SS_LEFT, 7, 67, 100, 100, 8, "Encoder Version : %d.%d",
     "Encoder Version : %d.%d"},
    {1000, "STATIC", WS_GROUP | SS_LEFT, 7, 79, 100, 100, 8, "DLL Version : %d.%d", "DLL Version : %d.%d"},
    {1002, "STATIC", WS_GROUP | SS_LEFT, 109, 79, 107, 107, 8, "DLL Date : %d.%d.%d", "DLL Datum : %d.%d.%d"},
    {1003, "STATIC", WS_GROUP | SS_LEFT, 7, 91, 209, 209, 8, "Lame Project Homepage: %s",
     "Lame Project Homepage: %s"},
};

class CompiledResources : public ::testing::Test {
  protected:
    void SetUp() override {
        bytes = readFileBytes(CVN_RESOURCE_FILE);
        ASSERT_FALSE(bytes.empty()) << CVN_RESOURCE_FILE;
        entries = parseResourceFile(bytes.data(), bytes.size());
    }
    std::optional<ResourceEntry> find(uint16_t type, uint16_t name, uint16_t language) const {
        for (const ResourceEntry& entry : entries) {
            if (entry.type == type && entry.name == name && entry.language == language) {
                return entry;
            }
        }
        return std::nullopt;
    }
    void expectDialog(uint16_t name, uint16_t language, const char* title, int16_t width, int16_t height,
                      const ExpectedControl* controls, size_t count) {
        const auto entry = find(5, name, language);
        ASSERT_TRUE(entry) << "dialog " << name << " in language " << language;
        ASSERT_NE(entry->data[2] | entry->data[3] << 8, 0xFFFF) << "a classic template, not an extended one";
        const auto dialog = parseDialogTemplate(entry->data, entry->size);
        ASSERT_TRUE(dialog);
        EXPECT_EQ(dialog->style, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT);
        EXPECT_EQ(dialog->extendedStyle, 0u);
        EXPECT_EQ(dialog->x, 0);
        EXPECT_EQ(dialog->y, 0);
        EXPECT_EQ(dialog->width, width);
        EXPECT_EQ(dialog->height, height);
        EXPECT_EQ(dialog->title, title);
        EXPECT_EQ(dialog->pointSize, 8);
        EXPECT_EQ(dialog->fontName, "MS Sans Serif");
        ASSERT_EQ(dialog->items.size(), count);
        const bool german = language == 1031;
        for (size_t i = 0; i < count; ++i) {
            const DialogItemTemplate& item = dialog->items[i];
            const ExpectedControl& expected = controls[i];
            EXPECT_EQ(item.id, expected.id) << "control " << i + 1;
            EXPECT_EQ(item.className, expected.className) << "control " << i + 1;
            EXPECT_EQ(item.style, kChild | expected.style) << "control " << i + 1;
            EXPECT_EQ(item.extendedStyle, 0u) << "control " << i + 1;
            EXPECT_EQ(item.x, expected.x) << "control " << i + 1;
            EXPECT_EQ(item.y, expected.y) << "control " << i + 1;
            EXPECT_EQ(item.width, german ? expected.germanWidth : expected.width) << "control " << i + 1;
            EXPECT_EQ(item.height, expected.height) << "control " << i + 1;
            EXPECT_EQ(item.text, german ? expected.german : expected.english) << "control " << i + 1;
        }
    }
    std::vector<uint8_t> bytes;
    std::vector<ResourceEntry> entries;
};

TEST_F(CompiledResources, SettingsDialogInBothLanguages) {
    expectDialog(102, 1033, "Extended Settings", 186, 207, kSettingsControls, std::size(kSettingsControls));
    expectDialog(102, 1031, "Erweiterte Einstellungen", 186, 207, kSettingsControls,
                 std::size(kSettingsControls));
}

TEST_F(CompiledResources, AboutDialogInBothLanguages) {
    expectDialog(101, 1033, "Info about Velmora MP3 PlugIn for Corvane", 223, 127, kAboutControls,
                 std::size(kAboutControls));
    expectDialog(101, 1031,
                 "Info \xFC"
                 "ber Velmora MP3 PlugIn f\xFC"
                 "r Corvane",
                 223, 127, kAboutControls, std::size(kAboutControls));
}

#endif

// One node of a version resource: length, value length, type, key, value, children.
struct VersionNode {
    std::string key;
    std::vector<uint8_t> value;
    uint16_t valueLength = 0;
    std::vector<VersionNode> children;
};

std::string narrow(const uint8_t* text, size_t units) {
    std::string out;
    for (size_t i = 0; i < units && (text[2 * i] | text[2 * i + 1]); ++i) {
        out += static_cast<char>(text[2 * i]);
    }
    return out;
}

VersionNode parseVersionNode(const uint8_t* data, size_t size) {
    VersionNode node;
    const size_t length = std::min<size_t>(data[0] | data[1] << 8, size);
    node.valueLength = static_cast<uint16_t>(data[2] | data[3] << 8);
    const bool text = (data[4] | data[5] << 8) == 1;
    size_t at = 6;
    while (at + 1 < length && (data[at] | data[at + 1])) {
        node.key += static_cast<char>(data[at]);
        at += 2;
    }
    at = (at + 2 + 3) & ~static_cast<size_t>(3);
    const size_t valueBytes = text ? 2u * node.valueLength : node.valueLength;
    node.value.assign(data + std::min(at, length), data + std::min(at + valueBytes, length));
    at = (at + valueBytes + 3) & ~static_cast<size_t>(3);
    while (at + 6 <= length) {
        const size_t childLength = data[at] | data[at + 1] << 8;
        if (childLength == 0) {
            break;
        }
        node.children.push_back(parseVersionNode(data + at, length - at));
        at = (at + childLength + 3) & ~static_cast<size_t>(3);
    }
    return node;
}

void expectVersionResource(const uint8_t* data, size_t size) {
    const VersionNode root = parseVersionNode(data, size);
    EXPECT_EQ(root.key, "VS_VERSION_INFO");
    ASSERT_EQ(root.value.size(), 52u);
    auto word = [&](size_t index) {
        const uint8_t* p = root.value.data() + 4 * index;
        return static_cast<uint32_t>(p[0] | p[1] << 8 | p[2] << 16) | static_cast<uint32_t>(p[3]) << 24;
    };
    EXPECT_EQ(word(0), 0xFEEF04BDu);
    EXPECT_EQ(word(2), 0x00010004u) << "file version 1.4";
    EXPECT_EQ(word(3), 0x00000008u) << "file version .0.8";
    EXPECT_EQ(word(4), 0x00010004u);
    EXPECT_EQ(word(5), 0x00000008u);
    EXPECT_EQ(word(6), 0x3Fu) << "flags mask";
    EXPECT_EQ(word(7), 0u) << "flags";
    EXPECT_EQ(word(8), 0x00040004u) << "VOS_NT_WINDOWS32";
    EXPECT_EQ(word(9), 2u) << "VFT_DLL";
    EXPECT_EQ(word(10), 0u);
    EXPECT_EQ(word(11), 0u);
    EXPECT_EQ(word(12), 0u);
    const VersionNode* strings = nullptr;
    const VersionNode* translation = nullptr;
    for (const VersionNode& child : root.children) {
        if (child.key == "StringFileInfo" && child.children.size() == 1) {
            strings = &child.children[0];
        }
        if (child.key == "VarFileInfo" && !child.children.empty()) {
            translation = &child.children[0];
        }
    }
    ASSERT_TRUE(strings);
    EXPECT_EQ(strings->key, "000004b0");
    const std::vector<std::pair<std::string, std::string>> expected = {
        {"Comments", ""},
        {"CompanyName", ""},
        {"FileDescription", "Velmora DLL PlugIn for Corvane"},
        {"FileVersion", "1, 4, 0, 8"},
        {"InternalName", "VelmoraPlugIn"},
        {"LegalCopyright", ""},
        {"LegalTrademarks", ""},
        {"OriginalFilename", "VelmoraPlugIn.dll"},
        {"PrivateBuild", ""},
        {"ProductName", "Velmora DLL PlugIn for Corvane"},
        {"ProductVersion", "1.4"},
        {"SpecialBuild", ""},
    };
    ASSERT_EQ(strings->children.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(strings->children[i].key, expected[i].first);
        EXPECT_EQ(narrow(strings->children[i].value.data(), strings->children[i].value.size() / 2),
                  expected[i].second)
            << expected[i].first;
    }
    ASSERT_TRUE(translation);
    EXPECT_EQ(translation->key, "Translation");
    EXPECT_EQ(translation->value, (std::vector<uint8_t>{0x00, 0x00, 0xB0, 0x04}));
}

#ifdef _WIN32
TEST(VersionResource, OfTheDllItself) {
    const std::string path = pluginPath();
    DWORD handle = 0;
    const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &handle);
    ASSERT_GT(size, 0u);
    std::vector<uint8_t> data(size);
    ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, data.data()));
    expectVersionResource(data.data(), data.size());
    void* value = nullptr;
    UINT length = 0;
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\StringFileInfo\\000004b0\\OriginalFilename", &value, &length));
    EXPECT_STREQ(static_cast<const char*>(value), "VelmoraPlugIn.dll");
    ASSERT_TRUE(VerQueryValueA(data.data(), "\\", &value, &length));
    const auto* fixed = static_cast<const VS_FIXEDFILEINFO*>(value);
    EXPECT_EQ(fixed->dwFileVersionMS, 0x00010004u);
    EXPECT_EQ(fixed->dwFileVersionLS, 0x00000008u);
}
#else
TEST_F(CompiledResources, VersionResourceWithoutLanguage) {
    const auto entry = find(16, 1, 0);
    ASSERT_TRUE(entry);
    expectVersionResource(entry->data, entry->size);
}
#endif

} // namespace
} // namespace cvn::test
