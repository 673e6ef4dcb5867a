// The seven stored settings, written once: the names of their REG_DWORD values under the host's
// settings key, the values the "Extended Settings" dialog shows and stores, the controls that show
// them, and the words in which cvnhost names them. The plug-in's reading and its dialog, cvnhost's
// options, its checks of the stored values and its playing of the dialog are built from this table.
#pragma once

#include "VelmoraPlugIn.hpp"
#include "VelmoraPlugInResources.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace share {

// The settings in the order the plug-in reads them and the dialog writes them.
enum SettingIndex : size_t {
    kStereoMode,
    kCopyright,
    kCrc,
    kQuality,
    kVbr,
    kOriginal,
    kPrivate,
    kSettingCount
};

// The seven values as stored, a missing or unreadable one 0: what a stream reads, what OK writes.
using StoredSettings = std::array<uint32_t, kSettingCount>;

// A value of each setting or none: what the dialog's controls show (none: no control shows one),
// or what a user or a run asks for (none: as stored).
using SettingChoices = std::array<std::optional<uint32_t>, kSettingCount>;

enum class SettingControl {
    CheckBox,     // checked for 1, clear for 0
    RadioButtons, // one button of each value, from 0
    List,         // the combo box whose item of each value, from 0, is selected
};

// A value as cvnhost's options name it and as cvnhost shows it.
struct SettingWord {
    uint32_t value;
    const char* word;
    const char* shown;
};

struct Setting {
    const char* name; // of the REG_DWORD value
    uint32_t highest; // the largest value the dialog stores
    // The dialog shows, and stores back, every value but 0 as 1 (the flags, StereoMode); for the
    // others it shows no value above `highest`, and stores 0 back.
    bool anyNonzeroIsOne;
    SettingControl control;
    std::array<int, 3> controls;        // the buttons of the values 0, 1, ...; or the box, or the list
    const char* label;                  // cvnhost's name of it: "Stereo mode"
    std::span<const SettingWord> words; // of each value the dialog stores, in cvnhost's order
};

inline constexpr SettingWord kStereoModeWords[] = {
    {CVN_STEREO_MODE_JOINT, "joint", "joint stereo"},
    {CVN_STEREO_MODE_TWO_CHANNEL, "2ch", "2 channel stereo"},
};
inline constexpr SettingWord kOnOffWords[] = {{1, "on", "on"}, {0, "off", "off"}};
inline constexpr SettingWord kQualityWords[] = {
    {CVN_QUALITY_NORMAL, "normal", "normal"},
    {CVN_QUALITY_LOW, "low", "low"},
    {CVN_QUALITY_HIGH, "high", "high"},
};
inline constexpr SettingWord kVbrWords[] = {
    {CVN_VBR_OFF, "off", "off"},
    {cvn::vbrValueOf(0), "0", "quality 0"},
    {cvn::vbrValueOf(1), "1", "quality 1"},
    {cvn::vbrValueOf(2), "2", "quality 2"},
    {cvn::vbrValueOf(3), "3", "quality 3"},
    {cvn::vbrValueOf(4), "4", "quality 4"},
    {cvn::vbrValueOf(5), "5", "quality 5"},
    {cvn::vbrValueOf(6), "6", "quality 6"},
    {cvn::vbrValueOf(7), "7", "quality 7"},
    {cvn::vbrValueOf(8), "8", "quality 8"},
    {cvn::vbrValueOf(9), "9", "quality 9"},
};

inline constexpr Setting kSettings[kSettingCount] = {
    {.name = CVN_STEREO_MODE_VALUE,
     .highest = CVN_STEREO_MODE_TWO_CHANNEL,
     .anyNonzeroIsOne = true,
     .control = SettingControl::RadioButtons,
     .controls = {IDC_JOINT_STEREO, IDC_TWO_CHANNEL_STEREO},
     .label = "Stereo mode",
     .words = kStereoModeWords},
    {.name = CVN_COPYRIGHT_VALUE,
     .highest = 1,
     .anyNonzeroIsOne = true,
     .control = SettingControl::CheckBox,
     .controls = {IDC_COPYRIGHT},
     .label = "Copyright bit",
     .words = kOnOffWords},
    {.name = CVN_CRC_VALUE,
     .highest = 1,
     .anyNonzeroIsOne = true,
     .control = SettingControl::CheckBox,
     .controls = {IDC_CRC},
     .label = "CRC checksums",
     .words = kOnOffWords},
    {.name = CVN_QUALITY_VALUE,
     .highest = CVN_QUALITY_HIGH,
     .anyNonzeroIsOne = false,
     .control = SettingControl::RadioButtons,
     .controls = {IDC_QUALITY_NORMAL, IDC_QUALITY_LOW, IDC_QUALITY_HIGH},
     .label = "Quality",
     .words = kQualityWords},
    {.name = CVN_VBR_VALUE,
     .highest = CVN_VBR_HIGHEST,
     .anyNonzeroIsOne = false,
     .control = SettingControl::List,
     .controls = {IDC_VBR_QUALITY},
     .label = "Variable bitrate",
     .words = kVbrWords},
    {.name = CVN_ORIGINAL_VALUE,
     .highest = 1,
     .anyNonzeroIsOne = true,
     .control = SettingControl::CheckBox,
     .controls = {IDC_ORIGINAL},
     .label = "Original bit",
     .words = kOnOffWords},
    {.name = CVN_PRIVATE_VALUE,
     .highest = 1,
     .anyNonzeroIsOne = true,
     .control = SettingControl::CheckBox,
     .controls = {IDC_PRIVATE},
     .label = "Private bit",
     .words = kOnOffWords},
};

// What the dialog shows of a stored value when it opens: StereoMode 0 joint stereo and anything
// else 2 channel stereo; a flag's box checked for any value but 0; Quality 0 to 2 and VBR 0 to 10
// as themselves, and no button or item for a larger value.
constexpr std::optional<uint32_t> shownValueOf(const Setting& setting, uint32_t stored) {
    if (setting.anyNonzeroIsOne) {
        return stored != 0 ? 1u : 0u;
    }
    return stored <= setting.highest ? std::optional<uint32_t>(stored) : std::nullopt;
}

// The word of a value the dialog stores; null for any other value.
constexpr const SettingWord* wordOf(const Setting& setting, uint32_t value) {
    for (const SettingWord& word : setting.words) {
        if (word.value == value) {
            return &word;
        }
    }
    return nullptr;
}

// The value a word names; none for a word that names none (also the empty one).
constexpr std::optional<uint32_t> valueOfWord(const Setting& setting, std::string_view text) {
    for (const SettingWord& word : setting.words) {
        if (word.word == text) {
            return word.value;
        }
    }
    return std::nullopt;
}

} // namespace share
