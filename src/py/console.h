// The console sink of the binding: lines go to Python's sys.stdout and
// sys.stderr, so redirection, captured output and notebooks see them.  Only
// the calling thread (holding the interpreter lock) writes.
#pragma once

#include "py/py.h"
#include "utils/console.h"

namespace borvane::py {

class PythonConsole final : public Console {
public:
    void out_line(std::string_view line) override { write("stdout", line); }
    void err_line(std::string_view line) override { write("stderr", line); }

private:
    static void write(const char* stream, std::string_view line);
};

}  // namespace borvane::py
