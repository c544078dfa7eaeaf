// Circ: a circuit as a list of compact instructions followed by an explicit
// permutation of the qubits.  Keeping the final relabelling explicit lets
// swaps be folded away and lets circuits be composed, inverted, rotated and
// brought to a canonical representative under qubit relabelling.  Circuits
// order by instruction count, then instructions, then packed permutation.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "circ/instr.h"
#include "groups/permutation.h"

namespace borvane {

class SipHasher13;

class Circ {
public:
    std::vector<Instr32> instrs;
    Permut32 perm;  // its length is the qubit count

    Circ() = default;
    // Checks that every qubit argument is below the permutation's length.
    static Circ create(std::vector<Instr32> instrs, Permut32 perm);
    // The identity permutation of (largest qubit argument + 1) qubits.
    static Circ new_no_perm(std::vector<Instr32> instrs);

    size_t nqubits() const { return perm.len(); }
    size_t len() const { return instrs.size(); }
    bool is_empty() const { return instrs.empty(); }

    // Every qubit argument in order, then every i with perm[i] != i.
    std::vector<uint8_t> affected_qubits() const;
    // Drops trailing qubits that nothing touches.
    Circ compact_qubits() &&;
    // Moves each instruction left past disjoint, larger neighbours.
    Circ reorder_instrs() &&;
    // Conjugates the circuit by the relabelling `p`.
    Circ permut(Permut32 p) const;
    // Cyclic rotation; the instructions that wrap around are relabelled
    // through the permutation, so a rotated identity is an identity.
    Circ rotate(int64_t n) const;
    // Folds SWAP instructions into the permutation.
    Circ remove_swaps() const;
    Circ inverse() const;
    // a followed by b.
    friend Circ operator+(const Circ& a, const Circ& b);
    // The least circuit over all relabellings of the compacted, swap-free form.
    Circ representative() &&;
    std::pair<Circ, Permut32> representative_with_perm() &&;
    // The instructions followed by SWAPs that realise the permutation.
    std::vector<Instr32> instrs_with_swaps() const;

    void hash_into(SipHasher13& h) const;
    uint64_t hash_value() const;
    // "Circuit { h(0) cx(0, 1) (0 1) }"
    std::string display() const;
    // "Circ { instrs: [h(0), cx(0, 1)], perm: (0 1) }"
    std::string debug() const;

    friend bool operator==(const Circ&, const Circ&) = default;
    friend std::strong_ordering operator<=>(const Circ& a, const Circ& b);
};

// Relabels each instruction of `src` by `p` into `dst` (resized).
void relabel_into(const Instr32* src, size_t n, Permut32 p, Instr32* dst);
// The insertion pass of reorder_instrs, in place.
void reorder_in_place(Instr32* instrs, size_t n);
// Lexicographic order of instruction lists by the instruction order.
std::strong_ordering compare_instrs(const Instr32* a, size_t na, const Instr32* b, size_t nb);

}  // namespace borvane
