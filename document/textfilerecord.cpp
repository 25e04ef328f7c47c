#include <utility>

#include "errors.h"
#include "ioerror.h"
#include "textfile.h"
#include "textfileshared.h"

namespace velmor {

void AssignName(TextFileRec& file, std::string_view name) {
    if (file.mode != TextFileMode::Closed) AbandonText(file);
    file = TextFileRec{};
    file.name = name;
}

void CloseText(TextFileRec& file) {
    if (file.mode == TextFileMode::Writing) {
        finishWrite(file);
    } else if (file.mode == TextFileMode::Reading) {
        finishRead(file);
    }
    releaseBuffer(file);
}

void CheckIo(const TextFileRec& file) {
    if (PendingIoError == 0) return;
    const int code = std::exchange(PendingIoError, 0);
    const int err = std::exchange(PendingIoErrno, 0);
    std::string copy = std::move(PendingIoCopy);
    PendingIoCopy.clear();
    throw EInOutError(code, copy.empty() ? ioErrorMessage(code) : keptCopyMessage(code, copy),
                      file.name, err, copy);
}

void throwIoFailure(int code, const TextFileRec& file, const std::string& copy) {
    throw EInOutError(code, copy.empty() ? ioErrorMessage(code) : keptCopyMessage(code, copy),
                      file.name, 0, copy);
}

void AbandonText(TextFileRec& file) {
    // An error is already on its way to the user; a failing clean-up step must not
    // replace it, so the results of the clean-up calls are not reported.
    if (file.mode == TextFileMode::Writing) abandonWrite(file);
    if (file.stream) file.handle.release();  // the process's own descriptor stays open
    file.handle.reset();
    file.mode = TextFileMode::Closed;
    releaseBuffer(file);
}

}  // namespace velmor
