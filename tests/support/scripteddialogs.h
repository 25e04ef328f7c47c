#pragma once

#include <deque>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "commands/userdialogs.h"

namespace velmor::testing {

// UserDialogs with answers given in advance. Records every question asked, so a
// test can check texts, kinds and buttons; a question without a scripted answer
// fails the test by throwing.
class ScriptedDialogs : public UserDialogs {
  public:
    struct Question {
        std::string text;
        MsgKind kind;
        MsgButtons buttons;
    };
    struct FileRequest {
        FileDialogKind kind;
        std::string filter;
        std::string shownName;
        int filterIndex;
    };

    // Queues the answer to the next message box.
    ScriptedDialogs& answer(int result) {
        answers_.push_back(result);
        return *this;
    }
    // Queues the path the next file dialog returns; std::nullopt cancels it.
    ScriptedDialogs& choose(std::optional<std::string> path) {
        files_.push_back(std::move(path));
        return *this;
    }
    // Answers every message box that has no scripted answer with `result`.
    void answerAllWith(int result) { fallback_ = result; }

    int messageBox(std::string_view text, MsgKind kind, MsgButtons buttons) override {
        questions.push_back({std::string(text), kind, buttons});
        if (answers_.empty()) {
            if (fallback_) return *fallback_;
            throw std::logic_error("unexpected message box: " + std::string(text));
        }
        int result = answers_.front();
        answers_.pop_front();
        return result;
    }

    bool runFileDialog(FileDialogKind kind, FileDialogState& state) override {
        fileRequests.push_back({kind, state.filter, state.fileName, state.filterIndex});
        if (files_.empty()) throw std::logic_error("unexpected file dialog");
        std::optional<std::string> path = files_.front();
        files_.pop_front();
        if (!path) return false;
        state.fileName = *path;
        return true;
    }

    bool allAnswersUsed() const { return answers_.empty() && files_.empty(); }

    std::vector<Question> questions;
    std::vector<FileRequest> fileRequests;

  private:
    std::deque<int> answers_;
    std::deque<std::optional<std::string>> files_;
    std::optional<int> fallback_;
};

}  // namespace velmor::testing
