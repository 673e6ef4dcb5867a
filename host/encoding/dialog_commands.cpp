#include "encoding/dialog_commands.h"

#include "VelmoraPlugInResources.h"
#include "share/win32/settings_controls.h"

#include <cvnplatform.h>

namespace cvnhost {

namespace {

// The driver is a plain function: what it reads and does is passed through these, set by the
// command on the main thread for the one dialog it shows.
std::vector<std::string>* g_aboutLines = nullptr;
const DialogSettings* g_changes = nullptr;
DialogSettings* g_shownBefore = nullptr;
DialogSettings* g_shownAfter = nullptr;

std::string controlText(HWND dialog, int id) {
    char text[1024] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

bool checked(HWND dialog, int id) {
    return IsDlgButtonChecked(dialog, id) == BST_CHECKED;
}

void readAbout(HWND dialog) {
    for (int id : {IDC_ENGINE_VERSION, IDC_DLL_VERSION, IDC_DLL_DATE, IDC_HOME_PAGE}) {
        g_aboutLines->push_back(controlText(dialog, id));
    }
    SendMessageA(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
}

DialogSettings readSettings(HWND dialog) {
    const share::SettingsControls controls = share::readSettingsControls(dialog);
    DialogSettings shown;
    shown.jointStereo = controls.jointStereo;
    shown.copyright = controls.copyright;
    shown.crc = controls.crc;
    shown.original = controls.original;
    shown.privateBit = controls.privateBit;
    if (controls.qualityNormal || controls.qualityLow || controls.qualityHigh) {
        shown.quality = static_cast<int>(share::qualityOfButtons(controls));
    }
    if (controls.vbrSelection >= 0) {
        shown.vbr = static_cast<int>(controls.vbrSelection);
    }
    return shown;
}

// Clicks a check box when its state differs from the wanted one, as a user would.
void setCheck(HWND dialog, int id, const std::optional<bool>& wanted) {
    if (wanted && checked(dialog, id) != *wanted) {
        SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
    }
}

void driveSettings(HWND dialog) {
    *g_shownBefore = readSettings(dialog);
    const DialogSettings& changes = *g_changes;
    if (changes.jointStereo) {
        SendMessageA(GetDlgItem(dialog, *changes.jointStereo ? IDC_JOINT_STEREO : IDC_TWO_CHANNEL_STEREO),
                     BM_CLICK, 0, 0);
    }
    setCheck(dialog, IDC_COPYRIGHT, changes.copyright);
    setCheck(dialog, IDC_CRC, changes.crc);
    setCheck(dialog, IDC_ORIGINAL, changes.original);
    setCheck(dialog, IDC_PRIVATE, changes.privateBit);
    if (changes.quality) {
        SendMessageA(GetDlgItem(dialog, IDC_QUALITY_NORMAL + *changes.quality), BM_CLICK, 0, 0);
    }
    if (changes.vbr) {
        SendDlgItemMessageA(dialog, IDC_VBR_QUALITY, CB_SETCURSEL, static_cast<WPARAM>(*changes.vbr), 0);
    }
    *g_shownAfter = readSettings(dialog);
    SendMessageA(GetDlgItem(dialog, hasChanges(changes) ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
}

std::string onOff(const std::optional<bool>& value) {
    return !value ? "(none)" : *value ? "on" : "off";
}

} // namespace

int qualityOfWord(const std::string& word) {
    return static_cast<int>(word == "normal" ? CVN_QUALITY_NORMAL
                            : word == "low"  ? CVN_QUALITY_LOW
                                             : CVN_QUALITY_HIGH);
}

DialogSettings dialogSettingsFrom(const SettingsWords& words) {
    const auto onOff = [](const std::string& word) {
        return word.empty() ? std::nullopt : std::optional<bool>(word == "on");
    };
    DialogSettings changes;
    if (!words.stereoMode.empty()) {
        changes.jointStereo = words.stereoMode == "joint";
    }
    changes.crc = onOff(words.crc);
    changes.copyright = onOff(words.copyright);
    changes.original = onOff(words.original);
    changes.privateBit = onOff(words.privateBit);
    if (!words.quality.empty()) {
        changes.quality = qualityOfWord(words.quality);
    }
    if (!words.vbr.empty()) {
        changes.vbr =
            static_cast<int>(words.vbr == "off" ? CVN_VBR_OFF : cvn::vbrValueOf(std::stoi(words.vbr)));
    }
    return changes;
}

bool hasChanges(const DialogSettings& changes) {
    return changes.jointStereo || changes.copyright || changes.crc || changes.original ||
           changes.privateBit || changes.quality || changes.vbr;
}

std::vector<std::string> aboutLines(const PlugInHost& host) {
    std::vector<std::string> lines;
    g_aboutLines = &lines;
    cvnSetDialogDriver(readAbout);
    const int32_t result = host.displayAbout();
    cvnSetDialogDriver(nullptr);
    g_aboutLines = nullptr;
    if (result != IDOK) {
        lines.clear();
    }
    return lines;
}

std::optional<DialogSettings> runSettingsDialog(const PlugInHost& host, HKEY settingsKey,
                                                const DialogSettings& changes, DialogSettings& shownBefore) {
    DialogSettings shownAfter;
    g_changes = &changes;
    g_shownBefore = &shownBefore;
    g_shownAfter = &shownAfter;
    cvnSetDialogDriver(driveSettings);
    const int32_t result = host.displaySettings(settingsKey);
    cvnSetDialogDriver(nullptr);
    g_changes = nullptr;
    g_shownBefore = g_shownAfter = nullptr;
    // Without changes the dialog is left with Cancel, which gives 0 too: it was shown if it was read.
    if (hasChanges(changes) ? result != CVN_CALL_DONE : !shownAfter.copyright.has_value()) {
        return std::nullopt;
    }
    return shownAfter;
}

std::vector<std::string> describeSettings(const DialogSettings& settings) {
    static const char* const qualities[] = {"normal", "low", "high"};
    std::string vbr = "(none)";
    if (settings.vbr) {
        const auto value = static_cast<uint32_t>(*settings.vbr);
        vbr = value == CVN_VBR_OFF ? "off" : "quality " + std::to_string(cvn::vbrQualityOf(value));
    }
    return {
        std::string("Stereo mode: ") + (!settings.jointStereo   ? "(none)"
                                        : *settings.jointStereo ? "joint stereo"
                                                                : "2 channel stereo"),
        "Copyright bit: " + onOff(settings.copyright),
        "CRC checksums: " + onOff(settings.crc),
        "Original bit: " + onOff(settings.original),
        "Private bit: " + onOff(settings.privateBit),
        std::string("Quality: ") + (settings.quality ? qualities[*settings.quality] : "(none)"),
        "Variable bitrate: " + vbr,
    };
}

} // namespace cvnhost
