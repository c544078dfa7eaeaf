// IdentityCirc: a circuit that equals the identity up to its trailing
// permutation and a global phase.  Identities are cyclic objects: any
// rotation of one (wrapped instructions relabelled through the permutation)
// is again an identity, and a wire continues past the last instruction at
// the first.  The canonical form over rotations and relabellings is
// rotate_representative.
#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <vector>

#include "identity/circuit.h"

namespace borvane {

class IdentityCirc {
public:
    IdentityCirc() = default;

    // Wraps the circuit and checks that it is an identity.
    static IdentityCirc create(Circ c);
    // Wraps without any check (dictionary forms, files, proof export).
    static IdentityCirc unchecked(Circ c);
    // The canonical identity of `c` over qubit relabellings and rotations.
    static IdentityCirc rotate_representative(Circ c);

    // Meets in the middle on a fresh random state: the first half forwards,
    // the second half backwards.  Fails (InternalError) when the two states
    // differ; returns true otherwise.
    bool check() const;
    uint64_t hash_value() const { return circ_.hash_value(); }

    // For each qubit argument of instruction g: the index of the next (or
    // previous) instruction on that wire, cyclically through the permutation.
    std::vector<size_t> qargs_forward(size_t g) const { return wire_neighbours(g, true); }
    std::vector<size_t> qargs_backward(size_t g) const { return wire_neighbours(g, false); }

    uint8_t nqubits() const { return uint8_t(circ_.nqubits()); }
    size_t len() const { return circ_.len(); }
    Instr32 at(size_t i) const { return circ_.instrs.at(i); }
    const Circ& inner() const { return circ_; }

    // "Identity { h(0) h(0) (0) }"
    std::string display() const;

    friend bool operator==(const IdentityCirc&, const IdentityCirc&) = default;
    friend std::strong_ordering operator<=>(const IdentityCirc& a, const IdentityCirc& b) {
        return a.circ_ <=> b.circ_;
    }

private:
    explicit IdentityCirc(Circ c) : circ_(std::move(c)) {}
    std::vector<size_t> wire_neighbours(size_t g, bool forward) const;
    Circ circ_;
};

}  // namespace borvane
