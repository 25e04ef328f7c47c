#pragma once

#include <functional>

#include "commands/longstep.h"

class QWidget;

namespace velmor {

// Runs `step` on a worker thread. If it has not ended after half a second, a modal
// progress box over `owner` shows what is being done and how far it got, with
// キャンセル, which asks `progress` to stop; the box stays until the worker has
// ended, so no other command can start meanwhile. Rethrows what `step` threw.
void runLongStep(QWidget* owner, StepKind kind, Progress& progress,
                 const std::function<void()>& step);

}  // namespace velmor
