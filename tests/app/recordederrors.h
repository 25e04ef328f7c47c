#pragma once

#include <string>
#include <utility>
#include <vector>

#include "app/errordisplay.h"

namespace velmor::testing {

// Records the texts the error display is given while installed, instead of
// showing a box.
struct RecordedErrors {
    RecordedErrors()
        : previous(installErrorSink([this](const std::string& text) { texts.push_back(text); })) {}
    ~RecordedErrors() { installErrorSink(std::move(previous)); }
    RecordedErrors(const RecordedErrors&) = delete;
    RecordedErrors& operator=(const RecordedErrors&) = delete;

    std::vector<std::string> texts;
    ErrorSink previous;
};

}  // namespace velmor::testing
