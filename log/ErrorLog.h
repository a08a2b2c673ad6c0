// The error log: one line per handled run-time error, appended to "ErrLog.txt" in the program's
// directory, and the resume-next convention that routines with an error handler follow.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "log/RuntimeError.h"

class Platform;

// Appends "Quellix error #<number> (<description>) occurred in <label> at <date and time>" + CR LF.
// A log that cannot be written loses only this line: the caller always goes on.
void ErrorLog(Platform& platform, const std::string& label, std::int32_t number,
              const std::string& description);

// The file the log is appended to: the directory for the program's written files (its own
// directory when it may write there) as it comes, "/" and "ErrLog.txt".
std::string ErrorLogPath(Platform& platform);

// A routine's error handler. Each statement runs through it; a RuntimeError thrown by the
// statement is logged under the routine's label and the routine carries on with its next
// statement. A statement that fails before it assigns leaves its target unchanged. A hook may
// take an error over instead of logging it (the fill cycle turns "Disk full" into a flag).
// Only RuntimeError is caught: ending the program is never an error.
class ErrorHandler {
public:
    // Returns true when it has dealt with the error, which is then not logged.
    using Hook = std::function<bool(const RuntimeError&)>;

    ErrorHandler(Platform& platform, std::string label, Hook hook = {})
        : platform_(platform), label_(std::move(label)), hook_(std::move(hook)) {}

    // Runs one statement; false when it failed.
    template <class Statement>
    bool operator()(Statement&& statement) {
        try {
            std::forward<Statement>(statement)();
            return true;
        } catch (const RuntimeError& e) {
            handle(e);
            return false;
        }
    }

    const std::string& label() const noexcept { return label_; }

private:
    void handle(const RuntimeError& e);

    Platform& platform_;
    std::string label_;
    Hook hook_;
};
