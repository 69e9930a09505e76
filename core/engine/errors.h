#pragma once
// How a command ends early.
#include <stdexcept>
#include <string>

namespace duolink {

// An input/output or arithmetic error: ends the command in progress; the
// window shows the message and goes on. what() is the message for the user
// ("File access denied", "Floating point division by zero", ...).
class RunError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A fatal input error: the engine has written its lines and "PROGRAM DONE"
// to the report file and closed it; the job ends here, the program goes on.
class JobTerminated : public std::runtime_error {
public:
    JobTerminated() : std::runtime_error("job terminated") {}
};

// Standard messages.
inline constexpr const char* kDivByZero = "Floating point division by zero";
inline constexpr const char* kInvalidOp = "Invalid floating point operation";
inline constexpr const char* kOverflow = "Floating point overflow";
inline constexpr const char* kInvalidNumeric = "Invalid numeric input";
inline constexpr const char* kOutOfMemory = "Out of memory";

// The message for a failed file operation with the given errno value
// ("File not found", "File access denied", "Disk full", ... or "I/O error N").
std::string ioErrorMessage(int errnoValue);
[[noreturn]] void throwIoError(int errnoValue);

} // namespace duolink
