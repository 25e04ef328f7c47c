#pragma once

#include <functional>

#include "document/progress.h"

namespace velmor {

// A load, conversion, save or search that may take long: the window runs it on a
// worker thread and shows its progress; each tells the input bytes done, and stops
// when the user cancels.
enum class StepKind { Load, Convert, Save, Find };

// Runs `step` (which tells `progress`) and returns when it has ended, passing on
// what it threw.
using StepRunner =
    std::function<void(StepKind kind, Progress& progress, const std::function<void()>& step)>;

}  // namespace velmor
