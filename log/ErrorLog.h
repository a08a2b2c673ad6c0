// The error log: one line per handled run-time error, appended to "ErrLog.txt" in the directory
// for the program's written files, and the error handler whose errors go there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "runtime/ResumeNext.h"
#include "runtime/RuntimeError.h"

class Platform;

// Appends "Quellix error #<number> (<description>) occurred in <label> at <date and time>" + CR LF.
// A log that cannot be written loses only this line (TakeLostLogLines tells of it): the caller
// always goes on.
void ErrorLog(Platform& platform, const std::string& label, std::int32_t number,
              const std::string& description);

// What the error log lost since it was last asked, in one line for whoever started the program:
// "the error log could not be written to <path>: <the system's words>", with the count when
// more than one line was lost; nothing when every line was written. The log sits below the
// window and cannot say it itself: the run's end and the program's end ask.
std::optional<std::string> TakeLostLogLines();

// The file the log is appended to: the directory for the program's written files (its own
// directory when it may write there) as it comes, "/" and "ErrLog.txt".
std::string ErrorLogPath(Platform& platform);

// Where a routine's handled errors go: a line of the error log each. Made from the platform, so
// that a routine's handler reads `ErrorHandler on(platform(), "fQL Wipe");`.
class ErrorLogSink {
public:
    ErrorLogSink(Platform& platform) : platform_(&platform) {}  // NOLINT: made implicitly
    void operator()(const std::string& label, const RuntimeError& e) const {
        ErrorLog(*platform_, label, e.number(), e.description());
    }

private:
    Platform* platform_;
};

// A routine's error handler: resume-next, its errors logged.
using ErrorHandler = ResumeNext<ErrorLogSink>;
