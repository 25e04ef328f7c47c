#include "convertfile.h"

#include <sys/stat.h>

#include <cerrno>
#include <memory>
#include <new>
#include <optional>

#include "convert/converters.h"
#include "convert/piececonverter.h"
#include "convert/reportlocator.h"
#include "document/errors.h"
#include "document/ioerror.h"
#include "document/loadreport.h"
#include "document/outputsink.h"
#include "document/piecereader.h"
#include "document/piecewriter.h"
#include "document/syscalls.h"
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

void openInput(TextFileRec& input, const FileJob& job, const ConvertSettings& settings) {
    AssignName(input, job.input);
    if (job.input == kStandardStream) {
        OpenStream(input, settings.standardInput);
    } else {
        OpenRead(input);
    }
    CheckIo(input);
}

// Output over the input: refused before anything is written.
struct OutputIsInput {};

// Refuses, unless in place was asked for, an output that is the input it reads (the
// same regular file, under any name): written while read, the input would be lost.
void refuseOutputOverInput(const FileJob& job, const ConvertSettings& settings,
                           const TextFileRec& input) {
    if (settings.inPlace) return;
    struct stat in, out;
    if (sys::calls().fstat(input.handle.get(), &in) != 0) {
        const int err = errno;
        throw EInOutError(ioErrorCode(err), ioErrorMessage(ioErrorCode(err)), input.name, err);
    }
    const int looked = job.output == kStandardStream
                           ? sys::calls().fstat(settings.standardOutput, &out)
                           : sys::calls().stat(job.output.c_str(), &out);
    if (looked != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return;  // not there yet: its save tells
        const int err = errno;
        throw EInOutError(ioErrorCode(err), ioErrorMessage(ioErrorCode(err)), job.output, err);
    }
    if (S_ISREG(in.st_mode) && S_ISREG(out.st_mode) && in.st_dev == out.st_dev &&
        in.st_ino == out.st_ino) {
        throw OutputIsInput{};
    }
}

std::unique_ptr<OutputSink> openOutput(const FileJob& job, const ConvertSettings& settings,
                                       const TextFileRec& input, bool holdBack) {
    if (job.output == kStandardStream) {
        return openStreamSink(settings.standardOutput, job.output, holdBack);
    }
    return openFileSink(job.output, input.stream ? -1 : input.handle.get());
}

// The pieces of one input through the converter into its output. Throws Refused,
// and EInOutError naming the file it concerns.
void convertPieces(const FileJob& job, const ConvertSettings& settings, FileResult& result,
                   Progress* progress) {
    TextFileRec input;
    openInput(input, job, settings);
    TextFileGuard inputGuard(input);
    std::optional<PieceReader> reader(std::in_place, input,
                                      ReadPlan{settings.chunkBytes, 2, settings.report});
    const LoadedPiece* piece = reader->next();
    const Direction direction = settings.direction;
    ConversionFacts facts;
    facts.noText = piece == nullptr || piece->text.empty();
    refuseUnless(direction, facts, settings.policy);
    facts.holdsKanjiIn = direction == Direction::ToVelmor && containsKanjiIn(piece->text);
    refuseUnless(direction, facts, settings.policy);

    // Towards VELMOR a kanji-in found in a later piece refuses the whole file, as the
    // window's pre-scan does: standard output then waits until the end.
    const bool scansOn = direction == Direction::ToVelmor && !settings.policy.force;
    std::unique_ptr<OutputSink> sink;
    if (!settings.check) {
        refuseOutputOverInput(job, settings, input);
        sink = openOutput(job, settings, input, scansOn && !piece->last);
    }
    std::optional<PieceWriter> writer;
    if (sink) writer.emplace(*sink);
    try {
        PieceConverter converter(direction, settings.tables);
        std::string converted;
        for (;;) {
            converted.clear();
            converter.convert(piece->text, converted);
            if (settings.report) {
                addPieceEntries(*piece, direction, settings.gaiji, converter.takeMayReport(),
                                result.report);
            }
            if (writer) writer->handSaved(converted);
            result.bytesRead += piece->inputBytes;
            tell(progress, piece->inputBytes);
            piece = reader->next();
            if (piece == nullptr) break;
            if (scansOn) {
                facts.holdsKanjiIn = containsKanjiIn(piece->text);
                refuseUnless(direction, facts, settings.policy);
            }
        }
        if (settings.report && reader->afterEndMark()) {
            addAfterEndMark(*reader->afterEndMark(), result.report);
        }
        reader.reset();
        result.marked = converter.converted();
        if (writer) {
            writer->writeRaw(kFinalLineEnd);
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
        return result;
    } catch (const OutputIsInput&) {
        result.message = kMsgOutputIsInput;
        result.path = job.output;
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
            return checked;
        }
    }
    return convertOnce(job, settings, progress);
}

}  // namespace velmor
