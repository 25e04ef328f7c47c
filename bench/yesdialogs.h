#pragma once

#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "commands/userdialogs.h"

namespace velmor::bench {

// Answers like a user who lets every command go ahead: Yes where Yes is offered,
// otherwise OK. Counts the questions and keeps the notices (a command telling why it
// refused); with `echo`, every text also goes to stderr as it is shown.
class YesDialogs : public UserDialogs {
  public:
    explicit YesDialogs(bool echo = false) : echo_(echo) {}

    int messageBox(std::string_view text, MsgKind kind, MsgButtons buttons) override {
        if (echo_) {
            std::fprintf(stderr, "velmor-bench: %.*s\n", static_cast<int>(text.size()),
                         text.data());
        }
        if (kind == MsgKind::Confirmation) {
            ++questions;
        } else {
            notices.emplace_back(text);
        }
        return (buttons & mbYes) ? mrYes : mrOk;
    }
    bool runFileDialog(FileDialogKind, FileDialogState&) override { return false; }

    int questions = 0;
    std::vector<std::string> notices;

  private:
    bool echo_;
};

}  // namespace velmor::bench
