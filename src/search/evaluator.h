// The randomized evaluator: turns a circuit into a 64-bit key such that
// circuits equal up to a relabelling of their input qubits and of their output
// qubits get the same key, and reports the relabellings that bring a circuit
// to the common canonical form.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "circ/instr.h"
#include "groups/permutation.h"
#include "state/state_vec.h"

namespace borvane {

struct PermPair {
    Permut32 front_perm;
    Permut32 back_perm;
    friend bool operator==(PermPair, PermPair) = default;
};

struct EvalResult {
    StateVec back;                // the least canonical back state (the one hashed)
    std::vector<PermPair> pairs;  // every candidate reaching it, in candidate order
    StateVec forward;             // the circuit on the initial state, phase-canonical
};

struct SingleEval {
    StateVec back;
    Permut32 front_perm;
    Permut32 back_perm;
    StateVec forward;
};

class Evaluator {
public:
    // Draws the symmetric and the generic state from one OS-seeded generator.
    static Evaluator create(uint32_t nqubits);
    Evaluator(StateVec initial_state, StateVec backtrack_state);

    unsigned nqubits() const { return initial_state_.nqubits(); }
    const StateVec& initial_state() const { return initial_state_; }
    const StateVec& backtrack_state() const { return backtrack_state_; }

    // Fills `out`, reusing its buffers: no allocation once they have grown.
    void evaluate_multiple(std::span<const Instr32> instrs, EvalResult& out) const;
    EvalResult evaluate_multiple(std::span<const Instr32> instrs) const;
    SingleEval evaluate(std::span<const Instr32> instrs) const;
    // The key (hash of the back state) and the pairs, without copying states.
    uint64_t key(std::span<const Instr32> instrs, std::vector<PermPair>& pairs) const;
    // The key and the first pair only.
    uint64_t key(std::span<const Instr32> instrs, PermPair& first) const;
    uint64_t initial_key() const;

    friend bool operator==(const Evaluator& a, const Evaluator& b) {
        return a.initial_state_ == b.initial_state_ && a.backtrack_state_ == b.backtrack_state_;
    }

    struct Scratch;

private:
    // Runs the evaluation in the calling thread's scratch buffers; on return
    // they hold the best back state and the forward state.
    Scratch& run(std::span<const Instr32> instrs, std::vector<PermPair>* pairs, PermPair* first) const;
    template <unsigned NQ>
    void run_fixed(Scratch& s, std::vector<PermPair>* pairs, PermPair* first) const;

    StateVec initial_state_;
    StateVec backtrack_state_;
};

}  // namespace borvane
