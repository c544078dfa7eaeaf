// Failure kinds of the core.  The binding layer maps each kind to one Python
// exception: InternalError -> InternalFailure, ValueError -> ValueError,
// IoError -> OSError.  The core never includes Python.h.
#pragma once

#include <stdexcept>
#include <string>

namespace borvane {

// A violated precondition or a failed internal consistency check.
struct InternalError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Bad content supplied by the caller (an expression that does not evaluate,
// a malformed file).
struct ValueError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// A file that cannot be created or opened.
struct IoError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

[[noreturn]] inline void fail(const std::string& message) { throw InternalError(message); }

// Checks a precondition; the message is the exact text callers may rely on.
inline void check(bool condition, const char* message) {
    if (!condition) [[unlikely]]
        throw InternalError(message);
}

}  // namespace borvane
