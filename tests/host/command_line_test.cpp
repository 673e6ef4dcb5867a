// The command line as a shell user meets it: misuses named, habits met, pipelines, and the commands
// that speak for the plug-in.
#include "support/audio_tools.h"
#include "support/child_process.h"
#include "support/temporary_directory.h"
#include "cvnhost_fixture.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdlib>
#include <filesystem>

namespace cvn::test {
namespace {

// A misuse exits with 2 and says what was wrong, and where a word was mistyped, what was meant;
// a setting that cannot be used is a failure (1) naming it.
TEST_F(CvnhostTest, MisusesAreNamedWithWhatWasMeant) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.2}));
    writeText(file("damaged.reg"), "REGEDIT4\n\n[HKEY_CURRENT_USER\\Software\\Corvane\\VelmoraPlugIn]\n"
                                   "\"Quality\"=dword:00000001\n\"VBR\"=dword:zz\n");
    struct Case {
        std::vector<std::string> arguments;
        int exitStatus;
        std::string message;
        std::string registry = "registry.reg";
    };
    const std::string in = file("in.wav");
    const std::string out = file("out.mp3");
    const std::vector<Case> cases = {
        {{}, 2, "A subcommand is required"},
        {{"encode"}, 2, "encode needs an INPUT and an OUTPUT"},
        {{"encode", "--jobs"}, 2, "cvnhost: --jobs: 1 required"},
        {{"encode", in, in}, 2, "the output would overwrite an input"},
        {{"encode", "--format", "28", in, out}, 2, "not in range 0 to 27"},
        {{"encode", "--format", "abc", in, out}, 2, "--format: abc is not a number"},
        {{"settings", "--vbr", "10"}, 2, "--vbr"},
        {{"encdoe", in, out}, 2, "unknown command 'encdoe'; did you mean encode?"},
        {{"transcode"}, 2, "unknown command 'transcode' (the commands: encode, demo"},
        {{"-V"}, 2, "-V is an option of a command: cvnhost encode -V"},
        {{"--verison"}, 2, "unknown option --verison; did you mean --version?"},
        {{"-v"}, 2, "-v is an option of a command: cvnhost encode -v"},
        {{"encode", "--bitrat", "128", in, out},
         2,
         "encode: unknown option --bitrat; did you mean --bitrate?"},
        {{"settings", "extra"}, 2, "settings: unexpected argument 'extra'"},
        {{"encode", "--settings", "Software\\Typo", in, out},
         1,
         "the settings key HKEY_CURRENT_USER\\Software\\Typo does not exist"},
        {{"encode", in, out},
         1,
         "the setting VBR under HKEY_CURRENT_USER\\Software\\Corvane\\VelmoraPlugIn in the registry file " +
             file("damaged.reg") + " cannot be read: line 5 (\"VBR\"=dword:zz)",
         "damaged.reg"},
    };
    for (const Case& c : cases) {
        setenv("CVN_REGISTRY", file(c.registry).c_str(), 1);
        const ChildResult result = cvnhost(c.arguments);
        const std::string what = ::testing::PrintToString(c.arguments);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << what << ": " << result.errors;
        EXPECT_NE(result.errors.find(c.message), std::string::npos) << what << ": " << result.errors;
        EXPECT_FALSE(std::filesystem::exists(out)) << what;
    }
    EXPECT_EQ(cvnhost({"demo", "--help"}).output.find("the input's own"), std::string::npos);
}

// A shell user's habits: a lone input is written beside it (never over a file), a template that
// ends in .mp3 is not extended again, and MP3 data under another name is said to be so.
TEST_F(CvnhostTest, AShellUsersHabitsAreMet) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("song.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.2}));
    struct Case {
        std::vector<std::string> arguments;
        int exitStatus;
        std::string message;
        std::string made; // a file the run makes
    };
    const std::vector<Case> cases = {
        {{"encode", file("song.wav")}, 0, "song.wav -> " + file("song.mp3"), "song.mp3"},
        {{"encode", file("song.wav")}, 1, "song.mp3: exists; --overwrite replaces it", "song.mp3"},
        {{"encode", file("song.mp3")}, 0, "-> " + file("song.mp3.mp3"), "song.mp3.mp3"},
        {{"encode", "--out-dir", file("named"), "--name", "%filename%.mp3", file("song.wav")},
         0,
         "",
         "named/song.mp3"},
        {{"encode", file("song.wav"), file("song.aiff")},
         0,
         "song.aiff: MP3 data under a name that does not end in .mp3",
         "song.aiff"},
    };
    for (const Case& c : cases) {
        const ChildResult result = cvnhost(c.arguments);
        const std::string what = ::testing::PrintToString(c.arguments);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << what << ": " << result.errors;
        EXPECT_NE(result.errors.find(c.message), std::string::npos) << what << ": " << result.errors;
        EXPECT_TRUE(std::filesystem::exists(file(c.made))) << what;
    }
}

// "-" reads standard input and writes the finished file to standard output, so that cvnhost
// stands in a shell pipeline; its messages go to standard error. Any format works, tags included.
TEST_F(CvnhostTest, StandardInputAndOutputMakeAPipeline) {
    Metadata tags;
    tags.title = "Piped";
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 1.5}));
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.flac"), {"", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 48000, 1, 1.5}, tags));
    writeText(file("text.txt"), "not audio");
    struct Case {
        std::string shell; // after "cvnhost "
        int exitStatus;
        std::string message; // in standard error
    };
    const std::string program = CVN_HOST_PROGRAM;
    const std::vector<Case> cases = {
        {"encode - - < " + file("in.wav") + " > " + file("wav.mp3"), 0, "- -> - (1.5 s"},
        {"encode - - < " + file("in.flac") + " | cat > " + file("flac.mp3"), 0, "- -> - (1.5 s"},
        {"encode - " + file("out.mp3") + " < " + file("text.txt"), 1, "-: is not audio"},
        {"encode --out-dir " + file("dir") + " - < " + file("in.wav"), 2, "standard input (-) is one track"},
    };
    for (const Case& c : cases) {
        const ChildResult result = runProgram("/bin/sh", {"-c", "'" + program + "' " + c.shell});
        EXPECT_EQ(result.exitStatus, c.exitStatus) << c.shell << ": " << result.errors;
        EXPECT_NE(result.errors.find(c.message), std::string::npos) << c.shell << ": " << result.errors;
    }
    for (const std::string name : {"wav.mp3", "flac.mp3"}) {
        const DecodedAudio decoded = decodeWithFfmpeg(file(name));
        EXPECT_TRUE(decoded.ok) << name << ": " << decoded.messages;
        EXPECT_EQ(decoded.samples.size(), name == "wav.mp3" ? 2 * 66150u : 66150u) << name;
    }
    EXPECT_EQ(readId3v2WithMutagen(file("flac.mp3"))["TIT2"], "Piped");
}

TEST_F(CvnhostTest, QueriesAndTheDemoSpeakForThePlugIn) {
    const ChildResult formats = cvnhost({"formats"});
    EXPECT_EQ(formats.exitStatus, 0);
    EXPECT_NE(formats.output.find("16  128 kBit/sec, Stereo\n"), std::string::npos) << formats.output;
    EXPECT_NE(formats.output.find("27  320 kBit/sec, Mono\n"), std::string::npos);
    EXPECT_NE(cvnhost({"info"}).output.find("Support value: 0x10001"), std::string::npos);
    EXPECT_NE(cvnhost({"about"}).output.find("Encoder Version : 3."), std::string::npos);
    const ChildResult demo = cvnhost({"demo", file("demo.mp3")});
    EXPECT_EQ(demo.exitStatus, 0) << demo.errors;
    EXPECT_NE(demo.output.find("10.00 s of the built-in signal as 128 kbit/s, stereo"), std::string::npos)
        << demo.output;
    EXPECT_TRUE(decodeWithMpg123(file("demo.mp3")).ok);
    EXPECT_EQ(readId3v2WithMutagen(file("demo.mp3")).at("TIT2"), "Velmora Demo");
    // Under a German locale the plug-in's own texts are German; cvnhost's lines stay English.
    setenv("LC_ALL", "de_DE.UTF-8", 1);
    const ChildResult german = cvnhost({"demo", file("de.mp3")});
    const ChildResult germanFormats = cvnhost({"formats"});
    unsetenv("LC_ALL");
    EXPECT_NE(germanFormats.output.find("16  128 kBit/sek, Stereo\n"), std::string::npos)
        << germanFormats.output;
    EXPECT_NE(german.output.find("as 128 kbit/s, stereo"), std::string::npos) << german.output;
}

} // namespace
} // namespace cvn::test
