// FFmpeg's messages go through cvnhost's own: its errors name their file, the rest shows only with
// --verbose.
#include "cvnhost_fixture.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace cvn::test {
namespace {

size_t countOf(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++count;
    }
    return count;
}

TEST_F(CvnhostTest, FfmpegErrorsNameTheirFileAndTheRestNeedsVerbose) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 1.0}));
    const auto ffmpeg = [](const std::vector<std::string>& arguments) {
        std::vector<std::string> all = {"-nostdin", "-loglevel", "error", "-y"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return runProgram("/usr/bin/ffmpeg", all).exitStatus;
    };
    ASSERT_EQ(ffmpeg({"-f", "lavfi", "-i", "color=c=red:s=16x16", "-frames:v", "1", file("cover.png")}), 0);
    // The cover's stream makes FFmpeg's MP4 reader warn ("timescale not set") at each opening.
    ASSERT_EQ(ffmpeg({"-i", file("in.wav"), "-i", file("cover.png"), "-map", "0", "-map", "1", "-c:a", "aac",
                      "-c:v", "png", "-disposition:v", "attached_pic", file("cover.m4a")}),
              0);
    // Its sample table (moov) is at its end, which is cut off.
    std::filesystem::copy_file(file("cover.m4a"), file("cut.m4a"));
    std::filesystem::resize_file(file("cut.m4a"), 4096);
    const std::string mp4Reader = "[mov,mp4,m4a,3gp,3g2,mj2] ";
    struct Case {
        std::vector<std::string> options;
        std::string input;
        int exitStatus;
        std::string line; // a line of FFmpeg's that shows exactly once; empty: none shows
    };
    const std::vector<Case> cases = {
        {{}, "cover.m4a", 0, ""},
        {{"--verbose"}, "cover.m4a", 0, "cvnhost: " + file("cover.m4a") + ": " + mp4Reader},
        {{}, "cut.m4a", 1, "cvnhost: " + file("cut.m4a") + ": " + mp4Reader + "moov atom not found\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {"encode", "--overwrite", file(c.input), file("out.mp3")};
        arguments.insert(arguments.end(), c.options.begin(), c.options.end());
        const ChildResult result = cvnhost(arguments);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << c.input << ": " << result.errors;
        if (c.line.empty()) {
            EXPECT_EQ(result.errors.find("[mov,mp4"), std::string::npos) << result.errors;
            EXPECT_EQ(result.errors.find(" @ 0x"), std::string::npos) << result.errors;
        } else if (c.options.empty()) {
            EXPECT_EQ(countOf(result.errors, c.line), 1u) << result.errors;
        } else {
            EXPECT_NE(result.errors.find(c.line), std::string::npos) << result.errors;
        }
    }
}

} // namespace
} // namespace cvn::test
