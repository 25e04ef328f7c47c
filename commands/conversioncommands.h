#pragma once

#include "longstep.h"
#include "userdialogs.h"
#include "workspace.h"

namespace velmor {

// The conversion commands of the Convert menu. Each works on the whole Document in
// place, tells the user through `dialogs` why it refuses, and never touches a file.

// VELMOR->SJIS.
void velmor_sjisClick(Workspace& ws, UserDialogs& dialogs);
// SJIS->VELMOR, asking first when the text already holds VELMOR kanji-in sequences.
void sjis_velmorClick(Workspace& ws, UserDialogs& dialogs);
// The same, with the conversion and the replacement run through `runner`.
void velmorSjisThrough(Workspace& ws, UserDialogs& dialogs, const StepRunner& runner);
void sjisVelmorThrough(Workspace& ws, UserDialogs& dialogs, const StepRunner& runner);
// The pre-scan: sets ws.scan.HasVelmorCodes to 1 when a kanji-in stands anywhere.
void velmor_check(Workspace& ws, UserDialogs& dialogs);

}  // namespace velmor
