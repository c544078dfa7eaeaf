// Finished equivalence classes.  An entry is (instructions in circuit order,
// trailing permutation): those instructions followed by that qubit
// relabelling.  All entries of a class implement the same operation up to
// global phase.
#pragma once

#include <compare>
#include <cstddef>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "circ/instr.h"
#include "groups/permutation.h"
#include "identity/circuit.h"
#include "identity/idcircuit.h"

namespace borvane {

using EccEntry = std::pair<std::vector<Instr32>, Permut32>;

struct ECC {
    std::vector<EccEntry> entries;

    // Each entry's instructions followed by the SWAPs of unit * P, where unit
    // is the inverse of the first entry's permutation (so the first entry
    // gets none).
    std::vector<std::vector<Instr32>> circuits() const;
    // Each entry (I, P) becomes (I, unit * P): the first permutation becomes
    // the identity.
    ECC simplify_permute() &&;
    // "ECC {\n\t<circuit>,\n...}"
    std::string display() const;

    friend bool operator==(const ECC&, const ECC&) = default;
};

// The order of classes: lexicographic over the entry lists, entries compared
// by instruction list (a proper prefix first) and then permutation word.
std::strong_ordering class_order(const ECC& a, const ECC& b);
// The order of entries inside a class: instruction count first.
std::strong_ordering entry_order(const EccEntry& a, const EccEntry& b);

struct ECCs {
    std::vector<ECC> eccs;
    size_t nqubits = 0;

    // Copies of the classes whose circuits do not all reach the same state
    // from one fresh random state.
    std::vector<ECC> check() const;
    ECCs filter_single() const;
    // For each class and each entry after the first: (canonical identity of
    // first-inverse followed by the entry, first-inverse, entry), sorted.
    std::vector<std::tuple<IdentityCirc, Circ, Circ>> to_identity_circuits() const;
    // The classes with at least two entries, joined by " & ".
    std::string display() const;

    friend bool operator==(const ECCs&, const ECCs&) = default;
};

}  // namespace borvane
