#pragma once

#include <string>

#include "document.h"
#include "piecereader.h"
#include "progress.h"
#include "report.h"

namespace velmor {

// How the window reads a file: pieces of a few megabytes, loaded on every core.
ReadPlan windowReadPlan();

// Loads the file `OpenFileName` into the Document: every line read gets one space
// appended and is added with AppendLine. The Document is not cleared first.
// Throws EInOutError when a file step fails; lines added before stay.
// With a `report`, what the load left out (lone CRs, bytes after an end mark) is
// added to it. `progress` is told the file's bytes as they are loaded, and may stop
// the load (EAbort). The file is read and loaded as `plan` says, which changes
// nothing in the result.
void memo1set(Document& doc, const std::string& OpenFileName, ConversionReport* report = nullptr,
              Progress* progress = nullptr, const ReadPlan& plan = windowReadPlan());

// Writes the Document to `SaveFileName`: every line (without the space loading
// appended) followed by CR LF, then one more CR LF. A failed save leaves the old
// file as it was. Throws EInOutError when a file step fails. `progress` is told the
// text's bytes as they are written, and may stop the save (EAbort), which leaves the
// old file as it was too, until the new file starts to replace the old one; a cancel
// after that is refused (Progress::cancelRefused), and the save completes.
void memo1_get_out(const Document& doc, const std::string& SaveFileName,
                   Progress* progress = nullptr);

// Adds a loaded piece to the Document, as AppendLine would add each of its lines: as
// a piece of its own, taking its text, where the Document is empty or ends in CR LF.
void appendPiece(Document& doc, LoadedPiece& piece);

// True when `path` names an existing entry that is not a folder: the test made
// before asking whether to overwrite.
bool fileExists(const std::string& path);

}  // namespace velmor
