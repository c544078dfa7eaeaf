#include "identity/idcircuit.h"

#include <algorithm>

#include "state/state_vec.h"
#include "utils/errors.h"

namespace borvane {

namespace {

// The permutation after compact_qubits of (instrs, perm) for non-empty instrs.
Permut32 compacted_perm(const Instr32* instrs, size_t n, Permut32 perm) {
    int m = -1;
    for (size_t i = 0; i < n; ++i) {
        QArgs16 q = instrs[i].qargs();
        if (q.q0 != QArgs16::kEmpty) m = std::max(m, int(q.q0));
        if (q.q1 != QArgs16::kEmpty) m = std::max(m, int(q.q1));
    }
    for (size_t i = 0; i < perm.len(); ++i)
        if (perm.get(i) != i) m = std::max(m, int(i));
    if (m < 0 || size_t(m) + 1 >= perm.len()) return perm;
    return Permut32::from_raw((perm.raw() & ((1u << (3 * (m + 1))) - 1)) | uint32_t(m + 1) << 24);
}

bool touches_qubit0(Instr32 i) {
    QArgs16 q = i.qargs();
    return q.q0 == 0 || (q.q1 == 0 && q.q0 != QArgs16::kEmpty);
}

}  // namespace

IdentityCirc IdentityCirc::create(Circ c) {
    IdentityCirc id(std::move(c));
    id.check();
    return id;
}

IdentityCirc IdentityCirc::unchecked(Circ c) { return IdentityCirc(std::move(c)); }

IdentityCirc IdentityCirc::rotate_representative(Circ circuit) {
    Circ c = std::move(circuit).compact_qubits().remove_swaps();
    if (c.instrs.empty()) return create(std::move(c));
    const size_t len = c.instrs.size();
    // Per relabelling p: the relabelled circuit once, then every rotation
    // point that starts with an instruction on qubit 0, all in reused buffers.
    std::vector<Instr32> relabelled(len), cand(len), best(len);
    Permut32 best_perm;
    bool have = false;
    for (Permut32 p : Permut32::all(c.nqubits())) {
        auto [sigma, pi] = Permut32::coordinate_permute(c.perm, p);
        relabel_into(c.instrs.data(), len, pi, relabelled.data());
        const Permut32 pc = pi * sigma * pi.inv();
        const Permut32 pc_inv = pc.inv();
        for (size_t i = 0; i < len; ++i) {
            if (!touches_qubit0(relabelled[i])) continue;
            // rotate(i): instructions i.. unchanged, then 0..i-1 relabelled
            // through the inverse permutation.
            std::copy(relabelled.begin() + long(i), relabelled.end(), cand.begin());
            relabel_into(relabelled.data(), i, pc_inv, cand.data() + (len - i));
            reorder_in_place(cand.data(), len);
            Permut32 cp = compacted_perm(cand.data(), len, pc);
            auto cmp = have ? compare_instrs(cand.data(), len, best.data(), len) : std::strong_ordering::less;
            if (cmp == 0) cmp = cp <=> best_perm;
            if (cmp < 0) {
                best.swap(cand);
                best_perm = cp;
                have = true;
            }
        }
    }
    if (!have) {
        // No instruction touches qubit 0 in any relabelling: impossible after
        // compacting, since some qubit is touched and relabellings reach 0.
        throw InternalError("rotate_representative found no rotation point in " + c.display());
    }
    Circ out;
    out.instrs = std::move(best);
    out.perm = best_perm;
    return create(std::move(out));
}

bool IdentityCirc::check() const {
    // Forms read without validation may carry a value that is no permutation.
    if (!circ_.perm.is_valid())
        throw InternalError("IdentityCirc: the trailing permutation " + circ_.perm.display() + " of " + display() +
                            " is not a permutation");
    const size_t n = circ_.len(), h = n / 2;
    const unsigned k = unsigned(circ_.nqubits());
    Rng rng = Rng::from_os();
    StateVec s1 = StateVec::from_random(rng, k);
    StateVec s2 = s1;
    for (size_t i = 0; i < h; ++i) s1.apply(circ_.instrs[i]);
    s1.normalize_arg();
    s2.apply_permutation(circ_.perm.inv());
    for (size_t i = n; i-- > h;) s2.apply(circ_.instrs[i].adjoint());
    s2.normalize_arg();
    if (!s1.loose_eq(s2))
        throw InternalError("IdentityCirc: circuit is not identity " + s1.display() + " " + s2.display() + " " +
                            display());
    return true;
}

std::vector<size_t> IdentityCirc::wire_neighbours(size_t g, bool forward) const {
    const size_t n = len();
    const char* what = forward ? "qargs_forward" : "qargs_backward";
    if (g >= n)
        throw InternalError("index out of bounds: the len is " + std::to_string(n) + " but the index is " +
                            std::to_string(g));
    const std::vector<uint8_t> q = circ_.instrs[g].qubits();
    std::vector<size_t> out(q.size(), SIZE_MAX);
    // Forward: rotated so that instruction g is last, and scanned from the
    // start.  Backward: rotated so that instruction g is first, and scanned
    // from the end.  The wrapped instructions are relabelled through the
    // permutation, so the scan follows a wire's content across the end.
    const Circ r = circ_.rotate(forward ? int64_t(g + 1) : int64_t(g) - int64_t(n));
    const size_t expect_first = forward ? (g + 1) % n : g, expect_last = forward ? g : (g + n - 1) % n;
    if (r.len() != n || r.instrs[0].gate() != circ_.instrs[expect_first].gate() ||
        r.instrs[n - 1].gate() != circ_.instrs[expect_last].gate())
        throw InternalError(std::string(what) + ": inconsistent rotation of " + display());
    size_t unset = q.size();
    for (size_t step = 0; step < n && unset > 0; ++step) {
        const size_t pos = forward ? step : n - 1 - step;
        const size_t index = forward ? (step + g + 1) % n : (g + n - 1 - step) % n;
        for (uint8_t a : r.instrs[pos].qubits())
            for (size_t j = 0; j < q.size(); ++j)
                if (out[j] == SIZE_MAX && a == q[j]) {
                    out[j] = index;
                    --unset;
                    break;
                }
    }
    if (unset > 0)
        throw InternalError(std::string(what) + ": a wire of instruction " + std::to_string(g) + " has no " +
                            (forward ? "next" : "previous") + " instruction in " + display());
    return out;
}

std::string IdentityCirc::display() const {
    std::string out = "Identity { ";
    for (Instr32 i : circ_.instrs) {
        i.display_into(out);
        out += " ";
    }
    return out + circ_.perm.display() + " }";
}

}  // namespace borvane
