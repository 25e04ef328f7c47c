#include "convertfile.h"

#include <memory>
#include <new>
#include <optional>
#include <vector>

#include "convert/converters.h"
#include "convert/piececonverter.h"
#include "convert/reportlocator.h"
#include "convert/utf8report.h"
#include "convert/utf8step.h"
#include "document/errors.h"
#include "document/ioerror.h"
#include "document/keptlineends.h"
#include "document/loadreport.h"
#include "document/outputsink.h"
#include "document/piecereader.h"
#include "document/piecewriter.h"
#include "document/textfile.h"
#include "messages.h"

namespace velmor {

namespace {

// A refusal found while the file was read.
struct Refused {
    Refusal reason;
};

void refuseUnless(Direction direction, const ConversionFacts& facts,
                  const ConversionPolicy& policy) {
    const Ruling ruling = ruleOnConversion(direction, facts, policy);
    if (ruling.verdict != Verdict::Convert) throw Refused{ruling.reason};
}

// Where a conversion reads and writes: the job's files, or bytes in memory.
struct Endpoints {
    const FileJob& job;
    std::optional<std::string_view> inputBytes;  // in place of job.input
    OutputSink* output = nullptr;                // in place of job.output
};

void openInput(TextFileRec& input, const Endpoints& io, const ConvertSettings& settings) {
    AssignName(input, io.job.input);
    if (io.inputBytes) {
        OpenMemory(input, *io.inputBytes);
    } else if (io.job.input == kStandardStream) {
        OpenStream(input, settings.standardInput);
    } else {
        OpenRead(input);
    }
    CheckIo(input);
}

std::unique_ptr<OutputSink> openOutput(const Endpoints& io, const ConvertSettings& settings,
                                       const TextFileRec& input, bool holdBack) {
    if (io.job.output == kStandardStream) {
        return openStreamSink(settings.standardOutput, io.job.output, holdBack);
    }
    return openFileSink(io.job.output, input.stream ? -1 : input.handle.get());
}

// The pieces of one input through the converter into its output. Throws Refused,
// and EInOutError naming the file it concerns.
void convertPieces(const Endpoints& io, const ConvertSettings& settings, FileResult& result,
                   Progress* progress) {
    TextFileRec input;
    openInput(input, io, settings);
    TextFileGuard inputGuard(input);
    const bool keep = settings.keepLineEnds;
    std::optional<PieceReader> reader(std::in_place, input,
                                      ReadPlan{settings.chunkBytes, 2, settings.report, keep});
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
    std::string_view text = textOf(*piece);
    facts.holdsKanjiIn = direction == Direction::ToVelmor && containsKanjiIn(text);
    refuseUnless(direction, facts, settings.policy);

    // Towards VELMOR a kanji-in found in a later piece refuses the whole file, as the
    // window's pre-scan does: standard output then waits until the end.
    const bool scansOn = direction == Direction::ToVelmor && !settings.policy.force;
    std::unique_ptr<OutputSink> opened;
    OutputSink* sink = io.output;
    if (!settings.check && sink == nullptr) {
        opened = openOutput(io, settings, input, scansOn && !piece->last);
        sink = opened.get();
    }
    if (settings.check) sink = nullptr;
    std::optional<PieceWriter> writer;
    if (sink) writer.emplace(*sink);
    try {
        PieceConverter converter(direction, settings.tables);
        std::string converted, formed;
        std::vector<std::size_t> lineEnds;
        for (;;) {
            converted.clear();
            if (keep) {
                converter.convertLines(text, piece->lineEnds.size(), converted, lineEnds);
                formed.clear();
                appendKeptLineEnds(converted, lineEnds, piece->endsRead, formed);
                converted.swap(formed);
            } else {
                converter.convert(text, converted);
            }
            bool toUtf8Lost = false;
            if (toUtf8) {
                formed.clear();
                toUtf8Lost = step->convert(converted, formed);
                converted.swap(formed);
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
            if (writer && keep) writer->writeRaw(converted);
            if (writer && !keep) writer->handSaved(converted);
            result.bytesRead += piece->inputBytes;
            tell(progress, piece->inputBytes);
            piece = reader->next();
            if (piece == nullptr) break;
            text = textOf(*piece);
            if (scansOn) {
                facts.holdsKanjiIn = containsKanjiIn(text);
                refuseUnless(direction, facts, settings.policy);
            }
        }
        if (settings.report && reader->afterEndMark()) {
            addAfterEndMark(*reader->afterEndMark(), result.report);
        }
        reader.reset();
        result.marked = converter.converted();
        if (writer) {
            if (!keep) writer->writeRaw(kFinalLineEnd);
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
        return result;
    } catch (const EInOutError& error) {
        result.code = error.ErrorCode;
        result.systemError = error.SystemError;
        result.keptCopy = error.KeptCopy;
        result.message = error.message();
        result.path = error.FileName;
        result.resourcesShort = error.ErrorCode == kIoTooManyOpenFiles;
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
