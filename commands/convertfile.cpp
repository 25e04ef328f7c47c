#include "convertfile.h"

#include <algorithm>
#include <cerrno>
#include <memory>
#include <new>
#include <optional>
#include <span>

#include "convert/converters.h"
#include "convert/piececonverter.h"
#include "convert/reportlocator.h"
#include "document/errors.h"
#include "document/ioerror.h"
#include "document/lineends.h"
#include "document/loadreport.h"
#include "document/outputsink.h"
#include "document/piecereader.h"
#include "document/piecewriter.h"
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
// bytes stand, refused unless the policy converts anyway, with its place in the file.
void preScan(const LoadedPiece& piece, ConversionFacts& facts, const ConversionPolicy& policy) {
    const std::size_t at = findKanjiIn(piece.text);
    facts.holdsKanjiIn = at != std::string::npos;
    const Ruling ruling = ruleOnConversion(Direction::ToVelmor, facts, policy);
    if (ruling.verdict == Verdict::Convert) return;
    Refused refused{ruling.reason, 0, 0, {}};
    if (at != std::string::npos) {
        const auto end = std::upper_bound(piece.lineEnds.begin(), piece.lineEnds.end(), at);
        const auto index = static_cast<std::size_t>(end - piece.lineEnds.begin());
        refused.column = at - (index == 0 ? 0 : piece.lineEnds[index - 1]) + 1;
        if (!piece.raw.empty()) {  // loading dropped a CR of this piece: count it
            ConversionReport load;
            locateLoadEntries(piece.raw, load);
            refused.column = LoadColumnMap(load).fileColumn(index + 1, refused.column);
        }
        refused.line = piece.firstLine + index + 1;
        refused.bytes = piece.text.substr(at, 2);
    }
    throw refused;
}

// The input: standard input for "-", else the named file, a FIFO or device as a
// stream whose descriptor `stream` keeps.
void openInput(TextFileRec& input, sys::FileDescriptor& stream, const FileJob& job,
               const ConvertSettings& settings) {
    AssignName(input, job.input);
    if (job.input == kStandardStream) {
        OpenStream(input, settings.standardInput);
    } else {
        OpenReadOrStream(input, stream);
    }
    CheckIo(input);
}

std::unique_ptr<OutputSink> openOutput(const FileJob& job, const ConvertSettings& settings,
                                       const TextFileRec& input, bool holdBack) {
    if (job.output == kStandardStream) {
        return openStreamSink(settings.standardOutput, job.output, holdBack);
    }
    return openPathSink(job.output, input.stream ? -1 : input.handle.get(), holdBack);
}

std::size_t lineCount(std::string_view text) {
    std::size_t lines = 0;
    for (std::size_t at = text.find("\r\n"); at != std::string_view::npos;
         at = text.find("\r\n", at + 2)) {
        ++lines;
    }
    return lines;
}

// Converts `piece` into `converted` and its saved form with the line ends kept into
// `saved`. Where the conversion made a byte of a line into a line break, the lines
// no longer match the ends one to one: the piece is converted again a line at a
// time, so that each end follows what became of its own line.
void convertKeepingEnds(const LoadedPiece& piece, PieceConverter& converter, std::string& converted,
                        std::string& saved) {
    const PieceConverter before = converter;
    converter.convert(piece.text, converted);
    saved.clear();
    if (lineCount(converted) == piece.ends.size()) {
        return appendSavedWithEnds(converted, piece.ends, saved);
    }
    converter = before;
    converted.clear();
    std::size_t start = 0;
    for (std::size_t i = 0; i < piece.lineEnds.size(); ++i) {
        const std::size_t from = converted.size();
        converter.convert(std::string_view(piece.text).substr(start, piece.lineEnds[i] - start),
                          converted);
        appendSavedWithEnds(std::string_view(converted).substr(from),
                            std::span<const LineEnd>(&piece.ends[i], 1), saved);
        start = piece.lineEnds[i];
    }
}

// The pieces of one input through the converter into its output. Throws Refused,
// and EInOutError naming the file it concerns.
void convertPieces(const FileJob& job, const ConvertSettings& settings, FileResult& result,
                   Progress* progress) {
    sys::FileDescriptor stream;
    TextFileRec input;
    openInput(input, stream, job, settings);
    TextFileGuard inputGuard(input);
    // Kept for a report in any case: the bytes after an end mark are always told, and
    // a refusal's place is counted in the file's columns.
    std::optional<PieceReader> reader(
        std::in_place, input, ReadPlan{settings.chunkBytes, 2, true, settings.keepLineEnds});
    const LoadedPiece* piece = reader->next();
    const Direction direction = settings.direction;
    ConversionFacts facts;
    facts.noText = piece == nullptr || piece->text.empty();
    refuseUnless(direction, facts, settings.policy);
    if (direction == Direction::ToVelmor && !facts.noText) preScan(*piece, facts, settings.policy);
    if (facts.noText) piece = nullptr;  // an empty input converts to nothing at all

    // Towards VELMOR a kanji-in found in a later piece refuses the whole file, as the
    // window's pre-scan does: standard output then waits until the end.
    const bool scansOn = direction == Direction::ToVelmor && !settings.policy.force;
    std::unique_ptr<OutputSink> sink;
    if (!settings.check) {
        sink = openOutput(job, settings, input, scansOn && piece != nullptr && !piece->last);
    }
    std::optional<PieceWriter> writer;
    if (sink) writer.emplace(*sink);
    try {
        PieceConverter converter(direction, settings.tables);
        std::string converted, saved;
        const bool anyText = piece != nullptr;
        while (piece != nullptr) {
            converted.clear();
            if (settings.keepLineEnds) {
                convertKeepingEnds(*piece, converter, converted, saved);
                if (writer) writer->writeRaw(saved);
            } else {
                converter.convert(piece->text, converted);
            }
            if (settings.report) {
                addPieceEntries(*piece, direction, settings.gaiji, converter.takeMayReport(),
                                result.report);
            }
            if (writer && !settings.keepLineEnds) writer->handSaved(converted);
            result.bytesRead += piece->inputBytes;
            tell(progress, piece->inputBytes);
            piece = reader->next();
            if (piece != nullptr && scansOn) preScan(*piece, facts, settings.policy);
        }
        if (reader->afterEndMark()) addAfterEndMark(*reader->afterEndMark(), result.report);
        result.report.sortByPlace();
        reader.reset();
        result.marked = converter.converted();
        if (writer) {
            if (anyText && !settings.keepLineEnds) writer->writeRaw(kFinalLineEnd);
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

FileResult convertOnce(const FileJob& job, const ConvertSettings& settings, Progress* progress) {
    FileResult result;
    try {
        convertPieces(job, settings, result, progress);
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

}  // namespace

FileResult convertFile(const FileJob& job, const ConvertSettings& settings, Progress* progress) {
    if (settings.policy.strict && !settings.check) {
        ConvertSettings firstPass = settings;
        firstPass.check = true;
        firstPass.report = true;
        FileResult checked = convertOnce(job, firstPass, nullptr);
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
    return convertOnce(job, settings, progress);
}

}  // namespace velmor
