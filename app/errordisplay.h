#pragma once

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace velmor {

// The application's one handler for every error that escapes a command.

// The text shown for an error message: "." is appended when the last character
// sorts after "." (its code point is above U+002E); an empty text stays empty.
std::string errorDisplayText(std::string_view message);

// The second line of a file error's box: the path (as the window shows names) and the
// system's description of `systemError`; for a code the program set itself, its own.
std::string fileErrorDetail(const std::string& fileName, int systemError, int code);

// The text to show for an escaped error, or nothing for EAbort and the classes
// derived from it. Errors that are no std::exception carry no text.
std::optional<std::string> errorTextFor(const std::exception_ptr& error);

// Shows an escaped error to the user (EAbort shows nothing) and returns.
void showError(const std::exception_ptr& error);

// Runs a command and hands whatever escapes from it to showError, so that no
// command can end the program. Every menu command goes through here.
void runCommand(const std::function<void()>& command);

// Where the text of a shown error goes: a modal critical box with the
// application title by default. Tests install their own; an empty sink puts the
// box back. Returns the previous sink.
using ErrorSink = std::function<void(const std::string& text)>;
ErrorSink installErrorSink(ErrorSink sink);

// The default sink: the platform's critical message box with one OK button.
void showErrorBox(const std::string& text);

}  // namespace velmor
