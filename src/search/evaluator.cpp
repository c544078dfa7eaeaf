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
// Entry 0 of the candidate table: the identity of five positions alone.
constexpr Permut32 kIdentity5[1] = {Permut32::from_raw(detail::kIdentityEntries[5] | 5u << 24)};
}  // namespace

// One step of a circuit: a specialised kernel, or (kernel null) an
// instruction of a DecodedCircuit, which holds the dense and malformed cases.
struct Evaluator::Step {
    fixed::Kernel kernel;
    uint32_t general;
    const DecodedCircuit* src;
};

// Per-thread buffers of one evaluation, reused from call to call.
struct Evaluator::Scratch {
    std::vector<Step> steps;  // forward instructions, then their adjoints in reverse order
    DecodedCircuit general;
    std::vector<Step> last;   // key_extended: the last instruction and its adjoint
    DecodedCircuit last_general;
    alignas(64) double fwd_re[kMaxEvalLen], fwd_im[kMaxEvalLen];
    alignas(64) double best_re[kMaxEvalLen], best_im[kMaxEvalLen];
    size_t len = 0;
};

struct EvalPrefix::Data {
    unsigned nqubits = ~0u;
    std::vector<Evaluator::Step> adjoints;  // the prefix's adjoints, last instruction first
    DecodedCircuit general;
    alignas(64) double fwd_re[kMaxEvalLen], fwd_im[kMaxEvalLen];
};

EvalPrefix::EvalPrefix() : d_(std::make_unique<Data>()) {}
EvalPrefix::~EvalPrefix() = default;

namespace {

Evaluator::Scratch& scratch() {
    thread_local Evaluator::Scratch s;
    return s;
}

// Kernel gates are one table load each; everything else goes through
// DecodedCircuit, which copies dense matrices and reports bad qubits.
// The forward and adjoint steps of one instruction with a kernel; false for
// an instruction that takes the general path.
template <unsigned NQ>
bool decode_kernels(Instr32 instr, Evaluator::Step& forward, Evaluator::Step& adjoint) {
    const fixed::KernelPair k = fixed::kKernels<NQ>.lookup(instr);
    if (!k.forward) return false;
    forward = {k.forward, 0, nullptr};
    adjoint = {k.adjoint, 0, nullptr};
    return true;
}

template <unsigned NQ>
Evaluator::Step general_step(Instr32 instr, bool adjoint, DecodedCircuit& general) {
    if (adjoint)
        general.add_adjoint(instr, NQ);
    else
        general.add(instr, NQ);
    return {nullptr, uint32_t(general.ops.size() - 1), &general};
}

template <unsigned NQ>
void run_steps(double* re, double* im, std::span<const Evaluator::Step> steps) {
    constexpr std::integral_constant<size_t, size_t(1) << NQ> len{};
    for (const Evaluator::Step& st : steps) {
        if (st.kernel)
            st.kernel(re, im);
        else
            run_op(re, im, len, st.src->ops[st.general], *st.src);
    }
}

// Decodes `instrs` (forward) into steps[0, n) and their adjoints, last
// first, into steps[n, 2n).
template <unsigned NQ>
void decode_circuit(std::span<const Instr32> instrs, std::vector<Evaluator::Step>& steps, DecodedCircuit& general) {
    const size_t n = instrs.size();
    general.clear();
    steps.resize(2 * n);
    // Forward steps first, in order (a bad instruction is reported as the
    // forward pass would), then the adjoints of the general instructions in
    // reverse order, the order in which the backward pass first needs them
    // (asking for an adjoint may add a gate to the table).
    bool general_seen = false;
    for (size_t i = 0; i < n; ++i)
        if (!decode_kernels<NQ>(instrs[i], steps[i], steps[2 * n - 1 - i])) {
            steps[i] = general_step<NQ>(instrs[i], false, general);
            steps[2 * n - 1 - i].kernel = nullptr;
            general_seen = true;
        }
    if (general_seen)
        for (size_t i = n; i-- > 0;)
            if (!steps[2 * n - 1 - i].kernel) steps[2 * n - 1 - i] = general_step<NQ>(instrs[i], true, general);
}

[[noreturn]] void too_many_qubits(std::span<const Instr32> instrs, unsigned n) {
    // Bad instructions are reported first, as they would be on the forward
    // pass.  Then: the candidate table covers five positions, so with more
    // qubits no candidate would be a permutation.
    DecodedCircuit check;
    for (Instr32 i : instrs) check.add(i, n);
    throw InternalError("Candidate relabellings are only available for at most 5 qubits, got " + std::to_string(n));
}

}  // namespace

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
void Evaluator::run_fixed(const double* start_re, const double* start_im, std::span<const Step> fwd,
                          std::span<const Step> bwd1, std::span<const Step> bwd2, Out out,
                          std::vector<PermPair>* pairs, PermPair* first) const {
    constexpr size_t N = size_t(1) << NQ;
    constexpr std::integral_constant<size_t, N> len{};
    constexpr std::integral_constant<unsigned, NQ> nq{};

    // 1. The circuit forward on the symmetric state, phase-canonical.
    std::copy_n(start_re, N, out.fwd_re);
    std::copy_n(start_im, N, out.fwd_im);
    run_steps<NQ>(out.fwd_re, out.fwd_im, fwd);
    normalize_arg(out.fwd_re, out.fwd_im, len);

    // 2. Its order decides the candidate relabellings: the permutations that
    //    exchange qubits only within classes, applied to its sorted order.
    auto [fwd_mask, fwd_base] = order_bits(out.fwd_re, out.fwd_im, nq);

    // 3. Each candidate: the backtrack state relabelled by X, the circuit run
    //    backwards, then put into its own sorted qubit order.
    if (pairs) pairs->clear();
    bool have_best = false;
    alignas(64) double spare_re_buf[N], spare_im_buf[N];
    double *best_re = out.best_re, *best_im = out.best_im, *spare_re = spare_re_buf, *spare_im = spare_im_buf;
    const double* bt_re = backtrack_state_.re().data();
    const double* bt_im = backtrack_state_.im().data();
    // A forward state that separates every qubit has one candidate, its own
    // sorted order (the table's entry 0 is the identity alone).
    const std::span<const Permut32> table =
        fwd_mask == 0 ? std::span<const Permut32>(kIdentity5) : std::span<const Permut32>(eqmask_to_perms(fwd_mask));
    for (Permut32 p : table) {
        uint32_t xraw = uint32_t(NQ) << 24;
        for (unsigned i = 0; i < NQ; ++i) xraw |= uint32_t(fwd_base.get(p.get(i))) << (3 * i);
        const Permut32 x = Permut32::from_raw(xraw);
        alignas(64) double cre[N], cim[N];
        PermPair pair;
        pair.back_perm = x.inv();
        permute_into(bt_re, bt_im, cre, cim, NQ, x);
        run_steps<NQ>(cre, cim, bwd1);
        run_steps<NQ>(cre, cim, bwd2);
        normalize_arg(cre, cim, len);
        auto [mask, front] = order_bits(cre, cim, nq);
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
    if (best_re != out.best_re) {
        std::copy_n(best_re, N, out.best_re);
        std::copy_n(best_im, N, out.best_im);
    }
}

void Evaluator::dispatch(const double* start_re, const double* start_im, std::span<const Step> fwd,
                         std::span<const Step> bwd1, std::span<const Step> bwd2, Out out,
                         std::vector<PermPair>* pairs, PermPair* first) const {
    switch (nqubits()) {
        case 0: return run_fixed<0>(start_re, start_im, fwd, bwd1, bwd2, out, pairs, first);
        case 1: return run_fixed<1>(start_re, start_im, fwd, bwd1, bwd2, out, pairs, first);
        case 2: return run_fixed<2>(start_re, start_im, fwd, bwd1, bwd2, out, pairs, first);
        case 3: return run_fixed<3>(start_re, start_im, fwd, bwd1, bwd2, out, pairs, first);
        case 4: return run_fixed<4>(start_re, start_im, fwd, bwd1, bwd2, out, pairs, first);
        case 5: return run_fixed<5>(start_re, start_im, fwd, bwd1, bwd2, out, pairs, first);
        default: throw InternalError("Evaluations need at most 5 qubits");
    }
}

Evaluator::Scratch& Evaluator::decode(std::span<const Instr32> instrs) const {
    Scratch& s = scratch();
    const unsigned n = nqubits();
    if (n > kMaxEvalQubits) too_many_qubits(instrs, n);
    s.len = size_t(1) << n;
    switch (n) {
        case 0: decode_circuit<0>(instrs, s.steps, s.general); break;
        case 1: decode_circuit<1>(instrs, s.steps, s.general); break;
        case 2: decode_circuit<2>(instrs, s.steps, s.general); break;
        case 3: decode_circuit<3>(instrs, s.steps, s.general); break;
        case 4: decode_circuit<4>(instrs, s.steps, s.general); break;
        case 5: decode_circuit<5>(instrs, s.steps, s.general); break;
    }
    return s;
}

void Evaluator::prepare(std::span<const Instr32> prefix, EvalPrefix& out) const {
    EvalPrefix::Data& d = *out.d_;
    const unsigned n = nqubits();
    if (n > kMaxEvalQubits) too_many_qubits(prefix, n);
    std::vector<Step> steps;
    switch (n) {
        case 0: decode_circuit<0>(prefix, steps, d.general); break;
        case 1: decode_circuit<1>(prefix, steps, d.general); break;
        case 2: decode_circuit<2>(prefix, steps, d.general); break;
        case 3: decode_circuit<3>(prefix, steps, d.general); break;
        case 4: decode_circuit<4>(prefix, steps, d.general); break;
        case 5: decode_circuit<5>(prefix, steps, d.general); break;
    }
    const size_t k = prefix.size();
    d.adjoints.assign(steps.begin() + long(k), steps.end());
    // The forward state before normalisation: extending it by one step
    // repeats exactly the operations of the whole circuit.
    const size_t len = size_t(1) << n;
    std::copy_n(initial_state_.re().data(), len, d.fwd_re);
    std::copy_n(initial_state_.im().data(), len, d.fwd_im);
    const std::span<const Step> fwd(steps.data(), k);
    switch (n) {
        case 0: run_steps<0>(d.fwd_re, d.fwd_im, fwd); break;
        case 1: run_steps<1>(d.fwd_re, d.fwd_im, fwd); break;
        case 2: run_steps<2>(d.fwd_re, d.fwd_im, fwd); break;
        case 3: run_steps<3>(d.fwd_re, d.fwd_im, fwd); break;
        case 4: run_steps<4>(d.fwd_re, d.fwd_im, fwd); break;
        case 5: run_steps<5>(d.fwd_re, d.fwd_im, fwd); break;
    }
    d.nqubits = n;
}

uint64_t Evaluator::key_extended(const EvalPrefix& prefix, Instr32 last, std::vector<PermPair>& pairs) const {
    const EvalPrefix::Data& d = *prefix.d_;
    const unsigned n = nqubits();
    check(d.nqubits == n, "key_extended: the prefix was prepared for another qubit count");
    Scratch& s = scratch();
    s.len = size_t(1) << n;
    s.last_general.clear();
    s.last.resize(2);
    switch (n) {
#define BORVANE_DECODE_LAST(NQ)                                           \
    case NQ:                                                              \
        if (!decode_kernels<NQ>(last, s.last[0], s.last[1])) {            \
            s.last[0] = general_step<NQ>(last, false, s.last_general);    \
            s.last[1] = general_step<NQ>(last, true, s.last_general);     \
        }                                                                 \
        break;
        BORVANE_DECODE_LAST(0)
        BORVANE_DECODE_LAST(1)
        BORVANE_DECODE_LAST(2)
        BORVANE_DECODE_LAST(3)
        BORVANE_DECODE_LAST(4)
        BORVANE_DECODE_LAST(5)
#undef BORVANE_DECODE_LAST
    }
    const std::span<const Step> l(s.last);
    dispatch(d.fwd_re, d.fwd_im, l.first(1), l.subspan(1), d.adjoints, {s.fwd_re, s.fwd_im, s.best_re, s.best_im},
             &pairs, nullptr);
    return hash_value(s.best_re, s.best_im, s.len);
}

void Evaluator::evaluate_multiple(std::span<const Instr32> instrs, EvalResult& out) const {
    Scratch& s = decode(instrs);
    const unsigned n = nqubits();
    out.back.resize(n);
    out.forward.resize(n);
    const std::span<const Step> all(s.steps);
    const size_t k = instrs.size();
    // The states are written straight into the result.
    dispatch(initial_state_.re().data(), initial_state_.im().data(), all.first(k), all.subspan(k), {},
             {&out.forward.re(0), &out.forward.im(0), &out.back.re(0), &out.back.im(0)}, &out.pairs, nullptr);
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
    Scratch& s = decode(instrs);
    const std::span<const Step> all(s.steps);
    const size_t k = instrs.size();
    dispatch(initial_state_.re().data(), initial_state_.im().data(), all.first(k), all.subspan(k), {},
             {s.fwd_re, s.fwd_im, s.best_re, s.best_im}, &pairs, nullptr);
    return hash_value(s.best_re, s.best_im, s.len);
}

uint64_t Evaluator::key(std::span<const Instr32> instrs, PermPair& first) const {
    Scratch& s = decode(instrs);
    const std::span<const Step> all(s.steps);
    const size_t k = instrs.size();
    dispatch(initial_state_.re().data(), initial_state_.im().data(), all.first(k), all.subspan(k), {},
             {s.fwd_re, s.fwd_im, s.best_re, s.best_im}, nullptr, &first);
    return hash_value(s.best_re, s.best_im, s.len);
}

uint64_t Evaluator::initial_key() const {
    PermPair first;
    return key({}, first);
}

}  // namespace borvane
