// The rules of a run's plan, without the program: manifest lines as editors and schedulers write
// them, the split into shards, and names from tags that stay below their folder.
#include "planning/manifest.h"
#include "planning/output_name.h"
#include "planning/shard.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace {

// Lines as other tools write them: a BOM, CRLF, blank lines, numbers at the edges of the limit.
TEST(ManifestLines, WhatIsTakenAndWhatIsNamedAsAFault) {
    struct Case {
        std::string text;
        std::optional<int> track, total; // of the last entry, when `fault` is empty
        std::string fault;               // the start of the error
    };
    const std::string a = "{\"input\": \"a\"}";
    const auto withTrack = [](const std::string& track) {
        return "{\"input\": \"a\", \"tags\": {\"track\": \"" + track + "\"}}";
    };
    const std::vector<Case> cases = {
        {"\xEF\xBB\xBF" + withTrack("3/12"), 3, 12, ""},
        {"\xEF\xBB\xBF\r\n" + withTrack("5"), 5, std::nullopt, ""},
        {a + "\r\n\r\n" + withTrack("300") + "\r\n", 300, std::nullopt, ""},
        {" \t\n" + withTrack("999/999"), 999, 999, ""},
        {withTrack(" 7 / 12 "), 7, 12, ""},
        {withTrack("3/"), 3, std::nullopt, ""},
        {withTrack("1000"), {}, {}, "m:1: the track \"1000\""},
        {withTrack("0"), {}, {}, "m:1: the track \"0\""},
        {withTrack("/12"), {}, {}, "m:1: the track \"/12\""},
        {a + "\n\n" + withTrack("-1"), {}, {}, "m:3: the track \"-1\""},
        {"input: a", {}, {}, "m:1: not a JSON object"},
        {a + "\n{\"input\": \"b\"", {}, {}, "m:2: not a JSON object"},
        {"{\"input\": \"a\", \"tags\": {\"track\": 3}}", {}, {}, "m:1: the tag \"track\" is not a text"},
        {"{\"input\": \"a\", \"tags\": [\"x\"]}", {}, {}, "m:1: \"tags\" is not an object"},
        {"{\"input\": \"a\", \"output\": null}", {}, {}, "m:1: \"output\" is not a path"},
        {"{\"input\": \"\"}", {}, {}, "m:1: \"input\" is not a path"},
    };
    for (const Case& c : cases) {
        std::string error;
        const auto entries = cvnhost::parseManifest(c.text, "m", error);
        if (!c.fault.empty()) {
            EXPECT_FALSE(entries) << c.text;
            EXPECT_EQ(error.rfind(c.fault, 0), 0u) << c.text << ": " << error;
            continue;
        }
        ASSERT_TRUE(entries && !entries->empty()) << c.text << ": " << error;
        EXPECT_EQ(entries->back().input, "a");
        EXPECT_EQ(entries->back().tags.track, c.track) << c.text;
        EXPECT_EQ(entries->back().tags.trackTotal, c.total) << c.text;
    }
}

TEST(ShardSplit, KOfNStrictlyWithinUnsignedRange) {
    const std::vector<std::pair<std::string, std::optional<uint32_t>>> cases = {
        {"1/1", 1},           {"01/02", 1}, {"4294967295/4294967295", 4294967295u},
        {"1/4294967296", {}}, {" 1/2", {}}, {"1/2 ", {}},
        {"1/2/3", {}},        {"/", {}},    {"", {}},
    };
    for (const auto& [text, index] : cases) {
        const std::optional<cvnhost::Shard> shard = cvnhost::parseShard(text);
        EXPECT_EQ(shard ? std::optional<uint32_t>(shard->index) : std::nullopt, index) << text;
    }
    EXPECT_TRUE(cvnhost::belongsToShard("any/input.flac", {1, 1}));
}

// A tag's text never leaves its folder or names one "." or ".."; numbers beyond their width are whole.
TEST(NameTemplate, TagsStayWithinTheirFolderAndNumbersWhole) {
    struct Case {
        std::optional<std::string> album;
        int track;
        std::string nameTemplate, name;
    };
    const std::vector<Case> cases = {
        {"..", 3, "%album%/%track% %title%", "_/03 Song"},
        {"../../etc", 3, "%album%/%title%", "_.._etc/Song"},
        {"a\tb\x7F", 3, "%album%", "a_b_"},
        {"Album", 300, "%track% %track:1%", "300 300"},
        {std::nullopt, 3, "%album|..%/%title%", "_/Song"},
    };
    for (const Case& c : cases) {
        cvnhost::TrackTags tags;
        tags.title = "Song";
        tags.album = c.album;
        tags.track = c.track;
        std::string error;
        ASSERT_TRUE(cvnhost::checkNameTemplate(c.nameTemplate, error)) << c.nameTemplate << ": " << error;
        EXPECT_EQ(cvnhost::renderName(c.nameTemplate, tags, "in"), c.name) << c.nameTemplate;
    }
    for (const std::string bad : {"%track:10%", "%track:-1%", "a%", "%title%%", "%|x%"}) {
        std::string error;
        EXPECT_FALSE(cvnhost::checkNameTemplate(bad, error)) << bad;
    }
}

} // namespace
