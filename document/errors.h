#pragma once

#include <exception>
#include <string>
#include <utility>

namespace velmor {

// Base of every error the program raises. The message is UTF-8 and is what the
// error display shows.
class Exception : public std::exception {
  public:
    explicit Exception(std::string message) : message_(std::move(message)) {}
    const char* what() const noexcept override { return message_.c_str(); }
    const std::string& message() const noexcept { return message_; }

  private:
    std::string message_;
};

// The silent abort: never shown to the user.
class EAbort : public Exception {
  public:
    EAbort() : Exception("Operation aborted") {}
};

// The Document cannot take a new text.
class EInvalidOperation : public Exception {
  public:
    using Exception::Exception;
};

// A failed file operation, with the numeric code the user sees. The one error that
// crosses the layers for a file: it names the file it concerns, the system's errno
// behind the code (0 when the program set the code itself), and where the old
// content of a file written in place is kept when it could not be put back.
class EInOutError : public Exception {
  public:
    EInOutError(int code, std::string message, std::string fileName = {}, int systemError = 0,
                std::string keptCopy = {})
        : Exception(std::move(message)),
          ErrorCode(code),
          FileName(std::move(fileName)),
          SystemError(systemError),
          KeptCopy(std::move(keptCopy)) {}
    int ErrorCode;
    std::string FileName;
    int SystemError;
    std::string KeptCopy;
};

}  // namespace velmor
