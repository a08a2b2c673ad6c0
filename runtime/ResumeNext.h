// The resume-next helper of a routine with an error handler. Each statement of the routine runs
// through it; a RuntimeError the statement throws is handed to the sink under the routine's
// label, and the routine carries on with its next statement. A statement that fails before it
// assigns leaves its target unchanged. A hook may take an error over instead (the fill cycle
// turns "Disk full" into a flag). Only RuntimeError is caught: ending the program is never an
// error.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "runtime/RuntimeError.h"

// Sink: called as sink(label, error) for every error the hook does not take over.
template <class Sink>
class ResumeNext {
public:
    // Returns true when it has dealt with the error, which then does not reach the sink.
    using Hook = std::function<bool(const RuntimeError&)>;

    ResumeNext(Sink sink, std::string label, Hook hook = {})
        : sink_(std::move(sink)), label_(std::move(label)), hook_(std::move(hook)) {}

    // Runs one statement; false when it failed.
    template <class Statement>
    bool operator()(Statement&& statement) {
        try {
            std::forward<Statement>(statement)();
            return true;
        } catch (const RuntimeError& e) {
            if (!hook_ || !hook_(e)) sink_(label_, e);
            return false;
        }
    }

    const std::string& label() const noexcept { return label_; }

private:
    Sink sink_;
    std::string label_;
    Hook hook_;
};
