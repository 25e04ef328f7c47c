#pragma once

#include <string>

namespace velmor {

// Codes of EInOutError that the program itself gives, beside those mapped from errno.
inline constexpr int kIoFileNotFound = 2;
inline constexpr int kIoPathNotFound = 3;
inline constexpr int kIoTooManyOpenFiles = 4;
inline constexpr int kIoAccessDenied = 5;
inline constexpr int kIoSharingViolation = 32;
inline constexpr int kIoNotRegularFile = 105;  // a FIFO, socket or device
inline constexpr int kIoDiskFull = 112;
inline constexpr int kIoFileTooLarge = 223;
inline constexpr int kIoFileChanged = 1006;  // changed by another program while read
// An errno that the table does not name shows as this base plus the errno.
inline constexpr int kIoUnmappedBase = 10000;

// The code the user sees for a failed system call's errno. ENOENT gives 2 (file
// not found); callers that know a folder on the path is missing use 3 instead.
int ioErrorCode(int err);

// `err` when it is the errno that gives `code`, else 0: a code the program set for a
// reason of its own has no errno behind it.
int errnoBehind(int code, int err);

// The message shown for a code: a fixed text for 2 to 5 and 1006, "I/O エラー (code)"
// otherwise.
std::string ioErrorMessage(int code);

// The message for a failed save that could not put the file's old content back:
// the code's message, then where the old content is kept.
std::string keptCopyMessage(int code, const std::string& copy);

}  // namespace velmor
