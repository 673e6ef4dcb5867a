// Keeping a library in step as a hostile world tries it: --delete removes only what cvnhost made
// from a source that is really gone, a retag keeps what the user added, a stop ends every phase,
// and a dry run changes nothing.
#include "cvnhost_fixture.h"
#include "support/audio_tools.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <taglib/flacfile.h>
#include <taglib/tpropertymap.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <thread>

namespace cvn::test {
namespace {

namespace fs = std::filesystem;

void writeFlac(const std::string& path, double seconds, const std::string& title = "") {
    fs::create_directories(fs::path(path).parent_path());
    Metadata metadata;
    metadata.title = title;
    writeAudio(path, {"", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, seconds}, metadata);
}

int runPython(const std::string& script, const std::string& path) {
    return runProgram("/usr/bin/python3", {"-c", script, path}).exitStatus;
}

// What a tagger adds to an output: lyrics, a rating, a mood.
void addUsersFrames(const std::string& path) {
    ASSERT_EQ(runPython("import sys, mutagen.id3 as m\n"
                        "t = m.ID3(sys.argv[1])\n"
                        "t.add(m.USLT(encoding=3, lang='eng', desc='', text='la la la'))\n"
                        "t.add(m.POPM(email='me@example.org', rating=196, count=3))\n"
                        "t.add(m.TXXX(encoding=3, desc='MOOD', text='calm'))\n"
                        "t.save(v2_version=3)\n",
                        path),
              0);
}

ino_t inodeOf(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 ? status.st_ino : 0;
}

// An MP3 that cvnhost made, from a source that no longer exists, kept by the user among their
// inputs below the output folder; or reached through a link to a folder. --delete never takes
// an input, nor a source it cannot reach, for gone.
TEST_F(CvnhostTest, DeleteNeverRemovesAnInputNorWhatItCannotReach) {
    ASSERT_NO_FATAL_FAILURE(writeFlac(file("src/kept.flac"), 0.3));
    ASSERT_EQ(cvnhost({"encode", "--quiet", "--out-dir", file("made"), file("src")}).exitStatus, 0);
    fs::create_directories(file("lib/mine"));
    fs::rename(file("made/kept.mp3"), file("lib/mine/kept.mp3"));
    const std::vector<uint8_t> only = readFileBytes(file("lib/mine/kept.mp3"));
    for (const std::string mode : {"skip", "encode", "copy"}) {
        const ChildResult result =
            cvnhost({"encode", "--out-dir", file("lib"), "--delete", "--lossy", mode, file("lib/mine")});
        EXPECT_EQ(readFileBytes(file("lib/mine/kept.mp3")), only) << mode << ": " << result.errors;
        EXPECT_EQ(result.errors.find("removed"), std::string::npos) << mode << ": " << result.errors;
    }

    // A folder moved to another disk and linked back is followed; a link back up the tree is not.
    ASSERT_NO_FATAL_FAILURE(writeFlac(file("library/here/1.flac"), 0.3));
    ASSERT_NO_FATAL_FAILURE(writeFlac(file("disk2/moved/2.flac"), 0.3));
    fs::create_directory_symlink(file("disk2/moved"), file("library/moved"));
    fs::create_directory_symlink(file("library"), file("library/here/loop"));
    fs::create_directory_symlink(file("library/here"), file("library/a link"));
    const std::vector<std::string> sync = {"encode",    "--update",  "--delete",
                                           "--out-dir", file("out"), file("library")};
    const ChildResult linked = cvnhost(sync);
    EXPECT_EQ(linked.exitStatus, 0) << linked.errors;
    EXPECT_NE(linked.errors.find("library/a link: a link to " + file("library/here") +
                                 ", which is read under its own name: left out"),
              std::string::npos)
        << linked.errors;
    EXPECT_EQ(namesIn(file("out")), (std::vector<std::string>{"here", "moved"})) << linked.errors;
    EXPECT_NE(
        linked.errors.find("library/here/loop: a link to " + file("library") + ", which is read already"),
        std::string::npos)
        << linked.errors;
    EXPECT_TRUE(fs::exists(file("out/moved/2.mp3"))) << linked.errors;
    // That disk unmounted: the link leads nowhere, and nothing is removed.
    fs::rename(file("disk2"), file("disk2-away"));
    const ChildResult unmounted = cvnhost(sync);
    EXPECT_EQ(unmounted.exitStatus, 1);
    EXPECT_NE(
        unmounted.errors.find("library/moved: a link to " + file("disk2/moved") + ", which does not exist"),
        std::string::npos)
        << unmounted.errors;
    EXPECT_TRUE(fs::exists(file("out/moved/2.mp3"))) << unmounted.errors;
    // A disk mounted inside the library, now unmounted: an empty folder where its sources were.
    fs::rename(file("disk2-away"), file("disk2"));
    fs::remove(file("library/moved"));
    fs::create_directory(file("library/moved"));
    const ChildResult empty = cvnhost(sync);
    EXPECT_EQ(empty.exitStatus, 1);
    EXPECT_NE(empty.errors.find("--delete removes nothing: " + file("library/moved") +
                                " is empty, but held the sources of 1 output(s)"),
              std::string::npos)
        << empty.errors;
    EXPECT_TRUE(fs::exists(file("out/moved/2.mp3")));
    // So too when its tracks were in folders of their own below it.
    fs::remove(file("library/moved"));
    fs::create_directory_symlink(file("disk2"), file("library/disk"));
    ASSERT_NO_FATAL_FAILURE(writeFlac(file("disk2/Artist/Album/3.flac"), 0.3));
    ASSERT_EQ(cvnhost(sync).exitStatus, 0);
    fs::remove(file("library/disk"));
    fs::create_directory(file("library/disk"));
    const ChildResult emptyAbove = cvnhost(sync);
    EXPECT_EQ(emptyAbove.exitStatus, 1);
    EXPECT_NE(emptyAbove.errors.find(file("library/disk") + " is empty, but held the sources of 2 output(s)"),
              std::string::npos)
        << emptyAbove.errors;
    EXPECT_TRUE(fs::exists(file("out/disk/Artist/Album/3.mp3")));
}

// A tagger copied an output's tag, marker and all, onto the user's own MP3: that file is not the
// output, neither removed as its duplicate nor moved into its place once the output is gone.
TEST_F(CvnhostTest, AMarkerCopiedOntoAnotherMp3IsNotThatFilesOwn) {
    ASSERT_NO_FATAL_FAILURE(writeFlac(file("lib/t1.flac"), 0.3));
    ASSERT_NO_FATAL_FAILURE(writeFlac(file("theirs/song.flac"), 0.7));
    const std::vector<std::string> sync = {"encode",    "--update",  "--delete",
                                           "--out-dir", file("out"), file("lib")};
    ASSERT_EQ(cvnhost(sync).exitStatus, 0);
    ASSERT_EQ(cvnhost({"encode", "--quiet", "--out-dir", file("out/mine"), file("theirs")}).exitStatus, 0);
    ASSERT_EQ(runPython("import sys, mutagen.id3 as m\n"
                        "marker = m.ID3(sys.argv[1] + '/t1.mp3').getall('TXXX:CVNHOST_SOURCE')[0]\n"
                        "t = m.ID3(sys.argv[1] + '/mine/song.mp3')\n"
                        "t.delall('TXXX:CVNHOST_SOURCE')\n"
                        "t.add(marker)\n"
                        "t.save(v2_version=3)\n",
                        file("out")),
              0);
    const std::vector<uint8_t> song = readFileBytes(file("out/mine/song.mp3"));
    for (const bool outputGone : {false, true}) {
        if (outputGone) {
            fs::remove(file("out/t1.mp3"));
        }
        const ChildResult result = cvnhost(sync);
        EXPECT_EQ(result.exitStatus, 0) << result.errors;
        EXPECT_NE(result.errors.find(file("out/mine/song.mp3") +
                                     ": carries the source marker of lib/t1.flac, but "
                                     "not the audio cvnhost wrote with it"),
                  std::string::npos)
            << result.errors;
        EXPECT_EQ(readFileBytes(file("out/mine/song.mp3")), song) << "output gone: " << outputGone;
        EXPECT_TRUE(fs::exists(file("out/t1.mp3")));
    }
}

// Two input folders that hold the same name: each output names its own source, so one that is gone
// is an orphan however many others of that name there are.
TEST_F(CvnhostTest, AMarkerNamesItsSourceAmongTheInputsUnambiguously) {
    ASSERT_NO_FATAL_FAILURE(writeFlac(file("A/x.flac"), 0.3, "from A"));
    ASSERT_NO_FATAL_FAILURE(writeFlac(file("B/x.flac"), 0.3, "from B"));
    const std::vector<std::string> sync = {"encode",    "--update",  "--delete", "--name", "%title%",
                                           "--out-dir", file("out"), file("A"),  file("B")};
    ASSERT_EQ(cvnhost(sync).exitStatus, 0);
    ASSERT_NO_FATAL_FAILURE(writeFlac(file("B/y.flac"), 0.3, "also from B"));
    fs::remove(file("B/x.flac"));
    const ChildResult result = cvnhost(sync);
    EXPECT_EQ(result.exitStatus, 0) << result.errors;
    EXPECT_EQ(namesIn(file("out")), (std::vector<std::string>{"also from B.mp3", "from A.mp3"}))
        << result.errors;
}

// --update after a change of the source's time alone writes nothing but the marker; a retag keeps
// the frames a tagger added and the folder's cover, which a --lossy copy gets too.
TEST_F(CvnhostTest, UpdateKeepsWhatTheUserAddedAndTheFolderCover) {
    ASSERT_NO_FATAL_FAILURE(writeFlac(file("lib/x.flac"), 0.5, "Old title"));
    writeText(file("lib/cover.jpg"), std::string("\xFF\xD8\xFF\xE0 jpeg", 9));
    const std::vector<std::string> update = {"encode", "--update", "--out-dir", file("out"), file("lib")};
    ASSERT_EQ(cvnhost(update).exitStatus, 0);
    const std::string output = file("out/x.mp3");
    ASSERT_NO_FATAL_FAILURE(addUsersFrames(output));
    struct Step {
        const char* what;
        std::string title; // set on the source first; empty: only its time changes
        std::string expectedTitle;
    };
    const std::vector<Step> steps = {{"touched", "", "Old title"}, {"retitled", "New title", "New title"}};
    for (const Step& step : steps) {
        if (step.title.empty()) {
            utimensat(AT_FDCWD, file("lib/x.flac").c_str(), nullptr, 0);
        } else {
            ASSERT_EQ(runPython("import sys, mutagen.flac\nf = mutagen.flac.FLAC(sys.argv[1])\n"
                                "f['TITLE'] = '" +
                                    step.title + "'\nf.save()\n",
                                file("lib/x.flac")),
                      0);
        }
        const ChildResult result = cvnhost(update);
        EXPECT_EQ(result.exitStatus, 0) << step.what << ": " << result.errors;
        std::map<std::string, std::string> tags = readId3v2WithMutagen(output);
        EXPECT_EQ(tags["TIT2"], step.expectedTitle) << step.what;
        EXPECT_EQ(tags["USLT::eng"], "la la la") << step.what;
        EXPECT_EQ(tags.count("POPM:me@example.org"), 1u) << step.what;
        EXPECT_EQ(tags["TXXX:MOOD"], "calm") << step.what;
        EXPECT_EQ(tags["APIC"], "image/jpeg 9 3") << step.what;
        EXPECT_EQ(cvnhost(update).errors.find("retagged"), std::string::npos)
            << step.what << ": the marker took the source's new time";
    }
    // An MP3 input copied as it is takes its folder's cover as an encode would.
    fs::create_directories(file("mp3s"));
    fs::copy_file(output, file("mp3s/song.mp3"));
    ASSERT_EQ(runPython("import sys, mutagen.id3 as m\nt = m.ID3(sys.argv[1])\nt.delall('APIC')\nt.save()\n",
                        file("mp3s/song.mp3")),
              0);
    writeText(file("mp3s/folder.png"), std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16));
    ASSERT_EQ(cvnhost({"encode", "--quiet", "--lossy", "copy", "--out-dir", file("copied"), file("mp3s")})
                  .exitStatus,
              0);
    EXPECT_EQ(readId3v2WithMutagen(file("copied/song.mp3"))["APIC"], "image/png 16 3");
}

// Shards that share one output folder each remove the orphans of their own share; and a dry run
// lists the temporaries killed runs left, and removes none.
TEST_F(CvnhostTest, ShardsShareTheOrphansAndADryRunRemovesNothing) {
    for (int i = 0; i < 12; ++i) {
        ASSERT_NO_FATAL_FAILURE(writeFlac(file("lib/t" + std::to_string(i) + ".flac"), 0.1));
    }
    ASSERT_NO_FATAL_FAILURE(writeFlac(file("lib/stays.flac"), 0.1));
    ASSERT_EQ(cvnhost({"encode", "--quiet", "--out-dir", file("out"), file("lib")}).exitStatus, 0);
    for (int i = 0; i < 12; ++i) {
        fs::remove(file("lib/t" + std::to_string(i) + ".flac"));
    }
    const std::string stale = file("out/.t0.mp3.cvnhost-elsewhere-1-1.partial");
    writeText(stale, "left by a run that was killed\n");
    const std::vector<std::string> sync = {"encode",    "--update",  "--delete",
                                           "--out-dir", file("out"), file("lib")};
    std::vector<std::string> dryRun = sync;
    dryRun.push_back("--dry-run");
    const ChildResult whole = cvnhost(dryRun);
    EXPECT_NE(whole.output.find("remove stale temporary " + stale + "\n"), std::string::npos) << whole.output;
    EXPECT_TRUE(fs::exists(stale)) << "a dry run changes nothing";
    std::vector<std::string> listed;
    for (const std::string shard : {"1/2", "2/2"}) {
        std::vector<std::string> arguments = dryRun;
        arguments.insert(arguments.end(), {"--shard", shard});
        const ChildResult result = cvnhost(arguments);
        EXPECT_EQ(result.exitStatus, 0) << result.errors;
        for (size_t at = result.output.find("remove /"); at != std::string::npos;
             at = result.output.find("remove /", at + 1)) {
            listed.push_back(result.output.substr(at + 7, result.output.find('\n', at) - at - 7));
        }
    }
    std::sort(listed.begin(), listed.end());
    EXPECT_EQ(listed.size(), 12u) << "each orphan in one shard's share";
    EXPECT_EQ(std::unique(listed.begin(), listed.end()), listed.end());
    for (const std::string shard : {"1/2", "2/2"}) {
        std::vector<std::string> arguments = sync;
        arguments.insert(arguments.end(), {"--shard", shard});
        const ChildResult run = cvnhost(arguments);
        EXPECT_EQ(run.exitStatus, 0) << shard << ": " << run.errors;
    }
    EXPECT_EQ(namesIn(file("out")), std::vector<std::string>{"stays.mp3"});
}

// Sources renamed, their outputs claimed by shards other than those their old paths fall in: the
// shard that moves an output is the only one that may take it, in whichever order they run.
TEST_F(CvnhostTest, ShardsAgreeOnTheOutputsTheyMove) {
    for (const std::vector<std::string>& order : {std::vector<std::string>{"1/2", "2/2"}, {"2/2", "1/2"}}) {
        fs::remove_all(file("lib"));
        fs::remove_all(file("out"));
        for (int i = 0; i < 8; ++i) {
            ASSERT_NO_FATAL_FAILURE(writeFlac(file("lib/s" + std::to_string(i) + ".flac"), 0.1 + i * 0.01));
        }
        ASSERT_EQ(cvnhost({"encode", "--quiet", "--out-dir", file("out"), file("lib")}).exitStatus, 0);
        std::vector<std::string> expected;
        for (int i = 0; i < 8; ++i) {
            ASSERT_NO_FATAL_FAILURE(addUsersFrames(file("out/s" + std::to_string(i) + ".mp3")));
            fs::rename(file("lib/s" + std::to_string(i) + ".flac"),
                       file("lib/z" + std::to_string(i) + ".flac"));
            expected.push_back("z" + std::to_string(i) + ".mp3");
        }
        std::sort(expected.begin(), expected.end());
        for (const std::string& shard : order) {
            const ChildResult run = cvnhost(
                {"encode", "--update", "--delete", "--shard", shard, "--out-dir", file("out"), file("lib")});
            EXPECT_EQ(run.exitStatus, 0) << shard << ": " << run.errors;
            EXPECT_EQ(run.errors.find("encoded"), std::string::npos) << shard << ": " << run.errors;
        }
        EXPECT_EQ(namesIn(file("out")), expected) << order[0] << " first";
        for (const std::string& name : expected) {
            EXPECT_EQ(readId3v2WithMutagen(file("out/" + name))["TXXX:MOOD"], "calm") << name;
        }
    }
}

// SIGINT at the first retag, or at the first removal: what is done stays done, the rest is not
// started, and the run says so with exit 130.
TEST_F(CvnhostTest, AStopEndsTheRetagsAndTheRemovals) {
    constexpr int kTracks = 100;
    std::vector<std::string> sources;
    for (int i = 0; i < kTracks; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "lib/%03d.flac", i);
        sources.push_back(file(name));
        ASSERT_NO_FATAL_FAILURE(writeFlac(sources.back(), 0.05, "before"));
    }
    const std::vector<std::string> sync = {"encode",    "--update",  "--delete",
                                           "--out-dir", file("out"), file("lib")};
    ASSERT_EQ(cvnhost({"encode", "--quiet", "--out-dir", file("out"), file("lib")}).exitStatus, 0);
    for (const bool retag : {true, false}) {
        const char* what = retag ? "retag" : "remove";
        for (const std::string& source : sources) {
            if (retag) {
                ASSERT_NO_FATAL_FAILURE(setFlacTitle(source, "after"));
            } else {
                fs::remove(source);
            }
        }
        if (!retag) {
            ASSERT_NO_FATAL_FAILURE(writeFlac(file("lib/stays.flac"), 0.05));
        }
        const std::string first = file("out/000.mp3");
        const ino_t before = inodeOf(first);
        Child child(CVN_HOST_PROGRAM, sync);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (inodeOf(first) == before && std::chrono::steady_clock::now() < deadline) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        kill(child.pid(), SIGINT);
        const ChildResult result = child.wait();
        EXPECT_EQ(result.exitStatus, 130) << what << ": " << result.errors;
        EXPECT_NE(result.errors.find("not started"), std::string::npos) << what << ": " << result.errors;
        EXPECT_EQ(result.errors.find("--delete removed nothing") != std::string::npos, retag)
            << what << ": " << result.errors;
        size_t untouched = 0;
        for (const std::string& name : namesIn(file("out"))) {
            untouched += retag && readId3v2WithMutagen(file("out/" + name))["TIT2"] == "after" ? 0 : 1;
            EXPECT_EQ(name.find(".partial"), std::string::npos) << name;
        }
        EXPECT_GT(untouched, size_t{kTracks / 2}) << what << ": most were not started";
    }
}

} // namespace
} // namespace cvn::test
