#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "document.h"
#include "loadparts.h"
#include "report.h"

namespace velmor {

// Called now and then during a load or save with the bytes done so far. It stops
// the step by throwing (EAbort when the user cancelled); the step then ends as a
// failed one: a save leaves the old file as it was.
using StepCheck = std::function<void(std::size_t bytesDone)>;

// Loads the file `OpenFileName` into the Document: every line read gets one space
// appended and is added with AppendLine. The Document is not cleared first.
// Throws EInOutError when a file step fails; lines added before stay.
// With a `report`, what the load left out (lone CRs, bytes after an end mark) is
// added to it. A long file is loaded in parts cut by `cut`, which changes nothing
// in the result.
void memo1set(Document& doc, const std::string& OpenFileName, ConversionReport* report = nullptr,
              const StepCheck& check = {}, const PartCut& cut = PartCut::forThisMachine());

// Writes the Document to `SaveFileName`: every line (without the space loading
// appended) followed by CR LF, then one more CR LF. A failed save leaves the old
// file as it was. Throws EInOutError when a file step fails.
void memo1_get_out(const Document& doc, const std::string& SaveFileName,
                   const StepCheck& check = {});

// True when `path` names an existing entry that is not a folder: the test made
// before asking whether to overwrite.
bool fileExists(const std::string& path);

}  // namespace velmor
