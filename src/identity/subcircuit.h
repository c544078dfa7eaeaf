// Splitting an identity into a connected, convex selection of its
// instructions (the sub-circuit) and the rest.  Because the whole identity
// equals the identity operator, the sub-circuit equals the inverse of the
// rest, which is what the prover's rewriting relies on.
#pragma once

#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "identity/idcircuit.h"

namespace borvane {

// The wire neighbours of every instruction of an identity, computed once so
// that the many selections of one identity are cheap to test.
struct WireGraph {
    static constexpr size_t kMaxLen = 32;  // selections are 32-bit masks

    explicit WireGraph(const IdentityCirc& id);

    const IdentityCirc* circuit;
    size_t len;
    // Per instruction and argument: its qubit, and the next / previous
    // instruction on that wire (cyclically, through the permutation).
    struct Arg {
        uint8_t qubit;
        uint8_t next, prev;
    };
    std::vector<std::vector<Arg>> args;
    std::vector<uint32_t> neighbours;  // mask of every next and previous instruction
};

// One qubit argument where a selection is entered or left.
struct Port {
    size_t instr_id;
    size_t qargs_idx;
    uint8_t qubit;
    friend bool operator==(const Port&, const Port&) = default;
};

// A selection of instructions (bit i = instruction i) of the identity behind
// a wire graph.  It does not own the identity.
struct IdentitySubcircuit {
    uint32_t gates;
    const WireGraph* graph;

    std::vector<Port> inputs() const;
    std::vector<Port> outputs() const;
    // Every wire enters the selection at most once and leaves it at most once.
    bool is_convex() const;
    bool is_connected() const;
    // (sub-circuit with the identity permutation, rest): the sub-circuit
    // followed by the rest is an identity.  None when the selection cannot be
    // moved out by commuting past disjoint instructions and rotating.
    std::optional<std::pair<Circ, Circ>> split() const;
};

// COMBINATIONS: for n = 0 .. 19, the index subsets of {0, ..., n-1} of sizes
// 0 .. n/2 + 1, by size and lexicographically within a size, as bit masks.
const std::vector<uint32_t>& combinations(size_t n);
inline constexpr size_t kCombinationEntries = 20;

// Every split of `id` over COMBINATIONS[len], on the worker pool, in table order.
std::vector<std::pair<Circ, Circ>> par_subcircuit_splits(const IdentityCirc& id);

}  // namespace borvane
