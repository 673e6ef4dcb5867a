// Which input goes to which output, planned without the program.
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
        const auto items = cvnhost::planOutputs(c.files, c.output, c.outDirectory, error);
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

} // namespace
} // namespace cvn::test
