// Finished equivalence classes.  An entry is (instructions in circuit order,
// trailing permutation): those instructions followed by that qubit
// relabelling.  All entries of a class implement the same operation up to
// global phase.
#pragma once

#include <cstddef>
#include <utility>
#include <vector>

#include "circ/instr.h"
#include "groups/permutation.h"

namespace borvane {

using EccEntry = std::pair<std::vector<Instr32>, Permut32>;

struct ECC {
    std::vector<EccEntry> entries;

    friend bool operator==(const ECC&, const ECC&) = default;
};

struct ECCs {
    std::vector<ECC> eccs;
    size_t nqubits = 0;

    friend bool operator==(const ECCs&, const ECCs&) = default;
};

}  // namespace borvane
