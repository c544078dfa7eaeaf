// The sink through which the core reports progress.  The binding writes to
// Python's sys.stdout / sys.stderr, so redirection and captured output see
// it; a core-only caller may pass a sink that prints or discards.
#pragma once

#include <string_view>

namespace borvane {

class Console {
public:
    virtual ~Console() = default;
    // One line to standard output (the newline is added by the sink).
    virtual void out_line(std::string_view line) = 0;
    // One line to standard error.
    virtual void err_line(std::string_view line) = 0;
};

// Discards everything.
class NullConsole final : public Console {
public:
    void out_line(std::string_view) override {}
    void err_line(std::string_view) override {}
};

}  // namespace borvane
