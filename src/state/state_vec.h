// StateVec: the dense state of n qubits as two arrays of real and imaginary
// parts.  Bit q of an amplitude index is the value of qubit q.  States are
// compared and hashed through quantised amplitudes after a canonical global
// phase (normalize_arg).
#pragma once

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "circ/instr.h"
#include "groups/permutation.h"
#include "state/qreal.h"
#include "utils/random.h"

namespace borvane {

// The generator behind every random state: seeded from the operating system.
inline Rng make_os_seeded_rng() { return Rng::from_os(); }

class OrderInfo;

// A mutable view of amplitudes, shared by StateVec and the evaluator's
// scratch buffers.
struct StateView {
    double* re;
    double* im;
    unsigned nqubits;
    size_t len() const { return size_t(1) << nqubits; }
};

class StateVec {
public:
    StateVec() = default;
    // Requires equal lengths that are a power of two.
    StateVec(std::vector<double> re, std::vector<double> im);

    static StateVec zeros(uint32_t num_qubits);
    static StateVec from_random(Rng& rng, uint32_t num_qubits);
    static StateVec from_random_symmetric(Rng& rng, uint32_t num_qubits);

    size_t len() const { return re_.size(); }
    unsigned nqubits() const { return nqubits_; }
    const std::vector<double>& re() const { return re_; }
    const std::vector<double>& im() const { return im_; }
    double& re(size_t i) { return re_[i]; }
    double& im(size_t i) { return im_[i]; }
    StateView view() { return {re_.data(), im_.data(), nqubits_}; }

    // Unit norm, then the canonical phase.
    void normalize();
    void normalize_arg();
    uint64_t hash_value() const;
    bool loose_eq(const StateVec& other) const;
    // Relabels qubits: the content of qubit k moves to qubit perm[k].  Uses
    // the calling thread's scratch cache, so it allocates nothing once the
    // cache holds a vector of this size.
    void apply_permutation(Permut32 perm);
    OrderInfo get_orderinfo() const;
    Permut32 get_permutation() const;
    // Applies one instruction (kernel or dense matrix).
    void apply(Instr32 instr);
    StateVec clone() const { return *this; }
    // |sum of squared magnitudes - 1| < 2^-24
    bool check() const;

    // "[1.0000, -0.5000j]"
    std::string display() const;

    // Field by field, re then im, each lexicographic with quantised values.
    friend std::strong_ordering operator<=>(const StateVec& a, const StateVec& b);
    friend bool operator==(const StateVec& a, const StateVec& b) { return (a <=> b) == 0; }

    // Reuses this vector's buffers for a copy of `other`.
    void assign(const StateVec& other);
    void resize(unsigned nqubits) {
        if (nqubits != nqubits_ || re_.size() != (size_t(1) << nqubits)) resize_slow(nqubits);
    }

private:
    void resize_slow(unsigned nqubits);
    friend void swap_buffers(StateVec& a, StateVec& b) noexcept;
    std::vector<double> re_, im_;
    unsigned nqubits_ = 0;
};

// Operations on views, used by StateVec and by the evaluator's hot path.
// The canonical global phase: the reference amplitude (amplitude 0, else the
// last one, else the normalised sum) becomes real and non-negative, and
// im[0] is set to exactly 0.0.
template <class Len>
inline void normalize_arg(double* __restrict re, double* __restrict im, Len len) {
    const size_t n = size_t(len);
    double cre, cim;
    if (!(near_zero(re[0]) && near_zero(im[0]))) {
        cre = re[0];
        cim = im[0];
    } else if (!(near_zero(re[n - 1]) && near_zero(im[n - 1]))) {
        cre = re[n - 1];
        cim = im[n - 1];
    } else {
        double sre = 0.0, sim = 0.0;
        for (size_t i = 0; i < n; ++i) {
            sre += re[i];
            sim += im[i];
        }
        double mag = std::sqrt(sim * sim + sre * sre);
        cre = sre / mag;
        cim = sim / mag;
    }
    // unit = conj(c) / |c|
    double f = cim * cim + cre * cre;
    double g = std::sqrt(f);
    double ure = g * cre / f, uim = g * -cim / f;
    for (size_t i = 0; i < n; ++i) {
        double r = re[i], m = im[i];
        re[i] = r * ure - m * uim;
        im[i] = r * uim + m * ure;
    }
    im[0] = 0.0;
}
inline void normalize_arg(StateView s) { normalize_arg(s.re, s.im, s.len()); }
uint64_t hash_value(const double* re, const double* im, size_t len);
// The same hash through the general streaming hasher (the reference for tests).
uint64_t hash_value_streamed(const double* re, const double* im, size_t len);
// Lexicographic comparison of quantised parts: re first, then im.
int compare_quantized(const double* re_a, const double* im_a, const double* re_b, const double* im_b, size_t len);
[[noreturn]] void relabelling_length_mismatch(Permut32 perm, unsigned nqubits);

// dst[j(i)] = src[i] where j moves bit k of i to bit perm[k]; perm.len() must
// equal the qubit count.
inline void permute_into(const double* __restrict src_re, const double* __restrict src_im, double* __restrict dst_re,
                         double* __restrict dst_im, unsigned nqubits, Permut32 perm) {
    if (perm.len() != nqubits) relabelling_length_mismatch(perm, nqubits);
    // j(i) is j of i without its lowest set bit, plus that bit's image.
    const size_t n = size_t(1) << nqubits;  // at most 256: perm has at most 8 entries
    uint8_t img[8];
    for (unsigned k = 0; k < nqubits; ++k) img[k] = uint8_t(1u << perm.get(k));
    uint8_t j[256];
    j[0] = 0;
    dst_re[0] = src_re[0];
    dst_im[0] = src_im[0];
    for (size_t i = 1; i < n; ++i) {
        j[i] = uint8_t(j[i & (i - 1)] | img[std::countr_zero(i)]);
        dst_re[j[i]] = src_re[i];
        dst_im[j[i]] = src_im[i];
    }
}

// The calling thread's spare state vectors: entry k holds 2^k amplitudes.
// Entries 0 .. size exist afterwards.
void reserve_state_vec_cache(unsigned size);

}  // namespace borvane
