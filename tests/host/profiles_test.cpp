// Named profiles: the file's keys as encode options and its problems named with file, line,
// profile and key; `cvnhost sync` and `cvnhost profiles` as a user runs them.
#include "cli/profiles.h"
#include "cvnhost_fixture.h"

#include <filesystem>

namespace cvn::test {
namespace {

namespace fs = std::filesystem;

cvnhost::ProfilesFile parsed(const std::string& text) {
    return cvnhost::parseProfiles(text, "/cfg/profiles.toml", "/home/u");
}

// Every problem of a file, the file's own and its profiles'.
std::string problemsOf(const cvnhost::ProfilesFile& file) {
    std::string problems;
    for (const std::string& problem : file.problems) {
        problems += problem + "\n";
    }
    for (const cvnhost::Profile& profile : file.profiles) {
        for (const std::string& problem : profile.problems) {
            problems += problem + "\n";
        }
    }
    return problems;
}

TEST(ProfileFileTest, KeysBecomeEncodeArguments) {
    struct Case {
        std::string text;
        std::vector<std::string> inputs, arguments;
    };
    const Case cases[] = {
        // Each kind of value; a switch that is false gives nothing.
        {"[car]\ninputs = [\"~/flac\", \"/srv/more\"]\nout_dir = \"~\"\nbitrate = 192\nfat_names = true\n"
         "playlists = false\nreplaygain = \"album\"\nmount = true\n",
         {"/home/u/flac", "/srv/more"},
         {"--out-dir=/home/u", "--bitrate=192", "--fat-names", "--replaygain=album", "--mounted"}},
        // Relative paths lie below the file's folder; a template keeps its slashes.
        {"[phone]\ninputs = [\"flac\"]\nout_dir = \"../phone\"\nname = \"%artist%/%title%\"\nvbr_quality = "
         "2\n",
         {"/cfg/flac"},
         {"--out-dir=/phone", "--name=%artist%/%title%", "--vbr-quality=2"}},
    };
    for (const Case& c : cases) {
        const cvnhost::ProfilesFile file = parsed(c.text);
        ASSERT_EQ(file.profiles.size(), 1u) << c.text;
        EXPECT_EQ(problemsOf(file), "") << c.text;
        EXPECT_EQ(file.profiles[0].inputs, c.inputs) << c.text;
        EXPECT_EQ(cvnhost::encodeArgumentsOf(file.profiles[0]), c.arguments) << c.text;
    }
}

TEST(ProfileFileTest, ProblemsNameTheFileTheLineTheProfileAndTheKey) {
    const std::string car = "[car]\ninputs = [\"/a\"]\nout_dir = \"/b\"\n";
    const std::pair<std::string, std::string> cases[] = {
        {car + "bitrat = 192\n",
         "/cfg/profiles.toml:4: profile car: unknown key bitrat; did you mean bitrate?"},
        {car + "bitrate = \"192\"\n",
         "/cfg/profiles.toml:4: profile car: bitrate must be a whole number, not text"},
        {car + "fat_names = 1\n", ":4: profile car: fat_names must be true or false, not a whole number"},
        {"[car]\ninputs = \"/a\"\nout_dir = \"/b\"\n", ":2: profile car: inputs must be a list of folders"},
        {"[car]\ninputs = [\"/a\"]\n", "/cfg/profiles.toml:1: profile car: no out_dir"},
        {"bitrate = 192\n" + car, "/cfg/profiles.toml:1: bitrate is outside every profile"},
        {car + "bitrate =\n", "/cfg/profiles.toml:4:"}, // not TOML
    };
    for (const auto& [text, problem] : cases) {
        EXPECT_NE(problemsOf(parsed(text)).find(problem), std::string::npos) << text << "gave:\n"
                                                                             << problemsOf(parsed(text));
    }
}

TEST(ProfileFileTest, ProfilesKeepTheOrderOfTheFileAndAMistypedNameIsNamed) {
    const cvnhost::ProfilesFile file =
        parsed("[phone]\ninputs = [\"/a\"]\nout_dir = \"/p\"\n[car]\ninputs = [\"/a\"]\nout_dir = \"/c\"\n");
    ASSERT_EQ(file.profiles.size(), 2u);
    EXPECT_EQ(file.profiles[0].name, "phone");
    EXPECT_EQ(file.profiles[1].name, "car");
    EXPECT_EQ(cvnhost::noProfileText(file, "cra"),
              "no profile cra in /cfg/profiles.toml; the profiles are phone, car; did you mean car?");
}

class ProfilesTest : public CvnhostTest {
  protected:
    // A profile of the folder lib, copied into the folder `out`.
    std::string profile(const std::string& name, const std::string& out, const std::string& more = "") const {
        return "[" + name + "]\ninputs = [\"" + file("lib") + "\"]\nout_dir = \"" + file(out) + "\"\n" + more;
    }
    void writeTrack(const std::string& name) const {
        fs::create_directories(file("lib"));
        writeAudio(file("lib/" + name), {"", SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 44100, 2, 0.3});
    }
    ChildResult withProfiles(std::vector<std::string> arguments) const {
        arguments.insert(arguments.end(), {"--profiles", file("profiles.toml")});
        return cvnhost(arguments);
    }
};

TEST_F(ProfilesTest, SyncKeepsTheCopyInStepAndTheCommandLineWins) {
    writeTrack("a.flac");
    writeTrack("b.flac");
    writeText(file("profiles.toml"), profile("car", "card", "bitrate = 96\n"));
    const ChildResult first = withProfiles({"sync", "car"});
    ASSERT_EQ(first.exitStatus, 0) << first.errors;
    EXPECT_EQ(namesIn(file("card")), (std::vector<std::string>{"a.mp3", "b.mp3"}));
    EXPECT_NE(first.errors.find(" 96 kbit/s"), std::string::npos) << first.errors;

    fs::remove(file("lib/b.flac"));
    const ChildResult again = withProfiles({"sync", "car"});
    ASSERT_EQ(again.exitStatus, 0) << again.errors;
    EXPECT_NE(again.errors.find("1 up to date"), std::string::npos) << again.errors;
    EXPECT_EQ(namesIn(file("card")), std::vector<std::string>{"a.mp3"}); // --delete comes with sync

    const ChildResult faster = withProfiles({"sync", "car", "-b", "128"});
    ASSERT_EQ(faster.exitStatus, 0) << faster.errors;
    EXPECT_NE(faster.errors.find(" 128 kbit/s"), std::string::npos) << faster.errors;
}

TEST_F(ProfilesTest, SyncAllGoesOnAfterAFailingProfile) {
    writeTrack("a.flac");
    writeText(file("profiles.toml"), "[broken]\ninputs = [\"" + file("gone") + "\"]\nout_dir = \"" +
                                         file("card") + "\"\n" + profile("phone", "phone"));
    const ChildResult all = withProfiles({"sync", "--all"});
    EXPECT_NE(all.exitStatus, 0);
    const size_t broken = all.errors.find("sync broken (1 of 2)");
    const size_t phone = all.errors.find("sync phone (2 of 2)");
    ASSERT_NE(broken, std::string::npos) << all.errors;
    EXPECT_GT(phone, broken) << all.errors;
    EXPECT_NE(all.errors.find("broken failed"), std::string::npos) << all.errors;
    EXPECT_TRUE(fs::exists(file("phone/a.mp3")));
}

TEST_F(ProfilesTest, ProfilesNamesWhatASyncWouldNotFind) {
    writeTrack("a.flac");
    fs::create_directories(file("card"));
    struct Case {
        std::string profiles;
        int status;
        std::vector<std::string> problems;
    };
    const Case cases[] = {
        {profile("car", "card", "bitrate = 96\n"), 0, {}},
        {"[car]\ninputs = [\"" + file("gone") + "\"]\nout_dir = \"" + file("card") + "\"\nmount = true\n",
         1,
         {"profiles.toml:2: profile car: input " + file("gone") + " does not exist",
          "profiles.toml:4: profile car: the card is not mounted at " + file("card")}},
        {profile("car", "card", "bitrate = 100\nname = \"%nope%\"\n"),
         1,
         {":4: profile car: bitrate = 100", ":5: profile car: name"}},
    };
    for (const Case& c : cases) {
        writeText(file("profiles.toml"), c.profiles);
        const ChildResult checked = withProfiles({"profiles"});
        EXPECT_EQ(checked.exitStatus, c.status) << c.profiles << checked.errors;
        EXPECT_EQ(checked.output.rfind("car\n  input ", 0), 0u) << checked.output;
        for (const std::string& problem : c.problems) {
            EXPECT_NE(checked.errors.find(problem), std::string::npos) << checked.errors;
        }
    }
}

TEST_F(ProfilesTest, TheFileIsFoundInXdgConfigHomeAndAnUnknownNameIsNamed) {
    fs::create_directories(file("config/cvnhost"));
    writeText(file("config/cvnhost/profiles.toml"), profile("car", "card") + profile("phone", "phone"));
    setenv("XDG_CONFIG_HOME", file("config").c_str(), 1);
    const ChildResult names = cvnhost({"profiles", "--names"});
    const ChildResult unknown = cvnhost({"sync", "phnoe"});
    const ChildResult mistyped = cvnhost({"sync", "car", "--bitrat", "96"});
    unsetenv("XDG_CONFIG_HOME");
    EXPECT_EQ(names.exitStatus, 0) << names.errors;
    EXPECT_EQ(names.output, "car\nphone\n");
    EXPECT_EQ(unknown.exitStatus, 2);
    EXPECT_NE(unknown.errors.find("no profile phnoe in " + file("config/cvnhost/profiles.toml") +
                                  "; the profiles are car, phone; did you mean phone?"),
              std::string::npos)
        << unknown.errors;
    EXPECT_EQ(mistyped.exitStatus, 2);
    EXPECT_NE(mistyped.errors.find("did you mean --bitrate?"), std::string::npos) << mistyped.errors;
}

} // namespace
} // namespace cvn::test
