#include "convertfile.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <optional>
#include <span>
#include <vector>

#include "convert/converters.h"
#include "convert/piececonverter.h"
#include "convert/reportlocator.h"
#include "convert/utf8report.h"
#include "convert/utf8step.h"
#include "document/errors.h"
#include "document/ioerror.h"
#include "document/lineends.h"
#include "document/loadreport.h"
#include "document/outputsink.h"
#include "document/piecereader.h"
#include "document/piecewriter.h"
#include "document/syscalls.h"
#include "document/textfile.h"
#include "messages.h"

namespace velmor {

namespace {

// A refusal found while the file was read, and where its cause stands.
struct Refused {
    Refusal reason;
    std::uint64_t line = 0;
    std::size_t column = 0;
    std::string bytes;
};

void refuseUnless(Direction direction, const ConversionFacts& facts,
                  const ConversionPolicy& policy) {
    const Ruling ruling = ruleOnConversion(direction, facts, policy);
    if (ruling.verdict != Verdict::Convert) throw Refused{ruling.reason, 0, 0, {}};
}

// The pre-scan of one piece towards VELMOR: a kanji-in sequence wherever its two
// bytes stand in `text`, the piece's text as the converter takes it (with
// `fromUtf8`, its code page 932 form, line for line the piece's), refused unless the
// policy converts anyway, with its place in the file.
void preScan(const LoadedPiece& piece, std::string_view text, bool fromUtf8, ConversionFacts& facts,
             const ConversionPolicy& policy) {
    const std::size_t at = findKanjiIn(text);
    facts.holdsKanjiIn = at != std::string::npos;
    const Ruling ruling = ruleOnConversion(Direction::ToVelmor, facts, policy);
    if (ruling.verdict == Verdict::Convert) return;
    Refused refused{ruling.reason, 0, 0, {}};
    if (at != std::string::npos) {
        std::size_t index = 0, lineStart = 0;  // text's line holding `at`, and where it starts
        for (std::size_t end = text.find("\r\n"); end < at; end = text.find("\r\n", end + 2)) {
            ++index;
            lineStart = end + 2;
        }
        std::size_t offset = at - lineStart;
        if (fromUtf8 && index < piece.lineEnds.size()) {  // the UTF-8 character it came from
            const std::size_t from = index == 0 ? 0 : piece.lineEnds[index - 1];
            std::string sjis;
            std::vector<std::size_t> sourceOf;
            Utf8Step(Utf8Step::Way::ToCp932)
                .convertMapped(
                    std::string_view(piece.text).substr(from, piece.lineEnds[index] - from), sjis,
                    sourceOf);
            if (offset < sourceOf.size()) offset = sourceOf[offset];
        }
        refused.column = offset + 1;
        if (!piece.raw.empty()) {  // loading dropped a CR of this piece: count it
            ConversionReport load;
            locateLoadEntries(piece.raw, load);
            refused.column = LoadColumnMap(load).fileColumn(index + 1, refused.column);
        }
        refused.line = piece.firstLine + index + 1;
        refused.bytes = text.substr(at, 2);
    }
    throw refused;
}

// Where a conversion reads and writes: the job's files, or bytes in memory and an
// output the caller gives.
struct Endpoints {
    const FileJob& job;
    std::optional<std::string_view> inputBytes;  // in place of job.input
    OutputSink* output = nullptr;                // in place of job.output
};

// The input: bytes in memory, standard input for "-", else the named file, a FIFO or
// device as a stream whose descriptor `stream` keeps.
void openInput(TextFileRec& input, sys::FileDescriptor& stream, const Endpoints& io,
               const ConvertSettings& settings) {
    AssignName(input, io.job.input);
    if (io.inputBytes) {
        OpenMemory(input, *io.inputBytes);
    } else if (io.job.input == kStandardStream) {
        OpenStream(input, settings.standardInput);
    } else {
        OpenReadOrStream(input, stream);
    }
    CheckIo(input);
}

std::unique_ptr<OutputSink> openOutput(const Endpoints& io, const ConvertSettings& settings,
                                       const TextFileRec& input, bool holdBack) {
    if (io.job.output == kStandardStream) {
        return openStreamSink(settings.standardOutput, io.job.output, holdBack);
    }
    return openPathSink(io.job.output, input.stream ? -1 : input.handle.get(), holdBack);
}

std::size_t lineCount(std::string_view text) {
    std::size_t lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string_view::npos;
         at = text.find("\r\n", at + 2)) {
        ++lines;
    }
    return lines;
}

// Converts `text`, a piece's lines as the converter takes them, into `converted` and
// its saved form with the line ends `ends` kept into `saved`. Where the conversion
// made a byte of a line into a line break, the lines no longer match the ends one to
// one: the text is converted again a line at a time, so that each end follows what
// became of its own line.
void convertKeepingEnds(std::string_view text, std::span<const LineEnd> ends,
                        PieceConverter& converter, std::string& converted, std::string& saved) {
    const PieceConverter before = converter;
    converter.convert(text, converted);
    saved.clear();
    if (lineCount(converted) == ends.size()) return appendSavedWithEnds(converted, ends, saved);
    converter = before;
    converted.clear();
    for (std::size_t line = 0, start = 0; start < text.size(); ++line) {
        std::size_t end = text.find("\r\n", start);
        end = end == std::string_view::npos ? text.size() : end + 2;
        const std::size_t from = converted.size();
        converter.convert(text.substr(start, end - start), converted);
        appendSavedWithEnds(std::string_view(converted).substr(from),
                            line < ends.size() ? ends.subspan(line, 1) : ends.subspan(0, 0), saved);
        start = end;
    }
}

// The pieces of one input through the converter into its output. Throws Refused,
// and EInOutError naming the file it concerns.
void convertPieces(const Endpoints& io, const ConvertSettings& settings, FileResult& result,
                   Progress* progress) {
    sys::FileDescriptor stream;
    TextFileRec input;
    openInput(input, stream, io, settings);
    TextFileGuard inputGuard(input);
    const bool keep = settings.keepLineEnds;
    // Kept for a report in any case: the bytes after an end mark are always told, and
    // a refusal's place is counted in the file's columns.
    std::optional<PieceReader> reader(std::in_place, input,
                                      ReadPlan{settings.chunkBytes, 2, true, keep});
    const Direction direction = settings.direction;
    const bool toUtf8 = settings.utf8 && direction == Direction::ToSjis;
    const bool fromUtf8 = settings.utf8 && direction == Direction::ToVelmor;
    std::optional<Utf8Step> step;
    if (settings.utf8) step.emplace(toUtf8 ? Utf8Step::Way::ToUtf8 : Utf8Step::Way::ToCp932);
    // A piece's text as the converter takes it: from UTF-8, after the UTF-8 step.
    std::string stepped;
    std::vector<CharsetLoss> stepLosses;
    const auto textOf = [&](const LoadedPiece& piece) -> std::string_view {
        if (!fromUtf8) return piece.text;
        stepped.clear();
        stepLosses.clear();
        step->convert(piece.text, stepped, settings.report ? &stepLosses : nullptr);
        return stepped;
    };
    const LoadedPiece* piece = reader->next();
    ConversionFacts facts;
    facts.noText = piece == nullptr || piece->text.empty();
    refuseUnless(direction, facts, settings.policy);
    if (facts.noText) piece = nullptr;  // an empty input converts to nothing at all
    std::string_view text = piece != nullptr ? textOf(*piece) : std::string_view();
    if (direction == Direction::ToVelmor && piece != nullptr) {
        preScan(*piece, text, fromUtf8, facts, settings.policy);
    }

    // Towards VELMOR a kanji-in found in a later piece refuses the whole file, as the
    // window's pre-scan does: standard output then waits until the end.
    const bool scansOn = direction == Direction::ToVelmor && !settings.policy.force;
    std::unique_ptr<OutputSink> opened;
    OutputSink* sink = settings.check ? nullptr : io.output;
    if (!settings.check && sink == nullptr) {
        opened = openOutput(io, settings, input, scansOn && piece != nullptr && !piece->last);
        sink = opened.get();
    }
    std::optional<PieceWriter> writer;
    if (sink) writer.emplace(*sink);
    try {
        PieceConverter converter(direction, settings.tables);
        std::string converted, saved, formed;
        const bool anyText = piece != nullptr;
        while (piece != nullptr) {
            converted.clear();
            // What goes out: the saved form with the line ends kept, or Document text
            // that the writer puts into the saved form.
            std::string* out = &converted;
            if (keep) {
                convertKeepingEnds(text, piece->ends, converter, converted, saved);
                out = &saved;
            } else {
                converter.convert(text, converted);
            }
            bool toUtf8Lost = false;
            if (toUtf8) {
                formed.clear();
                toUtf8Lost = step->convert(*out, formed);
                out->swap(formed);
            }
            if (settings.report) {
                const bool mayReport = converter.takeMayReport();
                if (fromUtf8) {
                    addFromUtf8Entries(*piece, text, stepLosses, settings.gaiji, mayReport,
                                       result.report);
                } else {
                    addPieceEntries(*piece, direction, settings.gaiji, mayReport, result.report);
                }
                if (toUtf8Lost) addToUtf8Entries(*piece, settings.tables, result.report);
            }
            if (writer && keep) writer->writeRaw(*out);
            if (writer && !keep) writer->handSaved(*out);
            result.bytesRead += piece->inputBytes;
            tell(progress, piece->inputBytes);
            piece = reader->next();
            if (piece == nullptr) break;
            text = textOf(*piece);
            if (scansOn) preScan(*piece, text, fromUtf8, facts, settings.policy);
        }
        if (reader->afterEndMark()) addAfterEndMark(*reader->afterEndMark(), result.report);
        result.report.sortByPlace();
        reader.reset();
        result.marked = converter.converted();
        if (writer) {
            if (anyText && !keep) writer->writeRaw(kFinalLineEnd);
            writer->finish();
            result.bytesWritten = writer->written();
        }
        CloseText(input);  // fails when another program changed the input meanwhile
        CheckIo(input);
        if (sink) sink->finish();
    } catch (...) {
        // Whatever ends the file early (a refusal found late, a failed read) gives the
        // output up at once, once its writer has stopped; a target written in place
        // whose old content cannot go back is then the error the user learns.
        writer.reset();
        if (sink) sink->abandon();
        throw;
    }
}

// The refusal as one line of standard error: the window's text, its CR LF breaks
// made spaces.
std::string refusalLine(Refusal reason) {
    std::string text;
    for (std::string_view rest = windowText(reason);;) {
        const std::size_t at = rest.find("\r\n");
        text += rest.substr(0, at);
        if (at == std::string_view::npos) return text;
        text += ' ';
        rest.remove_prefix(at + 2);
    }
}

FileResult convertOnce(const Endpoints& io, const ConvertSettings& settings, Progress* progress) {
    const FileJob& job = io.job;
    FileResult result;
    try {
        convertPieces(io, settings, result, progress);
        return result;
    } catch (const Refused& refused) {
        result.outcome = FileOutcome::Refused;
        result.refusal = refused.reason;
        result.path = job.input;
        result.message = refusalLine(refused.reason);
        result.line = refused.line;
        result.column = refused.column;
        result.bytes = refused.bytes;
        return result;
    } catch (const EInOutError& error) {
        result.code = error.ErrorCode;
        result.systemError = error.SystemError;
        result.keptCopy = error.KeptCopy;
        result.message = error.message();
        result.path = error.FileName;
        result.resourcesShort = error.ErrorCode == kIoTooManyOpenFiles;
        result.closedReader = error.SystemError == EPIPE && error.FileName == job.output;
    } catch (const Exception& error) {
        result.message = error.message();
        result.path = job.input;
    } catch (const std::bad_alloc&) {
        result.message = kMsgOutOfMemory;
        result.path = job.input;
        result.resourcesShort = true;
    }
    result.outcome = FileOutcome::Failed;
    return result;
}

// With `strict`, a first pass finds whether anything would be lost.
FileResult convertChecked(const Endpoints& io, const ConvertSettings& settings,
                          Progress* progress) {
    const FileJob& job = io.job;
    if (settings.policy.strict && !settings.check) {
        ConvertSettings firstPass = settings;
        firstPass.check = true;
        firstPass.report = true;
        FileResult checked = convertOnce(io, firstPass, nullptr);
        if (checked.outcome != FileOutcome::Converted) return checked;
        ConversionFacts facts;
        facts.wouldLose = !checked.report.empty();
        const Ruling ruling = ruleOnConversion(settings.direction, facts, settings.policy);
        if (ruling.verdict != Verdict::Convert) {
            checked.outcome = FileOutcome::Refused;
            checked.refusal = ruling.reason;
            checked.path = job.input;
            checked.message = refusalLine(ruling.reason);
            const ReportEntry& first = checked.report.entries().front();
            checked.line = first.line;
            checked.column = first.column;
            checked.bytes = first.bytes;
            return checked;
        }
    }
    return convertOnce(io, settings, progress);
}

}  // namespace

FileResult convertFile(const FileJob& job, const ConvertSettings& settings, Progress* progress) {
    return convertChecked({job, std::nullopt, nullptr}, settings, progress);
}

FileResult convertBytes(std::string_view input, OutputSink& output, const ConvertSettings& settings,
                        const std::string& name) {
    const FileJob job{name, name};
    return convertChecked({job, input, &output}, settings, nullptr);
}

}  // namespace velmor
