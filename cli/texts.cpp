#include "texts.h"

#include <cstring>

#include "commands/reporttexts.h"
#include "document/ioerror.h"
#include "i18n.h"

namespace velmor {

namespace {

std::string number(std::uint64_t n) {
    return std::to_string(n);
}

// What a summary says of `count` entries of one kind (bytes for AfterEndMark).
std::string kindSummary(ReportKind kind, std::size_t count) {
    const std::string n = number(count);
    switch (kind) {
        case ReportKind::AfterEndMark:
            return fill(trn("%1 byte after an end mark (Ctrl-Z) was not read",
                            "%1 bytes after an end mark (Ctrl-Z) were not read", count),
                        {n});
        case ReportKind::LoneCr:
            return fill(trn("%1 lone CR was dropped", "%1 lone CRs were dropped", count), {n});
        case ReportKind::Gaiji:
            return fill(trn("%1 gaiji (user-defined character) became two spaces",
                            "%1 gaiji (user-defined characters) became two spaces", count),
                        {n});
        case ReportKind::OutsideRanges:
            return fill(trn("%1 double-byte character outside the converted ranges was left "
                            "as single bytes",
                            "%1 double-byte characters outside the converted ranges were left "
                            "as single bytes",
                            count),
                        {n});
        case ReportKind::LoneLeadByte:
            return fill(trn("%1 double-byte character is cut at a line end",
                            "%1 double-byte characters are cut at line ends", count),
                        {n});
        case ReportKind::InvalidPair:
            return fill(trn("%1 pair that is no kanji code was converted",
                            "%1 pairs that are no kanji codes were converted", count),
                        {n});
        case ReportKind::CutPair:
            return fill(trn("%1 kanji pair is cut at a line end",
                            "%1 kanji pairs are cut at line ends", count),
                        {n});
        case ReportKind::IbmExtension:
            return fill(trn("%1 IBM extension character (FA40-FC4B), which VELMOR has no code "
                            "for, became two spaces",
                            "%1 IBM extension characters (FA40-FC4B), which VELMOR has no code "
                            "for, became two spaces",
                            count),
                        {n});
        case ReportKind::NoCp932:
            return fill(trn("%1 character with no Shift-JIS form became 〓 (81 AC)",
                            "%1 characters with no Shift-JIS form became 〓 (81 AC)", count),
                        {n});
        case ReportKind::NoUnicode:
            return fill(trn("%1 byte sequence that makes no character was replaced",
                            "%1 byte sequences that make no character were replaced", count),
                        {n});
    }
    return {};
}

// What the program itself knows of a code it set without an errno behind it.
const char* ownReason(int code) {
    switch (code) {
        case kIoNotRegularFile:
            return tr("not a file, FIFO or character device");
        case kIoDiskFull:
            return tr("nothing more could be written");
        case kIoFileTooLarge:
            return tr("larger than this process may write (ulimit -f)");
        default:
            return nullptr;
    }
}

}  // namespace

std::string shownInput(const std::string& path) {
    return path == kStandardStream ? "<stdin>" : path;
}

std::string shownOutput(const std::string& path) {
    return path == kStandardStream ? "<stdout>" : path;
}

std::string refusalText(const FileResult& result) {
    const std::string line = number(result.line), column = number(result.column);
    switch (result.refusal) {
        case Refusal::HoldsKanjiIn:
            return fill(tr("line %1, column %2: kanji-in sequence %3: the input seems to be "
                           "VELMOR already; --force converts anyway"),
                        {line, column, reportBytesHex(result.bytes)});
        case Refusal::WouldLose:
            return fill(tr("line %1, column %2: the conversion would lose meaning here "
                           "(--report lists every place); without --strict it converts anyway"),
                        {line, column});
        case Refusal::NoText:
            return tr("the input is empty");
        case Refusal::DoneBefore:
        case Refusal::None:
            break;
    }
    return tr("refused");
}

std::string ioCodeText(int code) {
    const std::string n = number(static_cast<std::uint64_t>(code));
    switch (code) {
        case kIoFileNotFound:
            return fill(tr("file not found (%1)"), {n});
        case kIoPathNotFound:
            return fill(tr("invalid file name (%1)"), {n});
        case kIoTooManyOpenFiles:
            return fill(tr("too many open files (%1)"), {n});
        case kIoAccessDenied:
            return fill(tr("access denied (%1)"), {n});
        case kIoFileChanged:
            return fill(tr("the file changed while it was read (%1)"), {n});
        default:
            return fill(tr("I/O error (%1)"), {n});
    }
}

std::string failureText(const FileResult& result) {
    if (result.code == 0) {  // no file error: lack of memory, or another failure in its own words
        return result.resourcesShort ? tr("out of memory") : result.message;
    }
    std::string text = ioCodeText(result.code);
    if (result.systemError != 0) {
        text += std::string(": ") + std::strerror(result.systemError);
    } else if (const char* reason = ownReason(result.code)) {
        text += std::string(": ") + reason;
    }
    if (!result.keptCopy.empty()) {
        text += fill(tr("; the old content is kept in %1"), {result.keptCopy});
    }
    return text;
}

std::string ioFailureText(const EInOutError& error) {
    FileResult failed;
    failed.code = error.ErrorCode;
    failed.systemError = error.SystemError;
    failed.keptCopy = error.KeptCopy;
    return failureText(failed);
}

std::string lossSummary(const ConversionReport& report) {
    const ReportDigest digest = digestReport(report);
    if (digest.entries == 0) return {};
    std::string text = digest.kinds > 1
                           ? fill(trn("%1 place loses meaning in the conversion",
                                      "%1 places lose meaning in the conversion", digest.entries),
                                  {number(digest.entries)})
                           : kindSummary(digest.only, digest.onlyCount);
    const std::string line = number(digest.firstLine);
    text += digest.entries > 1 ? fill(tr(" (line %1 and more; --report lists them)"), {line})
                               : fill(tr(" (line %1; --report tells more)"), {line});
    return text;
}

std::string endMarkText(const ReportEntry& entry) {
    return fill(trn("line %1: %2 byte after an end mark (Ctrl-Z) at the start of the line "
                    "was not read",
                    "line %1: %2 bytes after an end mark (Ctrl-Z) at the start of the line "
                    "were not read",
                    entry.length),
                {number(entry.line), number(entry.length)});
}

std::string entryText(const ReportEntry& entry) {
    const std::string bytes = reportBytesHex(entry.bytes);
    switch (entry.kind) {
        case ReportKind::AfterEndMark:
            return fill(trn("%1 byte after an end mark (Ctrl-Z) was not read",
                            "%1 bytes after an end mark (Ctrl-Z) were not read", entry.length),
                        {number(entry.length)});
        case ReportKind::LoneCr:
            return tr("a lone CR was dropped");
        case ReportKind::Gaiji:
            return fill(tr("gaiji %1 became two spaces"), {bytes});
        case ReportKind::OutsideRanges:
            return fill(tr("double-byte character %1 outside the converted ranges was left as "
                           "single bytes"),
                        {bytes});
        case ReportKind::LoneLeadByte:
            return fill(tr("a double-byte character is cut at the line end (%1)"), {bytes});
        case ReportKind::InvalidPair:
            return fill(tr("pair %1 is no kanji code and was converted all the same"), {bytes});
        case ReportKind::CutPair:
            return fill(tr("a kanji pair is cut at the line end (%1)"), {bytes});
        case ReportKind::IbmExtension:
            return fill(tr("IBM extension character %1 (code page 932 FA40-FC4B) has no VELMOR "
                           "code and became two spaces"),
                        {bytes});
        case ReportKind::NoCp932:
            return fill(tr("character %1 has no Shift-JIS form and became 〓 (81 AC)"), {bytes});
        case ReportKind::NoUnicode:
            return fill(tr("byte sequence %1 makes no character and was replaced"), {bytes});
    }
    return {};
}

std::string gaijiTableText(const EGaijiTableError& error) {
    const std::string& field = error.Field;
    std::string what;
    switch (error.Problem) {
        case GaijiProblem::VelmorNotHex:
            what = fill(tr("VELMOR pair \"%1\" is not four hex digits"), {field});
            break;
        case GaijiProblem::NoSjisCode:
            what = tr("the Shift-JIS code is missing");
            break;
        case GaijiProblem::SjisNotHex:
            what = fill(tr("Shift-JIS code \"%1\" is not four hex digits"), {field});
            break;
        case GaijiProblem::VelmorSpace:
            what = fill(tr("VELMOR pair %1 is the ideographic space (first byte 20)"), {field});
            break;
        case GaijiProblem::VelmorKanjiIn:
            what = fill(tr("VELMOR pair %1 is a kanji-in sequence"), {field});
            break;
        case GaijiProblem::VelmorKanjiOut:
            what = fill(tr("VELMOR pair %1 is the kanji-out sequence"), {field});
            break;
        case GaijiProblem::VelmorControlByte:
            what = fill(tr("VELMOR pair %1 holds a byte 0A, 0D or 1A"), {field});
            break;
        case GaijiProblem::SjisBadLead:
            what =
                fill(tr("the first byte of Shift-JIS code %1 is not in 81-9F or E0-FC"), {field});
            break;
        case GaijiProblem::SjisBadTrail:
            what =
                fill(tr("the second byte of Shift-JIS code %1 is not in 40-7E or 80-FC"), {field});
            break;
        case GaijiProblem::VelmorAgain:
            what = fill(tr("VELMOR pair %1 is on line %2 too"), {field, number(error.EarlierLine)});
            break;
        case GaijiProblem::SjisAgain:
            what =
                fill(tr("Shift-JIS code %1 is on line %2 too"), {field, number(error.EarlierLine)});
            break;
    }
    return error.FileName + ":" + number(error.Line) + ": " + what;
}

std::string gaijiInUseText(const std::string& path, std::size_t entries) {
    return fill(trn("gaiji table %1 (%2 entry)", "gaiji table %1 (%2 entries)", entries),
                {path, number(entries)});
}

}  // namespace velmor
