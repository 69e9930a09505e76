// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How a command ends early.
#include <cstddef>
#include <stdexcept>
#include <string>

namespace duolink {

// An input/output or arithmetic error: ends the command in progress; the
// window shows the message and goes on. what() is the message for the user
// ("File access denied", "Floating point division by zero", ...).
class RunError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;

    // The file the failure concerns, as the command named it; empty when it
    // concerns none (an arithmetic error, for one).
    const std::string& file() const noexcept { return file_; }
    // Names the file unless a step closer to the failure has named one.
    void attachFile(const std::string& name)
    {
        if (file_.empty())
            file_ = name;
    }
    // True for an arithmetic error raised while the training presented the
    // pairs (not while it read or set up the job).
    bool inPresentations() const noexcept { return inPresentations_; }
    void markInPresentations() noexcept { inPresentations_ = true; }
    // The errno value of a failed file operation, 0 for other errors.
    int systemError() const noexcept { return systemError_; }
    void setSystemError(int errnoValue) noexcept { systemError_ = errnoValue; }
    // The line of the file the failure was found in, 0 when none.
    std::size_t line() const noexcept { return line_; }
    void setLine(std::size_t line) noexcept { line_ = line; }

private:
    std::string file_;
    bool inPresentations_ = false;
    int systemError_ = 0;
    std::size_t line_ = 0;
};

// Runs `body`; a RunError it raises leaves with `name` as its file.
template <class Body>
decltype(auto) withFileContext(const std::string& name, Body&& body)
{
    try {
        return body();
    } catch (RunError& e) {
        e.attachFile(name);
        throw;
    }
}

// A fatal input error: the engine has written its lines and "PROGRAM DONE"
// to the report file and closed it; the job ends here, the program goes on.
// `reason` is the line the report gives before "Terminating Program".
class JobTerminated : public std::runtime_error {
public:
    explicit JobTerminated(std::string reason = {})
        : std::runtime_error("job terminated"), reason_(std::move(reason)) {}
    const std::string& reason() const noexcept { return reason_; }

private:
    std::string reason_;
};

// Standard messages.
inline constexpr const char* kDivByZero = "Floating point division by zero";
inline constexpr const char* kInvalidOp = "Invalid floating point operation";
inline constexpr const char* kOverflow = "Floating point overflow";
inline constexpr const char* kInvalidNumeric = "Invalid numeric input";
inline constexpr const char* kOutOfMemory = "Out of memory";

// The message for a failed file operation with the given errno value
// ("File not found", "File access denied", "Disk full", ... or the system's
// text, "is a folder" or "is not a regular file").
std::string ioErrorMessage(int errnoValue);
[[noreturn]] void throwIoError(int errnoValue);
// The same, naming the file it concerns.
[[noreturn]] void throwIoError(int errnoValue, const std::string& file);

} // namespace duolink
