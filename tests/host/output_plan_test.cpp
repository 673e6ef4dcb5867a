// Which input goes to which output, planned without the program.
#include "output_name.h"
#include "output_plan.h"

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
        const auto items = cvnhost::planOutputs({c.files, c.output, c.outDirectory, "", nullptr}, error);
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

} // namespace
} // namespace cvn::test
