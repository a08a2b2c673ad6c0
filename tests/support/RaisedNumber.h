// The run-time error number a statement raises, or 0 when it raises none.
#pragma once

#include <functional>

#include "runtime/RuntimeError.h"

inline int raisedNumber(const std::function<void()>& statement) {
    try {
        statement();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}
