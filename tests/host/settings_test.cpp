// The encoder settings: a run's own, the stored ones through the plug-in's dialog, and the
// registry file that holds them.
#include "support/child_process.h"
#include "support/mp3_frames.h"
#include "support/temporary_directory.h"
#include "cvnhost_fixture.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace cvn::test {
namespace {

// A run's own quality: its frames equal those of the encoder project's program at the same
// options, whatever is stored (here VBR 3), and the stored settings stay as they were. Each file
// starts with its own header frame, a VBR header or an Info frame, as the program's does.
TEST_F(CvnhostTest, QualityChosenPerRunMatchesTheEncodersProgramAndStoresNothing) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 3.0}));
    const std::string stored = "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Corvane\\VelmoraPlugIn]\n"
                               "\"VBR\"=dword:00000004\n";
    writeText(file("registry.reg"), stored);
    struct Case {
        std::vector<std::string> ours, lames;
        std::string header;
        std::string encoded; // in cvnhost's line for the track
    };
    const std::vector<Case> cases = {
        {{"-V", "2"}, {"-V", "2", "-o"}, "Xing", "VBR quality 2, stereo"},
        // From -V 7 on the program resamples a 44100 Hz input to 32000 Hz or less; the plug-in
        // always gives 44100 Hz, so the frames match up to -V 6.
        {{"-V", "6", "--quality", "high"}, {"-V", "6", "-h", "-o"}, "Xing", "VBR quality 6, stereo"},
        {{"-b", "192"}, {"-b", "192", "-o"}, "Info", "192 kbit/s, stereo"},
        {{"-b", "96", "--stereo-mode", "2ch"}, {"-b", "96", "-m", "s", "-o"}, "Info", "96 kbit/s, stereo"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"encode", "--overwrite", "--no-id3v2", file("in.wav"),
                                              file("ours.mp3")};
        arguments.insert(arguments.end(), c.ours.begin(), c.ours.end());
        const ChildResult ours = cvnhost(arguments);
        ASSERT_EQ(ours.exitStatus, 0) << ours.errors;
        EXPECT_NE(ours.errors.find("(3.0 s, " + c.encoded + ", "), std::string::npos) << ours.errors;
        std::vector<std::string> lameArguments = {"--quiet"};
        lameArguments.insert(lameArguments.end(), c.lames.begin(), c.lames.end());
        lameArguments.insert(lameArguments.end(), {file("in.wav"), file("lame.mp3")});
        ASSERT_EQ(runProgram("/usr/bin/lame", lameArguments).exitStatus, 0);
        const std::vector<uint8_t> ourBytes = readFileBytes(file("ours.mp3"));
        const std::vector<uint8_t> lameBytes = readFileBytes(file("lame.mp3"));
        const std::vector<Mp3Frame> ourFrames = readMp3Frames(ourBytes);
        const std::vector<Mp3Frame> lameFrames = readMp3Frames(lameBytes);
        ASSERT_EQ(ourFrames.size(), lameFrames.size()) << ::testing::PrintToString(c.ours);
        const std::optional<VbrHeader> header = readVbrHeader(ourBytes, ourFrames[0]);
        EXPECT_EQ(header ? header->tag : "none", c.header) << ::testing::PrintToString(c.ours);
        for (size_t i = 1; i < ourFrames.size(); ++i) {
            ASSERT_TRUE(std::equal(
                ourBytes.begin() + static_cast<std::ptrdiff_t>(ourFrames[i].offset),
                ourBytes.begin() + static_cast<std::ptrdiff_t>(ourFrames[i].offset + ourFrames[i].length),
                lameBytes.begin() + static_cast<std::ptrdiff_t>(lameFrames[i].offset),
                lameBytes.begin() + static_cast<std::ptrdiff_t>(lameFrames[i].offset + lameFrames[i].length)))
                << ::testing::PrintToString(c.ours) << " frame " << i;
        }
        EXPECT_EQ(readText(file("registry.reg")), stored) << "the stored settings stay";
    }
}

// Each setting goes through the plug-in's own dialog and comes back as the dialog shows it; the
// next encode carries it in every frame header.
TEST_F(CvnhostTest, SettingsRoundTripThroughTheDialogAndReachTheFrames) {
    struct Case {
        std::vector<std::string> options;
        std::string shown;
        bool crc, copyright, original, privateBit;
        int channelMode;
    };
    const std::vector<Case> cases = {
        {{"--stereo-mode", "2ch", "--crc", "on", "--copyright", "on", "--original", "on", "--private", "on",
          "--quality", "high", "--vbr", "3"},
         "Stereo mode: 2 channel stereo\n  Copyright bit: on\n  CRC checksums: on\n  Original bit: on\n"
         "  Private bit: on\n  Quality: high\n  Variable bitrate: quality 3\n",
         true,
         true,
         true,
         true,
         0},
        {{"--stereo-mode", "joint", "--crc", "off", "--copyright", "off", "--original", "off", "--private",
          "off", "--quality", "low", "--vbr", "off"},
         "Stereo mode: joint stereo\n  Copyright bit: off\n  CRC checksums: off\n  Original bit: off\n"
         "  Private bit: off\n  Quality: low\n  Variable bitrate: off\n",
         false,
         false,
         false,
         false,
         1},
    };
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 1.0}));
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"settings"};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        ASSERT_EQ(cvnhost(arguments).exitStatus, 0);
        const ChildResult shown = cvnhost({"settings"});
        EXPECT_NE(shown.output.find(c.shown), std::string::npos) << shown.output;

        ASSERT_EQ(
            cvnhost({"encode", "--overwrite", "--no-id3v2", file("in.wav"), file("out.mp3")}).exitStatus, 0);
        const std::vector<Mp3Frame> frames = readMp3Frames(readFileBytes(file("out.mp3")));
        ASSERT_GT(frames.size(), 30u);
        for (const Mp3Frame& frame : frames) {
            EXPECT_EQ(frame.crc, c.crc);
            EXPECT_EQ(frame.copyright, c.copyright);
            EXPECT_EQ(frame.original, c.original);
            EXPECT_EQ(frame.privateBit, c.privateBit);
            EXPECT_EQ(frame.channelMode, c.channelMode);
        }
    }
}

// The registry file as users keep it: a change through the settings dialog rewrites only its own
// line; a file that cannot be read or parsed is named and never written; an encode reads only.
TEST_F(CvnhostTest, TheRegistryFileKeepsWhatItHadAndItsProblemsAreNamed) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.5}));
    const std::string key = "[HKEY_CURRENT_USER\\Software\\Corvane\\VelmoraPlugIn]\n";
    const std::string other =
        "\n; another program's\n[HKEY_CURRENT_USER\\Software\\Other]\n\"Name\"=\"text\"\n"
        "\"Blob\"=hex:01,02,\\\n  03\n";
    std::string padding; // enough of another key's values that a file size limit stops a rewrite
    for (int i = 0; i < 200; ++i) {
        padding += "\"Value" + std::to_string(i) + "\"=\"" + std::string(40, 'x') + "\"\n";
    }
    struct Case {
        const char* what;
        std::string registry;             // the file's text; empty: no file
        std::string registryPath;         // empty: the test's own
        std::vector<std::string> command; // "encode" or "settings ..."
        size_t fileLimit;                 // 0: none
        int exitStatus;
        std::string message;       // on stderr
        std::string registryAfter; // what the file holds afterwards
    };
    // The dialog writes all seven values on OK; those it adds follow the key's last value.
    const std::string dialogValues = "\"StereoMode\"=dword:00000000\n\"Copyright\"=dword:00000000\n"
                                     "\"CRC\"=dword:00000000\n\"Quality\"=dword:00000000\n"
                                     "\"Original\"=dword:00000000\n\"Private\"=dword:00000000\n";
    const std::string registry = "REGEDIT4\n\n" + key + "\"VBR\"=dword:00000000\n@=\"kept\"\n" + other;
    const std::vector<Case> cases = {
        {"a change through the dialog",
         registry,
         "",
         {"settings", "--vbr", "3"},
         0,
         0,
         "",
         "REGEDIT4\n\n" + key + "\"VBR\"=dword:00000004\n@=\"kept\"\n" + dialogValues + other},
        {"not REGEDIT4, settings",
         "garbage\n",
         "",
         {"settings", "--vbr", "3"},
         0,
         1,
         "not a REGEDIT4 file",
         "garbage\n"},
        {"not REGEDIT4, encode", "garbage\n", "", {"encode"}, 0, 1, "not a REGEDIT4 file", "garbage\n"},
        {"a stored Quality of 7",
         "REGEDIT4\n" + key + "\"Quality\"=dword:00000007\n",
         "",
         {"encode"},
         0,
         1,
         "the setting Quality is 7",
         "REGEDIT4\n" + key + "\"Quality\"=dword:00000007\n"},
        // The plug-in would pass it on, where it reaches the library as a VBR quality.
        {"a stored Quality of 16",
         "REGEDIT4\n" + key + "\"Quality\"=dword:00000010\n",
         "",
         {"encode"},
         0,
         1,
         "the setting Quality is 16",
         "REGEDIT4\n" + key + "\"Quality\"=dword:00000010\n"},
        {"a stored VBR of 11",
         "REGEDIT4\n" + key + "\"VBR\"=dword:0000000b\n",
         "",
         {"encode"},
         0,
         1,
         "the setting VBR is 11",
         "REGEDIT4\n" + key + "\"VBR\"=dword:0000000b\n"},
        {"a settings write that fails",
         "REGEDIT4\n" + key + padding,
         "",
         {"settings", "--crc", "on"},
         4096,
         1,
         "could not be stored in the registry file",
         "REGEDIT4\n" + key + padding},
        {"no place for a registry, encode", "", "/proc/velmora/registry.reg", {"encode"}, 0, 0, "", ""},
        {"no place for a registry, settings",
         "",
         "/proc/velmora/registry.reg",
         {"settings", "--crc", "on"},
         0,
         1,
         "/proc/velmora/registry.reg",
         ""},
    };
    for (const Case& c : cases) {
        const std::string path = c.registryPath.empty() ? file("registry.reg") : c.registryPath;
        std::filesystem::remove(file("registry.reg"));
        if (!c.registry.empty()) {
            writeText(path, c.registry);
        }
        setenv("CVN_REGISTRY", path.c_str(), 1);
        std::vector<std::string> arguments = c.command;
        if (arguments[0] == "encode") {
            arguments.insert(arguments.end(), {"--overwrite", file("in.wav"), file("out.mp3")});
        }
        const ChildResult result =
            c.fileLimit == 0 ? cvnhost(arguments) : cvnhostWithFileLimit(c.fileLimit, arguments);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << c.what << ": " << result.errors;
        EXPECT_NE(result.errors.find(c.message), std::string::npos) << c.what << ": " << result.errors;
        if (!c.message.empty()) {
            EXPECT_NE(result.errors.find(path), std::string::npos) << c.what << ": " << result.errors;
        }
        EXPECT_EQ(fileExists(path) ? readText(path) : "", c.registryAfter) << c.what;
    }
}

} // namespace
} // namespace cvn::test
