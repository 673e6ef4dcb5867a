// Which input goes to which output, planned without the program.
#include "planning/manifest.h"
#include "planning/output_name.h"
#include "planning/output_plan.h"
#include "planning/shard.h"
#include "planning/write_plan.h"

#include "support/temporary_directory.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <optional>

namespace cvn::test {
namespace {

TEST(OutputPlan, PairsOrTheUsageError) {
    struct Case {
        std::vector<std::string> files;
        std::string output, outDirectory;
        std::vector<std::string> outputs; // empty: a usage error containing `error`
        std::string error;
    };
    const std::vector<Case> cases = {
        {{"a.wav", "a.mp3"}, "", "", {"a.mp3"}, ""},
        {{"a.wav"}, "b.mp3", "", {"b.mp3"}, ""},
        {{"x/a.flac", "y/b.wav"}, "", "out", {"out/a.mp3", "out/b.mp3"}, ""},
        {{"a.wav"}, "", "", {"a.mp3"}, ""},
        {{"x.mp3"}, "", "", {"x.mp3.mp3"}, ""},
        {{"a.wav", "b.wav", "c.wav"}, "", "", {}, "several inputs need --out-dir"},
        {{"a.wav", "b.wav"}, "o.mp3", "", {}, "--output takes one input"},
        {{"a.wav"}, "o.mp3", "out", {}, "exclude each other"},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto planned = cvnhost::planOutputs(
            {c.files, {}, c.output, c.outDirectory, "", {}, nullptr, {}, nullptr, nullptr}, error);
        if (c.outputs.empty()) {
            EXPECT_FALSE(planned) << c.error;
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            continue;
        }
        ASSERT_TRUE(planned) << error;
        std::vector<std::string> outputs;
        for (const cvnhost::Track& item : planned->tracks) {
            outputs.push_back(item.output);
        }
        EXPECT_EQ(outputs, c.outputs);
    }
}

// Every path a run writes, checked together: what it may not be, by path kind, and the partial
// name each track written gets.
TEST(WritePlan, PathsThatAreNoPlaceToWriteAreRefused) {
    TemporaryDirectory directory;
    const auto file = [&](const std::string& name) { return directory.file(name); };
    for (const std::string name : {"in.wav", "m.jsonl", "x.partial.mp3", "old.mp3"}) {
        std::ofstream(file(name)) << name;
    }
    std::filesystem::create_directory(file("folder"));
    ASSERT_EQ(mkfifo(file("fifo").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/null", file("null.mp3"));
    std::filesystem::create_symlink(file("in.wav"), file("linked.mp3"));
    std::filesystem::create_hard_link(file("in.wav"), file("hard.mp3"));
    std::filesystem::create_symlink(file("old.mp3"), file("to-old.mp3"));
    const std::string in = file("in.wav");
    const auto track = [](const std::string& input, const std::string& output) {
        return cvnhost::Track{input, output, {}, {}, {}, {}, {}, {}, {}};
    };
    const auto rules = [](const std::string& outDirectory, const std::string& manifest,
                          const std::string& report) {
        return cvnhost::WriteRules{outDirectory, manifest, report, false};
    };
    struct Case {
        const char* what;
        std::vector<cvnhost::Track> tracks;
        cvnhost::WriteRules rules;
        std::string error; // empty: planned
    };
    const std::vector<Case> cases = {
        {"the input itself", {track(in, in)}, rules("", "", ""), "the output would overwrite an input"},
        {"a link to the input",
         {track(in, file("linked.mp3"))},
         rules("", "", ""),
         "the output would overwrite an input"},
        {"a hard link of the input",
         {track(in, file("hard.mp3"))},
         rules("", "", ""),
         "the output would overwrite an input"},
        {"one output twice",
         {track(in, file("o.mp3")), track(file("b.wav"), file("o.mp3"))},
         rules("", "", ""),
         "would be written there"},
        {"the report over an input",
         {track(in, file("o.mp3"))},
         rules("", "", in),
         "--report " + in + ": would overwrite an input"},
        {"the report over the manifest",
         {track(in, file("o.mp3"))},
         rules("", file("m.jsonl"), file("m.jsonl")),
         "would overwrite the manifest"},
        {"the report over an output",
         {track(in, file("o.mp3"))},
         rules("", "", file("o.mp3")),
         "is the output of"},
        {"two outputs to -",
         {track(in, "-"), track(file("b.wav"), "-")},
         rules("", "", ""),
         "standard output (-) can take one file"},
        {"an output and the report to -",
         {track(in, "-")},
         rules("", "", "-"),
         "standard output (-) can take one file"},
        {"two inputs from -",
         {track("-", file("a.mp3")), track("-", file("b.mp3"))},
         rules("", "", ""),
         "standard input (-) can be read once"},
        {"the manifest and an input from -",
         {track("-", file("a.mp3"))},
         rules("", "-", ""),
         "standard input (-) can be read once"},
        {"outside --out-dir",
         {track(in, file("out/../../x.mp3"))},
         rules(file("out"), "", ""),
         "is outside --out-dir"},
        {"a FIFO", {track(in, file("fifo"))}, rules("", "", ""), "is a FIFO, not a regular file"},
        {"a directory", {track(in, file("folder"))}, rules("", "", ""), "is a directory, not a regular file"},
        {"a link to a device",
         {track(in, file("null.mp3"))},
         rules("", "", ""),
         "is a character device (/dev/null)"},
        {"a link to a file", {track(in, file("to-old.mp3"))}, rules("", "", ""), ""},
        {"standard output", {track(in, "-")}, rules("", "", file("report.jsonl")), ""},
    };
    for (const Case& c : cases) {
        std::vector<cvnhost::Track> tracks = c.tracks;
        std::string error;
        EXPECT_EQ(cvnhost::planWrites(tracks, {}, c.rules, error), c.error.empty())
            << c.what << ": " << error;
        EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
    }
    // x.partial.mp3 exists and x.partial-1.mp3 is another track's output: x's partial takes the next.
    std::vector<cvnhost::Track> tracks = {track(file("x.wav"), file("x.mp3")),
                                          track(in, file("x.partial-1.mp3"))};
    std::string error;
    ASSERT_TRUE(cvnhost::planWrites(tracks, {0, 1}, {"", "", "", true}, error)) << error;
    EXPECT_EQ(tracks[0].partial, file("x.partial-2.mp3"));
    EXPECT_EQ(tracks[1].partial, file("x.partial-1.partial.mp3"));
}

// Names from tags: padding, fallbacks, folders from the template only, characters that file
// systems refuse replaced.
TEST(OutputName, TemplatesGiveNamesFromTags) {
    cvnhost::TrackTags tags;
    tags.title = "What? A/B: \"Song\"";
    tags.artist = "Artist";
    tags.album = "...Album. ";
    tags.track = 3;
    tags.trackTotal = 12;
    tags.more["DISCNUMBER"] = {"2/3"};
    tags.more["DATE"] = {"2024-05-17"};
    struct Case {
        std::string nameTemplate, name;
    };
    const std::vector<Case> cases = {
        {"%albumartist%/%album%/%disc%-%track% - %title%", "Artist/Album/2-03 - What_ A_B_ _Song_"},
        {"%year% %track:3%of%tracktotal:2% 100%%", "2024 003of12 100%"},
        {"%genre%/%composer|Nobody%/%filename%", "Unknown Genre/Nobody/in"},
    };
    for (const Case& c : cases) {
        std::string error;
        ASSERT_TRUE(cvnhost::checkNameTemplate(c.nameTemplate, error)) << error;
        EXPECT_EQ(cvnhost::renderName(c.nameTemplate, tags, "in"), c.name) << c.nameTemplate;
    }
    EXPECT_EQ(cvnhost::renderName("%artist%/%track% %title%", cvnhost::TrackTags{}, "in"),
              "Unknown Artist/00 in");
    for (const std::string bad : {"%artst%", "%title:2%", "%track:x%", "%title", "/abs/%title%", ""}) {
        std::string error;
        EXPECT_FALSE(cvnhost::checkNameTemplate(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

// %disc+TEXT%: the disc and TEXT for an album of several discs, nothing for a lone disc; %disc%
// keeps its 0 for a track without a disc number.
TEST(OutputName, TheDiscIsLeftOutOfTheNameOfALoneDisc) {
    struct Case {
        std::optional<std::string> disc; // DISCNUMBER
        std::string nameTemplate, name;
    };
    const std::vector<Case> cases = {
        {std::nullopt, "%disc+-%%track% - %title%", "03 - Song"},
        {"1/1", "%disc+-%%track% - %title%", "03 - Song"},
        {"1/2", "%disc+-%%track% - %title%", "1-03 - Song"},
        {"2/2", "%disc+-%%track% - %title%", "2-03 - Song"},
        {"1", "%disc+-%%track% - %title%", "1-03 - Song"},
        {"2/2", "%album%/%disc:2+/%%track%", "Album/02/03"},
        {"1/1", "%album%/%disc:2+/%%track%", "Album/03"},
        {std::nullopt, "%disc%-%track% - %title%", "0-03 - Song"},
        {"1/1", "%disc%-%track% - %title%", "1-03 - Song"},
    };
    for (const Case& c : cases) {
        cvnhost::TrackTags tags;
        tags.title = "Song";
        tags.album = "Album";
        tags.track = 3;
        if (c.disc) {
            tags.more["DISCNUMBER"] = {*c.disc};
        }
        std::string error;
        ASSERT_TRUE(cvnhost::checkNameTemplate(c.nameTemplate, error)) << error;
        EXPECT_EQ(cvnhost::renderName(c.nameTemplate, tags, "in"), c.name)
            << c.nameTemplate << " " << c.disc.value_or("(no disc)");
    }
    for (const std::string bad : {"%track+-%", "%disctotal+-%", "%disc+-|x%", "%disc:x+-%"}) {
        std::string error;
        EXPECT_FALSE(cvnhost::checkNameTemplate(bad, error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
}

// Manifest lines: paths and tags read, and each fault named with its line.
TEST(Manifest, LinesAreReadAndFaultsNamedWithTheirLine) {
    std::string error;
    const auto entries = cvnhost::parseManifest(
        "{\"input\": \"a.flac\", \"output\": \"a.mp3\", \"tags\": {\"title\": \"A\", \"track\": \"3/12\", "
        "\"disc\": \"1/2\"}}\n\n{\"input\": \"b.wav\"}\n",
        "m", error);
    ASSERT_TRUE(entries) << error;
    ASSERT_EQ(entries->size(), 2u);
    EXPECT_EQ((*entries)[0].output, "a.mp3");
    EXPECT_EQ((*entries)[0].tags.title, "A");
    EXPECT_EQ((*entries)[0].tags.trackTotal, 12);
    EXPECT_EQ((*entries)[0].tags.more.at("DISCNUMBER").front(), "1/2");
    EXPECT_FALSE((*entries)[1].output);
    const std::vector<std::pair<std::string, std::string>> faults = {
        {"{\"input\": \"a\"}\n{\"input\": 3}", "m:2: \"input\" is not a path"},
        {"[1]", "m:1: not a JSON object"},
        {"{\"output\": \"x\"}", "m:1: no \"input\""},
        {"{\"input\": \"a\", \"tags\": {\"titel\": \"x\"}}", "m:1: unknown tag \"titel\""},
        {"{\"input\": \"a\", \"tags\": {\"track\": \"x\"}}", "m:1: the track \"x\""},
        {"{\"input\": \"a\", \"size\": 1}", "m:1: \"size\" is none of"},
    };
    for (const auto& [text, message] : faults) {
        EXPECT_FALSE(cvnhost::parseManifest(text, "m", error)) << text;
        EXPECT_EQ(error.rfind(message, 0), 0u) << error;
    }
}

// Shards: K/N parsed strictly; every input in exactly one shard, and the split near even.
TEST(Shard, EveryInputIsInExactlyOneShard) {
    for (const std::string bad : {"0/2", "3/2", "1/0", "1", "a/b", "1/2x", "-1/2"}) {
        EXPECT_FALSE(cvnhost::parseShard(bad)) << bad;
    }
    std::vector<size_t> sizes(3);
    for (int i = 0; i < 3000; ++i) {
        const std::string input = "lib/track" + std::to_string(i) + ".flac";
        int shards = 0;
        for (uint32_t k = 1; k <= 3; ++k) {
            if (cvnhost::belongsToShard(input, *cvnhost::parseShard(std::to_string(k) + "/3"))) {
                ++shards;
                ++sizes[k - 1];
            }
        }
        EXPECT_EQ(shards, 1) << input;
    }
    for (const size_t size : sizes) {
        EXPECT_NEAR(static_cast<double>(size), 1000, 100);
    }
}

} // namespace
} // namespace cvn::test
