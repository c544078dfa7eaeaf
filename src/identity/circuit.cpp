#include "identity/circuit.h"

#include <algorithm>

#include "utils/errors.h"
#include "utils/fmt_join.h"
#include "utils/siphash.h"

namespace borvane {

namespace {

// The largest qubit argument, or -1 when there is none.
int max_qubit(const std::vector<Instr32>& instrs) {
    int m = -1;
    for (Instr32 i : instrs) {
        QArgs16 q = i.qargs();
        if (q.q0 != QArgs16::kEmpty) m = std::max(m, int(q.q0));
        if (q.q1 != QArgs16::kEmpty) m = std::max(m, int(q.q1));
    }
    return m;
}

[[noreturn]] void slice_range_error(int64_t n, size_t len) {
    throw InternalError("range end index " + std::to_string(n < 0 ? -n : n) + " out of range for slice of length " +
                        std::to_string(len));
}

}  // namespace

void relabel_into(const Instr32* src, size_t n, Permut32 p, Instr32* dst) {
    for (size_t i = 0; i < n; ++i) dst[i] = src[i].apply_permutation(p);
}

void reorder_in_place(Instr32* v, size_t n) {
    for (size_t i = 1; i < n; ++i)
        for (size_t j = i; j >= 1; --j) {
            // An instruction without qubits shares nothing with anything.
            if (v[j].arg_mask() & v[j - 1].arg_mask()) break;
            if (v[j] < v[j - 1])
                std::swap(v[j], v[j - 1]);
            else
                break;
        }
}

std::strong_ordering compare_instrs(const Instr32* a, size_t na, const Instr32* b, size_t nb) {
    size_t n = std::min(na, nb);
    for (size_t i = 0; i < n; ++i) {
        uint32_t x = a[i].order_key(), y = b[i].order_key();
        if (x != y) return x <=> y;
    }
    return na <=> nb;
}

Circ Circ::create(std::vector<Instr32> instrs, Permut32 perm) {
    int m = max_qubit(instrs);
    if (m >= 0 && size_t(m) >= perm.len())
        throw InternalError("Permutation length must be greater than the max qubit index.");
    Circ c;
    c.instrs = std::move(instrs);
    c.perm = perm;
    return c;
}

Circ Circ::new_no_perm(std::vector<Instr32> instrs) {
    int m = max_qubit(instrs);
    Permut32 p = m < 0 ? Permut32::identity(0) : Permut32::identity(size_t(m) + 1);
    return create(std::move(instrs), p);
}

std::vector<uint8_t> Circ::affected_qubits() const {
    std::vector<uint8_t> out;
    for (Instr32 i : instrs)
        for (uint8_t q : i.qubits()) out.push_back(q);
    for (size_t i = 0; i < nqubits(); ++i)
        if (perm.get(i) != i) out.push_back(uint8_t(i));
    return out;
}

Circ Circ::compact_qubits() && {
    if (instrs.empty()) return std::move(*this);
    std::vector<uint8_t> affected = affected_qubits();
    if (affected.empty()) return std::move(*this);
    size_t m = *std::max_element(affected.begin(), affected.end());
    if (m + 1 < nqubits()) {
        // Every qubit above m is a fixed point, so the first m + 1 entries
        // form a permutation.
        perm = Permut32::from_raw((perm.raw() & ((1u << (3 * (m + 1))) - 1)) | uint32_t(m + 1) << 24);
    }
    return std::move(*this);
}

Circ Circ::reorder_instrs() && {
    reorder_in_place(instrs.data(), instrs.size());
    return std::move(*this);
}

Circ Circ::permut(Permut32 p) const {
    auto [sigma, pi] = Permut32::coordinate_permute(perm, p);
    std::vector<Instr32> out(instrs.size());
    relabel_into(instrs.data(), instrs.size(), pi, out.data());
    return create(std::move(out), pi * sigma * pi.inv());
}

Circ Circ::rotate(int64_t n) const {
    const size_t len = instrs.size();
    if (n == 0) return *this;
    std::vector<Instr32> out;
    out.reserve(len);
    if (n > 0) {
        if (size_t(n) > len) slice_range_error(n, len);
        Permut32 inv = perm.inv();
        out.insert(out.end(), instrs.begin() + n, instrs.end());
        for (int64_t i = 0; i < n; ++i) out.push_back(instrs[size_t(i)].apply_permutation(inv));
    } else {
        size_t k = size_t(-n);
        if (k > len) slice_range_error(n, len);
        for (size_t i = len - k; i < len; ++i) out.push_back(instrs[i].apply_permutation(perm));
        out.insert(out.end(), instrs.begin(), instrs.begin() + long(len - k));
    }
    return create(std::move(out), perm);
}

Circ Circ::remove_swaps() const {
    const size_t n = nqubits();
    uint8_t map[8];
    for (size_t i = 0; i < n; ++i) map[i] = uint8_t(i);
    auto index = [&](uint8_t q) -> uint8_t& {
        if (q >= n)
            throw InternalError("index out of bounds: the len is " + std::to_string(n) + " but the index is " +
                                std::to_string(q));
        return map[q];
    };
    std::vector<Instr32> out;
    out.reserve(instrs.size());
    for (Instr32 i : instrs) {
        QArgs16 q = i.qargs();
        if (i.gate() == gates::SWAP) {
            if (q.q0 == QArgs16::kEmpty || q.q1 == QArgs16::kEmpty)
                throw InternalError("A SWAP instruction without two qubit arguments: " + i.display());
            std::swap(index(q.q0), index(q.q1));
        } else {
            if (q.q0 != QArgs16::kEmpty) q.q0 = index(q.q0);
            if (q.q1 != QArgs16::kEmpty) q.q1 = index(q.q1);
            out.push_back(Instr32::unchecked(i.gate(), q));
        }
    }
    Permut32 mu = Permut32::from_iter_unchecked(std::vector<uint8_t>(map, map + n));
    return create(std::move(out), perm * mu.inv());
}

Circ Circ::inverse() const {
    std::vector<Instr32> out;
    out.reserve(instrs.size());
    for (size_t k = instrs.size(); k-- > 0;) out.push_back(instrs[k].adjoint().apply_permutation(perm));
    return create(std::move(out), perm.inv());
}

Circ operator+(const Circ& a, const Circ& b) {
    auto [sa, sb] = Permut32::coordinate_permute(a.perm, b.perm);
    Permut32 sa_inv = sa.inv();
    std::vector<Instr32> out(a.instrs);
    out.reserve(a.instrs.size() + b.instrs.size());
    for (Instr32 i : b.instrs) out.push_back(i.apply_permutation(sa_inv));
    return Circ::create(std::move(out), sb * sa);
}

namespace {

// The candidate of one relabelling: compact_qubits(reorder_instrs(permut(c, p))),
// built in `buf` without allocating once `buf` has grown.
Permut32 representative_candidate(const Circ& c, Permut32 p, std::vector<Instr32>& buf) {
    auto [sigma, pi] = Permut32::coordinate_permute(c.perm, p);
    buf.resize(c.instrs.size());
    relabel_into(c.instrs.data(), c.instrs.size(), pi, buf.data());
    reorder_in_place(buf.data(), buf.size());
    Circ tmp;
    tmp.perm = pi * sigma * pi.inv();
    tmp.instrs.swap(buf);
    Circ compacted = std::move(tmp).compact_qubits();
    buf.swap(compacted.instrs);
    return compacted.perm;
}

}  // namespace

std::pair<Circ, Permut32> Circ::representative_with_perm() && {
    Circ c = std::move(*this).compact_qubits().remove_swaps();
    if (c.instrs.empty()) return {std::move(c), Permut32::identity(0)};
    std::vector<Instr32> buf, best;
    Permut32 best_perm, best_p;
    bool have = false;
    for (Permut32 p : Permut32::all(c.nqubits())) {
        Permut32 cp = representative_candidate(c, p, buf);
        // Same length for every candidate: compare instructions, then the
        // permutation, then (for equal candidates) the relabelling itself.
        auto cmp = have ? compare_instrs(buf.data(), buf.size(), best.data(), best.size()) : std::strong_ordering::less;
        if (cmp == 0) cmp = cp <=> best_perm;
        if (cmp == 0) cmp = p <=> best_p;
        if (cmp < 0) {
            best.swap(buf);
            best_perm = cp;
            best_p = p;
            have = true;
        }
    }
    Circ out;
    out.instrs = std::move(best);
    out.perm = best_perm;
    return {std::move(out), best_p};
}

Circ Circ::representative() && {
    Circ c = std::move(*this).compact_qubits().remove_swaps();
    if (c.instrs.empty()) return c;
    std::vector<Instr32> buf, best;
    Permut32 best_perm;
    bool have = false;
    for (Permut32 p : Permut32::all(c.nqubits())) {
        Permut32 cp = representative_candidate(c, p, buf);
        auto cmp = have ? compare_instrs(buf.data(), buf.size(), best.data(), best.size()) : std::strong_ordering::less;
        if (cmp == 0) cmp = cp <=> best_perm;
        if (cmp < 0) {  // the first among equals stays
            best.swap(buf);
            best_perm = cp;
            have = true;
        }
    }
    Circ out;
    out.instrs = std::move(best);
    out.perm = best_perm;
    return out;
}

std::vector<Instr32> Circ::instrs_with_swaps() const {
    std::vector<Instr32> out = instrs;
    for (Instr32 s : perm.generate_swaps()) out.push_back(s);
    return out;
}

void Circ::hash_into(SipHasher13& h) const {
    h.write_len(instrs.size());
    for (Instr32 i : instrs) i.hash_into(h);
    h.write_u32(perm.raw());
}

uint64_t Circ::hash_value() const {
    SipHasher13 h;
    hash_into(h);
    return h.finish();
}

std::string Circ::display() const {
    std::string out = "Circuit { ";
    for (Instr32 i : instrs) {
        i.display_into(out);
        out += " ";
    }
    return out + perm.display() + " }";
}

std::string Circ::debug() const {
    return "Circ { instrs: [" + display_instrs(instrs, ", ") + "], perm: " + perm.display() + " }";
}

std::strong_ordering operator<=>(const Circ& a, const Circ& b) {
    if (a.instrs.size() != b.instrs.size()) return a.instrs.size() <=> b.instrs.size();
    auto c = compare_instrs(a.instrs.data(), a.instrs.size(), b.instrs.data(), b.instrs.size());
    if (c != 0) return c;
    return a.perm <=> b.perm;
}

}  // namespace borvane
