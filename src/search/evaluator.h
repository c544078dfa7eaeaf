// The randomized evaluator: turns a circuit into a 64-bit key such that
// circuits equal up to a relabelling of their input qubits and of their output
// qubits get the same key, and reports the relabellings that bring a circuit
// to the common canonical form.
#pragma once

#include <cstdint>
#include <memory>
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

class Evaluator;

// A circuit prefix prepared once for evaluating many one-instruction
// extensions of it (the search's inner loop): its decoded adjoint steps and
// its forward state before phase normalisation.
class EvalPrefix {
public:
    EvalPrefix();
    ~EvalPrefix();
    EvalPrefix(const EvalPrefix&) = delete;
    EvalPrefix& operator=(const EvalPrefix&) = delete;

private:
    friend class Evaluator;
    struct Data;
    std::unique_ptr<Data> d_;
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

    // Prepares `prefix` for key_extended.
    void prepare(std::span<const Instr32> prefix, EvalPrefix& out) const;
    // The key and pairs of the prefix followed by `last`: exactly what key()
    // returns for the whole circuit.
    uint64_t key_extended(const EvalPrefix& prefix, Instr32 last, std::vector<PermPair>& pairs) const;

    friend bool operator==(const Evaluator& a, const Evaluator& b) {
        return a.initial_state_ == b.initial_state_ && a.backtrack_state_ == b.backtrack_state_;
    }

    struct Scratch;
    struct Step;

private:
    // Where an evaluation writes its states.
    struct Out {
        double *fwd_re, *fwd_im, *best_re, *best_im;
    };
    // The evaluation proper: from the start state, the forward steps, then
    // the backward steps `bwd1` followed by `bwd2` on every candidate.
    template <unsigned NQ>
    void run_fixed(const double* start_re, const double* start_im, std::span<const Step> fwd,
                   std::span<const Step> bwd1, std::span<const Step> bwd2, Out out, std::vector<PermPair>* pairs,
                   PermPair* first) const;
    void dispatch(const double* start_re, const double* start_im, std::span<const Step> fwd, std::span<const Step> bwd1,
                  std::span<const Step> bwd2, Out out, std::vector<PermPair>* pairs, PermPair* first) const;
    // Decodes `instrs` into the thread's scratch steps.
    Scratch& decode(std::span<const Instr32> instrs) const;

    StateVec initial_state_;
    StateVec backtrack_state_;
};

}  // namespace borvane
