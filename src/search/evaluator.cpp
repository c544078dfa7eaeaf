#include "search/evaluator.h"

#include <algorithm>
#include <type_traits>

#include "search/fixed_kernels.h"
#include "state/kernels.h"
#include "state/order_info.h"
#include "utils/errors.h"

namespace borvane {

namespace {
// Candidate relabellings exist for at most this many qubits, so evaluations
// run on fixed-size arrays of at most 2^5 amplitudes.
constexpr unsigned kMaxEvalQubits = 5;
constexpr size_t kMaxEvalLen = size_t(1) << kMaxEvalQubits;
}  // namespace

// Per-thread buffers of one evaluation, reused from call to call.
struct Evaluator::Scratch {
    // One step of the circuit: a specialised kernel, or (kernel null) an
    // instruction of `general`, which holds the dense and malformed cases.
    struct Step {
        fixed::Kernel kernel;
        uint32_t general;
    };
    std::vector<Step> steps;  // forward instructions, then their adjoints in reverse order
    size_t nforward = 0;
    DecodedCircuit general;
    alignas(64) double fwd_re[kMaxEvalLen], fwd_im[kMaxEvalLen];
    alignas(64) double best_re[kMaxEvalLen], best_im[kMaxEvalLen];
    size_t len = 0;
};

Evaluator Evaluator::create(uint32_t n) {
    // The state constructors report 32 or more qubits; beyond 8 no qubit
    // relabelling can be represented, so refuse before allocating anything.
    if (n < 32 && n > Permut32::kMaxLen)
        throw InternalError("An evaluator supports at most 8 qubits, got " + std::to_string(n));
    Rng rng = make_os_seeded_rng();
    StateVec initial = StateVec::from_random_symmetric(rng, n);
    StateVec r = StateVec::from_random(rng, n);
    r.normalize_arg();
    Permut32 p = r.get_permutation();
    r.apply_permutation(p.inv());
    return Evaluator(std::move(initial), std::move(r));
}

Evaluator::Evaluator(StateVec initial_state, StateVec backtrack_state)
    : initial_state_(std::move(initial_state)), backtrack_state_(std::move(backtrack_state)) {
    check(initial_state_.len() == backtrack_state_.len(), "Evaluator states must have the same length");
}

template <unsigned NQ>
void Evaluator::run_fixed(Scratch& s, std::vector<PermPair>* pairs, PermPair* first) const {
    constexpr size_t N = size_t(1) << NQ;
    constexpr std::integral_constant<size_t, N> len{};
    const size_t nsteps = s.steps.size();
    auto run_range = [&](double* re, double* im, size_t begin, size_t end) {
        for (size_t i = begin; i < end; ++i) {
            const Scratch::Step& st = s.steps[i];
            if (st.kernel)
                st.kernel(re, im);
            else
                run_op(re, im, len, s.general.ops[st.general], s.general);
        }
    };

    // 1. The circuit forward on the symmetric state, phase-canonical.
    std::copy_n(initial_state_.re().data(), N, s.fwd_re);
    std::copy_n(initial_state_.im().data(), N, s.fwd_im);
    run_range(s.fwd_re, s.fwd_im, 0, s.nforward);
    normalize_arg(s.fwd_re, s.fwd_im, len);

    // 2. Its order decides the candidate relabellings: the permutations that
    //    exchange qubits only within classes, applied to its sorted order.
    auto [fwd_mask, fwd_base] = order_bits(s.fwd_re, s.fwd_im, std::integral_constant<unsigned, NQ>{});

    // 3. Each candidate: the backtrack state relabelled by X, the circuit run
    //    backwards, then put into its own sorted qubit order.
    if (pairs) pairs->clear();
    bool have_best = false;
    alignas(64) double spare_re_buf[N], spare_im_buf[N];
    double *best_re = s.best_re, *best_im = s.best_im, *spare_re = spare_re_buf, *spare_im = spare_im_buf;
    const double* bt_re = backtrack_state_.re().data();
    const double* bt_im = backtrack_state_.im().data();
    for (Permut32 p : eqmask_to_perms(fwd_mask)) {
        uint32_t xraw = uint32_t(NQ) << 24;
        for (unsigned i = 0; i < NQ; ++i) xraw |= uint32_t(fwd_base.get(p.get(i))) << (3 * i);
        const Permut32 x = Permut32::from_raw(xraw);
        alignas(64) double cre[N], cim[N];
        PermPair pair;
        pair.back_perm = x.inv();
        permute_into(bt_re, bt_im, cre, cim, NQ, x);
        run_range(cre, cim, s.nforward, nsteps);
        normalize_arg(cre, cim, len);
        auto [mask, front] = order_bits(cre, cim, std::integral_constant<unsigned, NQ>{});
        if (mask != 0) throw InternalError("Non-deterministic front permutation detected during evaluation");
        pair.front_perm = front;
        // The first candidate goes straight into the result; later ones into
        // the spare buffer, which becomes the result when it is smaller.
        double* dst_re = have_best ? spare_re : best_re;
        double* dst_im = have_best ? spare_im : best_im;
        permute_into(cre, cim, dst_re, dst_im, NQ, front.inv());
        int cmp = have_best ? compare_quantized(dst_re, dst_im, best_re, best_im, N) : -1;
        if (cmp < 0) {
            if (have_best) {
                std::swap(best_re, spare_re);
                std::swap(best_im, spare_im);
            }
            have_best = true;
            if (pairs) {
                pairs->clear();
                pairs->push_back(pair);
            }
            if (first) *first = pair;
        } else if (cmp == 0 && pairs) {
            pairs->push_back(pair);
        }
    }
    if (best_re != s.best_re) {
        std::copy_n(best_re, N, s.best_re);
        std::copy_n(best_im, N, s.best_im);
    }
}

template <unsigned NQ>
static void decode(std::span<const Instr32> instrs, Evaluator::Scratch& s) {
    // Kernel gates are one table load each; everything else goes through
    // DecodedCircuit, which copies dense matrices and reports bad qubits.
    const size_t n = instrs.size();
    s.steps.resize(2 * n);
    s.general.clear();
    auto add = [&](size_t slot, Instr32 instr, bool adjoint) {
        fixed::Kernel k = fixed::kKernels<NQ>.lookup(instr, adjoint);
        if (!k) [[unlikely]] {
            if (adjoint)
                s.general.add_adjoint(instr, NQ);
            else
                s.general.add(instr, NQ);
        }
        s.steps[slot] = {k, k ? 0u : uint32_t(s.general.ops.size() - 1)};
    };
    for (size_t i = 0; i < n; ++i) add(i, instrs[i], false);
    s.nforward = n;
    for (size_t i = 0; i < n; ++i) add(n + i, instrs[n - 1 - i], true);
}

Evaluator::Scratch& Evaluator::run(std::span<const Instr32> instrs, std::vector<PermPair>* pairs,
                                   PermPair* first) const {
    thread_local Scratch s;
    const unsigned n = nqubits();
    s.len = size_t(1) << std::min(n, kMaxEvalQubits);
    switch (n) {
#define BORVANE_EVAL_CASE(NQ)        \
    case NQ:                         \
        decode<NQ>(instrs, s);       \
        run_fixed<NQ>(s, pairs, first); \
        break;
        BORVANE_EVAL_CASE(0)
        BORVANE_EVAL_CASE(1)
        BORVANE_EVAL_CASE(2)
        BORVANE_EVAL_CASE(3)
        BORVANE_EVAL_CASE(4)
        BORVANE_EVAL_CASE(5)
#undef BORVANE_EVAL_CASE
        default: {
            // Bad instructions are reported first, as they would be on the
            // forward pass.  Then: the candidate table covers five positions,
            // so with more qubits no candidate would be a permutation.
            DecodedCircuit check;
            for (Instr32 i : instrs) check.add(i, n);
            throw InternalError("Candidate relabellings are only available for at most 5 qubits, got " +
                                std::to_string(n));
        }
    }
    return s;
}

void Evaluator::evaluate_multiple(std::span<const Instr32> instrs, EvalResult& out) const {
    Scratch& s = run(instrs, &out.pairs, nullptr);
    const unsigned n = nqubits();
    out.back.resize(n);
    out.forward.resize(n);
    std::copy_n(s.best_re, s.len, &out.back.re(0));
    std::copy_n(s.best_im, s.len, &out.back.im(0));
    std::copy_n(s.fwd_re, s.len, &out.forward.re(0));
    std::copy_n(s.fwd_im, s.len, &out.forward.im(0));
}

EvalResult Evaluator::evaluate_multiple(std::span<const Instr32> instrs) const {
    EvalResult r;
    evaluate_multiple(instrs, r);
    return r;
}

SingleEval Evaluator::evaluate(std::span<const Instr32> instrs) const {
    EvalResult r = evaluate_multiple(instrs);
    return SingleEval{std::move(r.back), r.pairs.front().front_perm, r.pairs.front().back_perm, std::move(r.forward)};
}

uint64_t Evaluator::key(std::span<const Instr32> instrs, std::vector<PermPair>& pairs) const {
    Scratch& s = run(instrs, &pairs, nullptr);
    return hash_value(s.best_re, s.best_im, s.len);
}

uint64_t Evaluator::key(std::span<const Instr32> instrs, PermPair& first) const {
    Scratch& s = run(instrs, nullptr, &first);
    return hash_value(s.best_re, s.best_im, s.len);
}

uint64_t Evaluator::initial_key() const {
    PermPair first;
    return key({}, first);
}

}  // namespace borvane
