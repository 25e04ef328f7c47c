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

// A failed file operation, with the numeric code the user sees.
class EInOutError : public Exception {
  public:
    EInOutError(int code, std::string message) : Exception(std::move(message)), ErrorCode(code) {}
    int ErrorCode;
};

}  // namespace velmor
