// Which input goes to which output, planned without the program.
#include "manifest.h"
#include "output_name.h"
#include "output_plan.h"
#include "shard.h"

#include <gtest/gtest.h>

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
        {{"a.wav"}, "", "", {}, "needs an INPUT and an OUTPUT"},
        {{"a.wav", "b.wav", "c.wav"}, "", "", {}, "several inputs need --out-dir"},
        {{"a.wav", "b.wav"}, "o.mp3", "", {}, "--output takes one input"},
        {{"a.wav"}, "o.mp3", "out", {}, "exclude each other"},
        {{"x/a.wav", "y/a.flac"}, "", "out", {}, "would be written there"},
        {{"a.wav", "a.wav"}, "", "", {}, "would overwrite an input"},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto items =
            cvnhost::planOutputs({c.files, {}, c.output, c.outDirectory, "", {}, nullptr}, error);
        if (c.outputs.empty()) {
            EXPECT_FALSE(items) << c.error;
            EXPECT_NE(error.find(c.error), std::string::npos) << error;
            continue;
        }
        ASSERT_TRUE(items) << error;
        std::vector<std::string> outputs;
        for (const cvnhost::BatchItem& item : *items) {
            outputs.push_back(item.output);
        }
        EXPECT_EQ(outputs, c.outputs);
    }
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
