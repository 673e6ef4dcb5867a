// What cvnhost writes, and where, as a user runs it: files it replaces keep what they were (mode,
// links), temporary files of live runs stay and those of dead runs go, a run's settings are one
// snapshot, and inputs that could run away (a pipe that stays open, a huge cover, a folder that
// cannot be read) end or are named.
#include "cvnhost_fixture.h"
#include "support/audio_tools.h"
#include "support/mp3_frames.h"

#include <taglib/attachedpictureframe.h>
#include <taglib/id3v2tag.h>
#include <taglib/mpegfile.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <thread>

namespace cvn::test {
namespace {

namespace fs = std::filesystem;

mode_t modeOf(const std::string& path) {
    struct stat status {};
    stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

// Waits up to `seconds` for a child to end; a pipe that never closes must not hang the test.
bool endsWithin(pid_t pid, int seconds) {
    for (int wait = 0; wait < seconds * 100; ++wait) {
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string pidText, name, state;
        stat >> pidText >> name >> state;
        if (!stat || state == "Z") {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// --overwrite replaces the file a name leads to: its mode stays, a symbolic link stays a link to
// the new file, and every hard link sees the new file. The registry file the same.
TEST_F(CvnhostTest, ReplacedFilesKeepTheirModeAndLinks) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.5}));
    struct Case {
        const char* what;
        mode_t mode;
        std::string output;                 // what the encode is given
        std::vector<std::string> sameFiles; // names that must all show the new file
    };
    const std::vector<Case> cases = {
        {"a private file", 0600, file("private.mp3"), {file("private.mp3")}},
        {"a read-only file", 0444, file("readonly.mp3"), {file("readonly.mp3")}},
        {"a group-writable file", 0664, file("group.mp3"), {file("group.mp3")}},
        {"a symbolic link", 0640, file("link.mp3"), {file("target.mp3")}},
        {"a hard link", 0644, file("hard1.mp3"), {file("hard1.mp3"), file("hard2.mp3")}},
    };
    for (const Case& c : cases) {
        writeText(c.sameFiles.front(), "the user's old file\n");
        chmod(c.sameFiles.front().c_str(), c.mode);
        if (c.output != c.sameFiles.front()) {
            fs::create_symlink(c.sameFiles.front(), c.output);
        }
        for (size_t i = 1; i < c.sameFiles.size(); ++i) {
            fs::create_hard_link(c.sameFiles.front(), c.sameFiles[i]);
        }
        const ChildResult result = cvnhost({"encode", "--overwrite", "--quiet", file("in.wav"), c.output});
        EXPECT_EQ(result.exitStatus, 0) << c.what << ": " << result.errors;
        EXPECT_EQ(fs::is_symlink(c.output), c.output != c.sameFiles.front()) << c.what;
        for (const std::string& name : c.sameFiles) {
            EXPECT_EQ(modeOf(name), c.mode) << c.what << ": " << name;
            EXPECT_TRUE(decodeWithMpg123(name).ok) << c.what << ": " << name;
        }
    }
    // The registry file kept by a dotfile manager: a link to a file of mode 0640.
    writeText(file("dotfiles.reg"), "REGEDIT4\n");
    chmod(file("dotfiles.reg").c_str(), 0640);
    fs::create_symlink(file("dotfiles.reg"), file("registry.reg"));
    ASSERT_EQ(cvnhost({"settings", "--crc", "on"}).exitStatus, 0);
    EXPECT_TRUE(fs::is_symlink(file("registry.reg")));
    EXPECT_NE(readText(file("dotfiles.reg")).find("\"CRC\"=dword:00000001"), std::string::npos);
    EXPECT_EQ(modeOf(file("dotfiles.reg")), 0640u);
}

// --keep-partial never takes a name that exists or that another track of the run writes.
TEST_F(CvnhostTest, APartialFileNeverTakesAnotherTracksName) {
    fs::create_directory(file("in"));
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in/x.partial.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 1.0}));
    writeSilentWav(file("in/x.wav"), 3600);
    Child child(CVN_HOST_PROGRAM,
                {"encode", "--jobs", "1", "--keep-partial", "--out-dir", file("out"), file("in")});
    bool started = false; // the short track is done and the long one under way
    for (int wait = 0; wait < 6000 && !started; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        started = fs::exists(file("out/x.partial.mp3")) && namesIn(file("out")).size() == 2;
    }
    kill(child.pid(), SIGINT);
    const ChildResult result = child.wait();
    ASSERT_TRUE(started) << result.errors;
    EXPECT_EQ(result.exitStatus, 130) << result.errors;
    EXPECT_EQ(namesIn(file("out")), (std::vector<std::string>{"x.partial-1.mp3", "x.partial.mp3"}));
    const DecodedAudio whole = decodeWithMpg123(file("out/x.partial.mp3"));
    EXPECT_NEAR(static_cast<double>(whole.samples.size()) / 2 / 44100, 1.0, 0.1)
        << "the 1 s track, untouched";
}

// A temporary file that a live run holds (on another machine of a shared folder, say) stays; one
// that nobody holds goes, also where the run skips the output and in the temporary directory.
TEST_F(CvnhostTest, TemporariesOfLiveRunsStayAndThoseOfDeadRunsGo) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.5}));
    fs::create_directories(file("out"));
    fs::create_directories(file("tmp"));
    writeText(file("out/in.mp3"), "an output that is skipped\n");
    const std::string live = file("out/.in.mp3.cvnhost-othermachine-1-0.partial");
    const std::vector<std::string> dead = {file("out/.in.mp3.cvnhost-othermachine-99999-0.partial"),
                                           file("out/.cvnhost-othermachine-7-3.partial"),
                                           file("tmp/.stdin.cvnhost-othermachine-1-0.partial")};
    for (const std::string& path : dead) {
        writeText(path, "left by a run that was killed\n");
    }
    writeText(live, "being written\n");
    const int held = open(live.c_str(), O_RDONLY);
    ASSERT_EQ(flock(held, LOCK_EX), 0);
    setenv("TMPDIR", file("tmp").c_str(), 1);
    const ChildResult skipped = cvnhost({"encode", "--out-dir", file("out"), file("in.wav")});
    const ChildResult piped = runProgram("/bin/sh", {"-c", "exec \"$0\" encode - \"$1\" < \"$2\"",
                                                     CVN_HOST_PROGRAM, file("piped.mp3"), file("in.wav")});
    unsetenv("TMPDIR");
    close(held);
    EXPECT_EQ(skipped.exitStatus, 0) << skipped.errors;
    EXPECT_NE(skipped.errors.find("removed 2 temporary file(s) left by runs that were killed"),
              std::string::npos)
        << skipped.errors;
    EXPECT_EQ(piped.exitStatus, 0) << piped.errors;
    EXPECT_TRUE(fs::exists(live));
    for (const std::string& path : dead) {
        EXPECT_FALSE(fs::exists(path)) << path;
    }
    EXPECT_TRUE(namesIn(file("tmp")).empty());
}

// Two `settings` at once keep both changes; a `settings` during a batch changes none of its tracks.
TEST_F(CvnhostTest, SettingsAreOneSnapshotPerRunAndNoChangeIsLost) {
    for (int round = 0; round < 8; ++round) {
        std::filesystem::remove(file("registry.reg"));
        Child crc(CVN_HOST_PROGRAM, {"settings", "--crc", "on"});
        Child quality(CVN_HOST_PROGRAM, {"settings", "--quality", "high"});
        ASSERT_EQ(crc.wait().exitStatus, 0);
        ASSERT_EQ(quality.wait().exitStatus, 0);
        const std::string stored = readText(file("registry.reg"));
        EXPECT_NE(stored.find("\"CRC\"=dword:00000001"), std::string::npos) << round << ": " << stored;
        EXPECT_NE(stored.find("\"Quality\"=dword:00000002"), std::string::npos) << round << ": " << stored;
    }
    ASSERT_EQ(cvnhost({"settings", "--vbr", "2", "--crc", "off", "--quality", "normal"}).exitStatus, 0);
    fs::create_directory(file("in"));
    for (const std::string name : {"a", "b", "c"}) {
        writeSilentWav(file("in/" + name + ".wav"), 300);
    }
    Child batch(CVN_HOST_PROGRAM, {"encode", "--quiet", "--jobs", "1", "--out-dir", file("out"), file("in")});
    for (int wait = 0; wait < 6000 && !fs::exists(file("out/a.mp3")); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_EQ(cvnhost({"settings", "--vbr", "off"}).exitStatus, 0);
    EXPECT_FALSE(fs::exists(file("out/c.mp3"))) << "the change came during the batch";
    EXPECT_EQ(batch.wait().exitStatus, 0);
    for (const std::string name : {"a", "b", "c"}) {
        const std::vector<uint8_t> bytes = readFileBytes(file("out/" + name + ".mp3"));
        const std::vector<Mp3Frame> frames = readMp3Frames(bytes);
        ASSERT_FALSE(frames.empty()) << name;
        const std::optional<VbrHeader> header = readVbrHeader(bytes, frames[0]);
        EXPECT_TRUE(header && header->tag == "Xing") << name << ": VBR as the run began";
    }
}

// Inputs without an end are bounded: a huge cover is refused before it is read, and Ctrl-C stops
// the copy of a standard input whose writer never closes it, leaving nothing behind.
TEST_F(CvnhostTest, InputsWithoutAnEndAreBounded) {
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("in.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.5}));
    { std::ofstream(file("huge.jpg")) << "\xFF\xD8\xFF"; }
    fs::resize_file(file("huge.jpg"), uintmax_t{2} << 30);
    const ChildResult cover = cvnhost({"encode", "--cover", file("huge.jpg"), file("in.wav"), file("c.mp3")});
    EXPECT_EQ(cover.exitStatus, 1);
    EXPECT_NE(cover.errors.find("is larger than a picture may be (16 MB)"), std::string::npos)
        << cover.errors;

    fs::create_directory(file("tmp"));
    ASSERT_EQ(mkfifo(file("pipe").c_str(), 0600), 0);
    setenv("TMPDIR", file("tmp").c_str(), 1);
    Child child("/bin/sh", {"-c", "exec \"$0\" encode - \"$1\" < \"$2\"", CVN_HOST_PROGRAM, file("p.mp3"),
                            file("pipe")});
    unsetenv("TMPDIR");
    const int writer = open(file("pipe").c_str(), O_WRONLY);
    const std::vector<uint8_t> wav = readFileBytes(file("in.wav"));
    ASSERT_EQ(write(writer, wav.data(), 4096), 4096);
    // Ctrl-C once the copy of standard input has begun (its temporary is there), not at a guessed
    // moment: a slow start (a sanitizer build on a busy machine) took the signal before cvnhost
    // could handle it.
    for (int wait = 0; wait < 1000 && namesIn(file("tmp")).empty(); ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(namesIn(file("tmp")).empty()) << "the copy of standard input did not begin";
    kill(child.pid(), SIGINT);
    const bool ended = endsWithin(child.pid(), 10);
    close(writer);
    const ChildResult result = child.wait();
    EXPECT_TRUE(ended) << "the copy went on after Ctrl-C: " << result.errors;
    EXPECT_EQ(result.exitStatus, 130) << result.errors;
    EXPECT_NE(result.errors.find("standard input: not read to its end: stopped by the user"),
              std::string::npos)
        << result.errors;
    EXPECT_TRUE(namesIn(file("tmp")).empty());
    EXPECT_FALSE(fs::exists(file("p.mp3")));
}

// What cannot be done is said before any work, or named and counted in the exit status: a report
// that cannot be written, a folder that cannot be read, an --out-dir inside the input folder.
TEST_F(CvnhostTest, WhatCannotBeReadOrWrittenIsToldNotSkipped) {
    fs::create_directories(file("lib/locked"));
    ASSERT_NO_FATAL_FAILURE(
        writeAudio(file("lib/a.wav"), {"", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 44100, 2, 0.3}));
    fs::copy_file(file("lib/a.wav"), file("lib/locked/b.wav"));
    const ChildResult report =
        cvnhost({"encode", "--out-dir", file("out"), "--report", file("missing/report.jsonl"), file("lib")});
    EXPECT_EQ(report.exitStatus, 1);
    EXPECT_NE(report.errors.find("--report " + file("missing/report.jsonl")), std::string::npos)
        << report.errors;
    EXPECT_FALSE(fs::exists(file("out"))) << "found before any work";

    for (int run = 0; run < 2; ++run) {
        const ChildResult inside = cvnhost({"encode", "--quiet", "--out-dir", file("lib/mp3"), file("lib")});
        EXPECT_EQ(inside.exitStatus, 0) << run << ": " << inside.errors;
    }
    EXPECT_EQ(namesIn(file("lib/mp3")), (std::vector<std::string>{"a.mp3", "locked"}));
    const ChildResult toStdout =
        cvnhost({"encode", "--quiet", "--out-dir", file("out3"), "--report", "-", file("lib")});
    EXPECT_EQ(toStdout.exitStatus, 0) << toStdout.errors;
    EXPECT_NE(toStdout.output.find("\"status\":\"encoded\""), std::string::npos) << "- is standard output";

    // Permissions bind root only through another user: the run then drops to nobody.
    chmod(directory.path().c_str(), 0777);
    for (const std::string folder : {"lib", "lib/locked"}) {
        chmod(file(folder).c_str(), 0777);
    }
    chmod(file("lib/locked").c_str(), 0);
    std::vector<std::string> arguments = {"encode", "--quiet", "--out-dir", file("out2"), file("lib")};
    if (geteuid() == 0) {
        arguments.insert(arguments.begin(),
                         {"--reuid=65534", "--regid=65534", "--clear-groups", CVN_HOST_PROGRAM});
    }
    const ChildResult unreadable =
        runProgram(geteuid() == 0 ? "/usr/bin/setpriv" : CVN_HOST_PROGRAM, arguments);
    chmod(file("lib/locked").c_str(), 0755);
    EXPECT_EQ(unreadable.exitStatus, 1) << unreadable.errors;
    EXPECT_NE(unreadable.errors.find(file("lib/locked") + ": cannot be read: Permission denied"),
              std::string::npos)
        << unreadable.errors;
    EXPECT_NE(unreadable.errors.find("the library was not read whole"), std::string::npos)
        << unreadable.errors;
    EXPECT_TRUE(fs::exists(file("out2/a.mp3")));
    // An MP3 below the output folder that cannot be read may be an orphan: --delete removes nothing.
    fs::copy_file(file("out2/a.mp3"), file("out2/unread.mp3"));
    chmod(file("out2/unread.mp3").c_str(), 0);
    std::vector<std::string> removing = arguments;
    removing.insert(removing.end() - 1, {"--update", "--delete"});
    const ChildResult unknown = runProgram(geteuid() == 0 ? "/usr/bin/setpriv" : CVN_HOST_PROGRAM, removing);
    EXPECT_EQ(unknown.exitStatus, 1) << unknown.errors;
    EXPECT_NE(unknown.errors.find(file("out2/unread.mp3") + ": cannot be read: Permission denied"),
              std::string::npos)
        << unknown.errors;
    EXPECT_NE(unknown.errors.find("--delete removes nothing"), std::string::npos) << unknown.errors;
    EXPECT_TRUE(fs::exists(file("out2/unread.mp3")));

    // A folder that cannot be written is said once, not once a track.
    fs::create_directories(file("readonly"));
    chmod(file("readonly").c_str(), 0555);
    std::replace(arguments.begin(), arguments.end(), file("out2"), file("readonly"));
    const ChildResult readOnly =
        runProgram(geteuid() == 0 ? "/usr/bin/setpriv" : CVN_HOST_PROGRAM, arguments);
    EXPECT_EQ(readOnly.exitStatus, 1) << readOnly.errors;
    const std::string said = file("readonly") + ": cannot be written (Permission denied)";
    const size_t at = readOnly.errors.find(said);
    EXPECT_NE(at, std::string::npos) << readOnly.errors;
    EXPECT_EQ(readOnly.errors.find(said, at + 1), std::string::npos) << "once: " << readOnly.errors;
}

} // namespace
} // namespace cvn::test
