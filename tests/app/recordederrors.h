#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/errordisplay.h"

namespace velmor::testing {

// An error text split where a file error's detail line begins: at a bare LF (the
// messages' own line breaks are CR LF).
inline std::pair<std::string, std::string> splitDetail(const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            return {text.substr(0, i), text.substr(i + 1)};
    }
    return {text, {}};
}

// Records the texts the error display is given while installed, instead of
// showing a box: the message in `texts`, a file error's detail line in `details`.
struct RecordedErrors {
    RecordedErrors()
        : previous(installErrorSink([this](const std::string& text) {
              auto [message, detail] = splitDetail(text);
              texts.push_back(std::move(message));
              details.push_back(std::move(detail));
          })) {}
    ~RecordedErrors() { installErrorSink(std::move(previous)); }
    RecordedErrors(const RecordedErrors&) = delete;
    RecordedErrors& operator=(const RecordedErrors&) = delete;

    std::vector<std::string> texts;
    std::vector<std::string> details;
    ErrorSink previous;
};

}  // namespace velmor::testing
