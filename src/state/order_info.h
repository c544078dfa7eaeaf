// The canonical qubit order of a state and the relabellings it cannot tell
// apart.  Each qubit is keyed by four quantised amplitudes; qubits are sorted
// by key and runs of equal keys form equality classes.
#pragma once

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include <string>

#include "groups/permutation.h"
#include "utils/errors.h"
#include "utils/numeric.h"

namespace borvane {

// The key of qubit q: (re, im) of the basis state with only q set, then of
// the one with every qubit but q set, each quantised.
using QubitKey = std::array<int64_t, 4>;

class OrderInfo {
public:
    static constexpr size_t kMaxQubits = 32;

    // Every qubit in one class, in index order.
    static OrderInfo create(size_t n) {
        if (n >= kMaxQubits) throw InternalError("OrderInfo: too many qubits");
        OrderInfo o;
        o.n_ = n;
        for (size_t i = 0; i < n; ++i) o.permut_[i] = uint8_t(i);
        o.eq_classes_[0] = uint8_t(n);
        o.nclasses_ = 1;
        return o;
    }
    // create(n) refined once with the state key.
    static OrderInfo of_state(const double* re, const double* im, unsigned nqubits) {
        OrderInfo o = create(nqubits);
        const size_t last = (size_t(1) << nqubits) - 1;
        o.sort_eqclass_by_key(0, [&](size_t q) {
            size_t one = size_t(1) << q, all_but = last - one;
            return QubitKey{quantize24(re[one]), quantize24(im[one]), quantize24(re[all_but]), quantize24(im[all_but])};
        });
        return o;
    }

    // Stably sorts the qubits of class b by key and splits the class at
    // every change of key.
    template <class Key>
    void sort_eqclass_by_key(size_t b, Key&& key);

    // (equality mask, permutation whose entry k is permut[k])
    std::pair<uint8_t, Permut32> as_bits() const {
        if (n_ > Permut32::kMaxLen)
            throw InternalError("Permutation length must be less than or equal to 8 (the state has " +
                                std::to_string(n_) + " qubits)");
        uint32_t raw = uint32_t(n_) << 24;
        for (size_t k = 0; k < n_; ++k) raw |= uint32_t(permut_[k]) << (3 * k);
        Permut32 base = Permut32::from_raw(raw);
        if (n_ < 2) return {0, base};
        unsigned a = (1u << n_) - 2;
        for (size_t c = 0; c < nclasses_; ++c) a &= ~(1u << (eq_classes_[c] % 8));
        return {uint8_t(a >> 1), base};
    }
    // The relabellings that permute qubits only within equality classes; the
    // first is always the sorted order itself.
    std::vector<Permut32> as_perms() const;
    // The same, without allocating: calls f(candidate) in order.
    template <class F>
    void for_each_perm(F&& f) const;

    size_t nqubits() const { return n_; }
    std::vector<size_t> permut() const { return {permut_.begin(), permut_.begin() + n_}; }
    std::vector<size_t> eq_classes() const { return {eq_classes_.begin(), eq_classes_.begin() + nclasses_}; }

private:
    size_t n_ = 0;
    size_t nclasses_ = 0;
    std::array<uint8_t, kMaxQubits> permut_{};
    std::array<uint8_t, kMaxQubits> eq_classes_{};
};

// The same as OrderInfo::of_state(re, im, n).as_bits(), for n <= 8, without
// building the record: the evaluator's hot path (N is the qubit count as a
// compile-time constant there, so the loops unroll).  Positions i and i+1
// are in one class exactly when their keys are equal, since the stable sort
// places equal keys next to each other.
template <class N>
[[gnu::always_inline]] inline std::pair<uint8_t, Permut32> order_bits(const double* re, const double* im, N nq) {
    const unsigned n = unsigned(nq);
    // Key element 0 of every qubit is needed; elements 1..3 only when two
    // qubits tie on element 0, so they are quantised on first use.  The
    // comparisons see exactly the values full keys would hold.
    int64_t k0[8];
    int64_t rest[8][3];
    bool full[8];
    uint8_t perm[8];
    const size_t last = (size_t(1) << n) - 1;
    for (unsigned q = 0; q < n; ++q) {
        k0[q] = quantize24(re[size_t(1) << q]);
        full[q] = false;
        perm[q] = uint8_t(q);
    }
    auto complete = [&](unsigned q) {
        if (full[q]) return;
        const size_t one = size_t(1) << q, all_but = last - one;
        rest[q][0] = quantize24(im[one]);
        rest[q][1] = quantize24(re[all_but]);
        rest[q][2] = quantize24(im[all_but]);
        full[q] = true;
    };
    // <0, 0, >0 as the key of qubit a compares with that of qubit b.
    auto compare = [&](unsigned a, unsigned b) -> int {
        if (k0[a] != k0[b]) return k0[a] < k0[b] ? -1 : 1;
        complete(a);
        complete(b);
        for (unsigned e = 0; e < 3; ++e)
            if (rest[a][e] != rest[b][e]) return rest[a][e] < rest[b][e] ? -1 : 1;
        return 0;
    };
    for (unsigned r = 1; r < n; ++r) {
        uint8_t q = perm[r];
        unsigned s = r;
        while (s > 0 && compare(q, perm[s - 1]) < 0) {
            perm[s] = perm[s - 1];
            --s;
        }
        perm[s] = q;
    }
    uint32_t raw = uint32_t(n) << 24;
    unsigned mask = 0;
    for (unsigned k = 0; k < n; ++k) {
        raw |= uint32_t(perm[k]) << (3 * k);
        if (k + 1 < n && compare(perm[k], perm[k + 1]) == 0) mask |= 1u << k;
    }
    return {uint8_t(mask), Permut32::from_raw(raw)};
}

// EQMASK_TO_PERMS: for each equality mask over 5 positions, the permutations
// of 5 elements (in table order) that keep every position within its class.
const std::vector<Permut32>& eqmask_to_perms(uint8_t mask);

template <class Key>
void OrderInfo::sort_eqclass_by_key(size_t b, Key&& key) {
    if (b >= nclasses_) throw InternalError("index out of range: equality class " + std::to_string(b));
    size_t start = b == 0 ? 0 : eq_classes_[b - 1], end = eq_classes_[b];
    std::array<QubitKey, kMaxQubits> keys;
    for (size_t r = start; r < end; ++r) keys[permut_[r]] = key(permut_[r]);
    // Insertion sort: stable, and classes are tiny.
    for (size_t r = start + 1; r < end; ++r) {
        uint8_t q = permut_[r];
        size_t s = r;
        while (s > start && keys[q] < keys[permut_[s - 1]]) {
            permut_[s] = permut_[s - 1];
            --s;
        }
        permut_[s] = q;
    }
    for (size_t r = start + 1; r < end; ++r) {
        if (keys[permut_[r - 1]] != keys[permut_[r]]) {
            for (size_t i = nclasses_; i > b; --i) eq_classes_[i] = eq_classes_[i - 1];
            eq_classes_[b] = uint8_t(r);
            ++nclasses_;
            ++b;
        }
    }
}

template <class F>
void OrderInfo::for_each_perm(F&& f) const {
    auto [mask, base] = as_bits();
    // The table covers five positions; with more qubits its entries cut to n
    // places would not be permutations.
    if (n_ > 5)
        throw InternalError("Candidate relabellings are only available for at most 5 qubits, got " +
                            std::to_string(n_));
    for (Permut32 p : eqmask_to_perms(mask)) {
        uint32_t raw = uint32_t(n_) << 24;
        for (size_t i = 0; i < n_; ++i) raw |= uint32_t(base.get(p.get(i))) << (3 * i);
        f(Permut32::from_raw(raw));
    }
}

}  // namespace borvane
