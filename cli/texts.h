#pragma once

#include <cstddef>
#include <string>

#include "commands/convertfile.h"
#include "convert/gaijitable.h"
#include "document/errors.h"
#include "document/report.h"

namespace velmor {

// velmor-convert's own words for what happened to a file, translated (i18n.h). The
// window says the same things in its own texts (messages.h, reporttexts.h), which
// ask questions and name keys the command line has no use for.

// A path as the report and the messages show it: "<stdin>" and "<stdout>" for "-".
std::string shownInput(const std::string& path);
std::string shownOutput(const std::string& path);

// Why a file was refused, where, and which option changes it.
std::string refusalText(const FileResult& result);

// A failed file: what failed and its code, once, then the system's own text
// (strerror) where an errno is behind it, then where old content is kept.
std::string failureText(const FileResult& result);

// failureText for a file error outside a file's conversion.
std::string ioFailureText(const EInOutError& error);

// A file error's code as words and the code, "file not found (2)".
std::string ioCodeText(int code);

// The one-line summary of what a file loses, as the window's summary says it.
std::string lossSummary(const ConversionReport& report);

// The bytes after an end mark, with the line they start at.
std::string endMarkText(const ReportEntry& entry);

// One entry of --report, after "PATH:LINE:COLUMN: KIND: ".
std::string entryText(const ReportEntry& entry);

// A gaiji table that cannot be used: "PATH:LINE: what is wrong".
std::string gaijiTableText(const EGaijiTableError& error);

// The gaiji table in use: "gaiji table PATH (N entries)".
std::string gaijiInUseText(const std::string& path, std::size_t entries);

}  // namespace velmor
