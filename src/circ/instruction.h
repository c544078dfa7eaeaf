// Register-level instructions for users who write circuits over named
// registers: an Argument names one register element ("q[0]"), an Instruction
// applies a gate to quantum and classical arguments.  Plain value holders;
// the search and the prover do not use them.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "circ/gate.h"

namespace borvane {

struct Argument {
    std::string regid;
    size_t index = 0;

    uint64_t hash_value() const;
    // "q[0]"
    std::string display() const;
    // Argument { regid: "q", index: 0 }
    std::string debug() const;
    friend bool operator==(const Argument&, const Argument&) = default;
};

struct Instruction {
    Gate16 gate;
    std::vector<Argument> qargs;
    std::vector<Argument> cargs;

    uint64_t hash_value() const;
    // "cx q[0], q[1];"
    std::string display() const;
    // Instruction { gate: Gate(9 -> cx), qargs: [...], cargs: [...] }
    std::string debug() const;
    friend bool operator==(const Instruction&, const Instruction&) = default;
};

// A string as a double-quoted literal with backslash escapes.
std::string quoted_literal(const std::string& s);

}  // namespace borvane
