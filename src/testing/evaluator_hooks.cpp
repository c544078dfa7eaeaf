// A reference evaluator, written step by step from the evaluation algorithm
// with the plain run-time kernels, OrderInfo and in-place relabelling, to
// check the optimised evaluator bit for bit.
#include <random>

#include "py/convert.h"
#include "py/entry.h"
#include "search/evaluator.h"
#include "state/order_info.h"
#include "testing/hooks.h"
#include "utils/errors.h"

namespace borvane::py {

namespace {

struct Reference {
    StateVec back;
    std::vector<PermPair> pairs;
    StateVec forward;
};

Reference reference_evaluate(const Evaluator& ev, const std::vector<Instr32>& c) {
    Reference r;
    r.forward = ev.initial_state();
    for (Instr32 i : c) r.forward.apply(i);
    r.forward.normalize_arg();
    OrderInfo oi = r.forward.get_orderinfo();
    bool have = false;
    for (Permut32 x : oi.as_perms()) {
        PermPair pair;
        pair.back_perm = x.inv();
        StateVec b = ev.backtrack_state();
        b.apply_permutation(x);
        for (size_t k = c.size(); k-- > 0;) b.apply(Instr32::unchecked(c[k].gate().adjoint(), c[k].qargs()));
        b.normalize_arg();
        auto [m, front] = b.get_orderinfo().as_bits();
        if (m != 0) throw InternalError("Non-deterministic front permutation detected during evaluation");
        pair.front_perm = front;
        b.apply_permutation(front.inv());
        if (!have || b < r.back) {
            r.back = b;
            r.pairs = {pair};
            have = true;
        } else if (b == r.back) {
            r.pairs.push_back(pair);
        }
    }
    return r;
}

bool same_bits(const StateVec& a, const StateVec& b) {
    if (a.len() != b.len()) return false;
    for (size_t i = 0; i < a.len(); ++i)
        if (std::bit_cast<uint64_t>(a.re()[i]) != std::bit_cast<uint64_t>(b.re()[i]) ||
            std::bit_cast<uint64_t>(a.im()[i]) != std::bit_cast<uint64_t>(b.im()[i]))
            return false;
    return true;
}

// Random circuits over `gates` (built-in handles) on a fresh evaluator of
// `nqubits`: the optimised results (full evaluation, key, key of the prefix
// plus the last instruction) must equal the reference's exactly.  Returns
// the number of circuits checked.
Ref evaluator_reference_check(PyObject*, const Args& a) {
    static constexpr Signature<4> sig{"evaluator_reference_check", {"nqubits", "gates", "circuits", "seed"}};
    auto [pn, pg, pc, ps] = sig.parse(a);
    const uint32_t n = arg<uint32_t>(pn, "nqubits");
    const auto handles = arg<std::vector<uint16_t>>(pg, "gates");
    const uint32_t count = arg<uint32_t>(pc, "circuits");
    std::mt19937 rng(arg<uint32_t>(ps, "seed"));
    Evaluator ev = Evaluator::create(n);
    EvalResult fast;
    std::vector<PermPair> pairs;
    EvalPrefix prefix;
    for (uint32_t k = 0; k < count; ++k) {
        std::vector<Instr32> c;
        const size_t len = rng() % 8;
        for (size_t i = 0; i < len; ++i) {
            Gate16 g(handles[rng() % handles.size()]);
            uint8_t q0 = uint8_t(rng() % n), q1 = uint8_t((q0 + 1 + rng() % (n > 1 ? n - 1 : 1)) % n);
            c.push_back(g.nqargs() == 2 && n > 1 ? Instr32::unchecked(g, q0, q1) : Instr32::unchecked(g, q0));
            if (g.nqargs() == 2 && n < 2) c.pop_back();
        }
        Reference ref = reference_evaluate(ev, c);
        ev.evaluate_multiple(c, fast);
        auto where = [&](const char* what) {
            return std::string(what) + " differs for the circuit " + display_instrs(c, " ");
        };
        if (!same_bits(ref.forward, fast.forward)) throw InternalError(where("the forward state"));
        if (!same_bits(ref.back, fast.back)) throw InternalError(where("the back state"));
        if (ref.pairs != fast.pairs) throw InternalError(where("the pair list"));
        if (ev.key(c, pairs) != ref.back.hash_value() || pairs != ref.pairs) throw InternalError(where("key()"));
        if (ref.back.hash_value() != hash_value_streamed(ref.back.re().data(), ref.back.im().data(), ref.back.len()))
            throw InternalError(where("the word-wise hash"));
        if (!c.empty()) {
            ev.prepare(std::span<const Instr32>(c).first(c.size() - 1), prefix);
            if (ev.key_extended(prefix, c.back(), pairs) != ref.back.hash_value() || pairs != ref.pairs)
                throw InternalError(where("key_extended()"));
        }
    }
    return to_py(count);
}

PyMethodDef methods[] = {
    {"evaluator_reference_check", method_ptr<evaluator_reference_check>(), kMethod,
     "evaluator_reference_check(nqubits, gates, circuits, seed)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

const borvane::testing::RegisterHooks registered(methods);

}  // namespace

}  // namespace borvane::py
