// Plays the user for the plug-in's message boxes while it lives: each box is read and closed with
// OK, and its text recorded. On Windows a helper thread finds the real box by its caption and
// presses OK; on Linux the platform layer's message box handler is replaced.
#pragma once

#include <string>
#include <vector>

namespace cvn::test {

class MessageBoxes {
  public:
    MessageBoxes();
    ~MessageBoxes();
    MessageBoxes(const MessageBoxes&) = delete;
    MessageBoxes& operator=(const MessageBoxes&) = delete;

    // The texts of the boxes with the caption "Quenmark" shown so far, in order. A box with any
    // other caption is recorded as "<caption>: <text>", so that a wrong caption shows in a failure.
    std::vector<std::string> texts() const;
};

} // namespace cvn::test
