#pragma once

#include <stdlib.h>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tempfolder.h"

namespace velmor::testing {

// A state folder of the test's own (XDG_STATE_HOME) for its lifetime: where writes in
// place keep old content and record their temporary names.
class ScopedStateFolder {
  public:
    ScopedStateFolder() {
        if (const char* value = ::getenv("XDG_STATE_HOME")) previous_ = value;
        ::setenv("XDG_STATE_HOME", home_.path().c_str(), 1);
    }
    ~ScopedStateFolder() {
        if (previous_) {
            ::setenv("XDG_STATE_HOME", previous_->c_str(), 1);
        } else {
            ::unsetenv("XDG_STATE_HOME");
        }
    }
    ScopedStateFolder(const ScopedStateFolder&) = delete;
    ScopedStateFolder& operator=(const ScopedStateFolder&) = delete;

    std::string path() const { return home_ / "velmor-kanji"; }
    // The names in it, for instance to tell that nothing is left.
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        std::error_code missing;
        for (const auto& entry : std::filesystem::directory_iterator(path(), missing)) {
            names.push_back(entry.path().filename().string());
        }
        return names;
    }
    // The files that keep old content.
    std::vector<std::string> keptCopies() const {
        std::vector<std::string> kept;
        for (const std::string& name : entries()) {
            if (name.ends_with(".old")) kept.push_back(path() + "/" + name);
        }
        return kept;
    }

  private:
    TempFolder home_;
    std::optional<std::string> previous_;
};

}  // namespace velmor::testing
