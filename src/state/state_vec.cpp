#include "state/state_vec.h"

#include <bit>
#include <cstdio>

#include "state/kernels.h"
#include "state/order_info.h"
#include "utils/errors.h"
#include "utils/siphash.h"

namespace borvane {

namespace {

constexpr const char* kTooManyQubits = "Number of qubits too large, resulting in overflow for state vector size.";

void require_qubit_count(uint32_t n) {
    if (n >= 32) throw InternalError(kTooManyQubits);
}

// The calling thread's spare vectors (STATE_VEC_CACHE).
struct StateVecCache {
    std::vector<StateVec> entries;
    bool borrowed = false;
};
thread_local StateVecCache state_vec_cache;

struct CacheBorrow {
    CacheBorrow() {
        if (state_vec_cache.borrowed) throw InternalError("The state vector cache is already borrowed");
        state_vec_cache.borrowed = true;
    }
    ~CacheBorrow() { state_vec_cache.borrowed = false; }
};

// Formats with four decimals; NaN and infinities spelled as the display of
// a double spells them.
void append_fixed4(std::string& out, double v, bool plus) {
    if (std::isnan(v)) {
        out += "NaN";
        return;
    }
    if (std::isinf(v)) {
        out += v > 0 ? (plus ? "+inf" : "inf") : "-inf";
        return;
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, plus ? "%+.4f" : "%.4f", v);
    out += buf;
}

}  // namespace

StateVec::StateVec(std::vector<double> re, std::vector<double> im) {
    if (re.size() != im.size())
        throw InternalError("Real and imaginary parts must have the same length (left: " + std::to_string(re.size()) +
                            ", right: " + std::to_string(im.size()) + ")");
    if (re.empty() || !std::has_single_bit(re.size())) throw InternalError("Length must be a power of 2");
    nqubits_ = unsigned(std::countr_zero(re.size()));
    re_ = std::move(re);
    im_ = std::move(im);
}

void StateVec::resize_slow(unsigned n) {
    require_qubit_count(n);
    nqubits_ = n;
    re_.resize(size_t(1) << n);
    im_.resize(size_t(1) << n);
}

void StateVec::assign(const StateVec& other) {
    re_.assign(other.re_.begin(), other.re_.end());
    im_.assign(other.im_.begin(), other.im_.end());
    nqubits_ = other.nqubits_;
}

StateVec StateVec::zeros(uint32_t n) {
    require_qubit_count(n);
    StateVec s;
    s.resize(n);
    return s;
}

StateVec StateVec::from_random(Rng& rng, uint32_t n) {
    require_qubit_count(n);
    StateVec s;
    s.resize(n);
    for (double& v : s.re_) v = uniform01(rng);
    for (double& v : s.im_) v = uniform01(rng);
    s.normalize();
    return s;
}

StateVec StateVec::from_random_symmetric(Rng& rng, uint32_t n) {
    require_qubit_count(n);
    std::vector<double> re_values(n + 1), im_values(n + 1);
    for (double& v : re_values) v = uniform01(rng);
    for (double& v : im_values) v = uniform01(rng);
    StateVec s;
    s.resize(n);
    for (size_t i = 0; i < s.len(); ++i) {
        int w = std::popcount(i);
        s.re_[i] = re_values[w];
        s.im_[i] = im_values[w];
    }
    s.normalize();
    return s;
}

void StateVec::normalize() {
    double sq = 0.0;
    for (size_t i = 0; i < len(); ++i) sq += re_[i] * re_[i] + im_[i] * im_[i];
    double norm = std::sqrt(sq);
    for (size_t i = 0; i < len(); ++i) {
        re_[i] /= norm;
        im_[i] /= norm;
    }
    normalize_arg();
}

void StateVec::normalize_arg() { borvane::normalize_arg(view()); }

uint64_t hash_value_streamed(const double* re, const double* im, size_t len) {
    SipHasher13 h;
    h.write_u32(uint32_t(len));
    for (size_t i = 0; i < len; ++i) h.write_i64(quantize24(re[i]));
    h.write_u32(uint32_t(len));
    for (size_t i = 0; i < len; ++i) h.write_i64(quantize24(im[i]));
    return h.finish();
}

uint64_t hash_value(const double* re, const double* im, size_t len) {
    // The same byte stream as hash_value_streamed, hashed word by word; the
    // quantised parts of evaluator-sized states stay on the stack.
    constexpr size_t kStack = 64;
    auto hash_parts = [&](uint64_t* qa, uint64_t* qb) {
        for (size_t i = 0; i < len; ++i) {
            qa[i] = uint64_t(quantize24(re[i]));
            qb[i] = uint64_t(quantize24(im[i]));
        }
        return siphash13_prefixed_words(uint32_t(len), qa, qb, len);
    };
    if (len <= kStack) {
        uint64_t qa[kStack], qb[kStack];
        return hash_parts(qa, qb);
    }
    std::vector<uint64_t> heap(2 * len);
    return hash_parts(heap.data(), heap.data() + len);
}

uint64_t StateVec::hash_value() const { return borvane::hash_value(re_.data(), im_.data(), len()); }

bool StateVec::loose_eq(const StateVec& o) const {
    size_t n = std::min(len(), o.len());
    for (size_t i = 0; i < n; ++i)
        if (!borvane::loose_eq(re_[i], o.re_[i])) return false;
    for (size_t i = 0; i < n; ++i)
        if (!borvane::loose_eq(im_[i], o.im_[i])) return false;
    return true;
}

void relabelling_length_mismatch(Permut32 perm, unsigned nqubits) {
    throw InternalError("A relabelling of " + std::to_string(perm.len()) + " qubits was applied to a " +
                        std::to_string(nqubits) + "-qubit state");
}

void reserve_state_vec_cache(unsigned size) {
    auto& entries = state_vec_cache.entries;
    for (unsigned k = unsigned(entries.size()); k <= size; ++k) entries.push_back(StateVec::zeros(k));
}

void swap_buffers(StateVec& a, StateVec& b) noexcept {
    a.re_.swap(b.re_);
    a.im_.swap(b.im_);
}

void StateVec::apply_permutation(Permut32 perm) {
    const unsigned n = nqubits_;
    if (perm.len() != n) relabelling_length_mismatch(perm, n);
    // Permutations read unchecked from files or dictionary forms may repeat
    // entries; relabelling by one would write outside the amplitudes.
    if (!perm.is_valid())
        throw InternalError("Not a permutation of " + std::to_string(n) + " qubits: " + perm.display());
    reserve_state_vec_cache(n);
    CacheBorrow borrow;
    StateVec& scratch = state_vec_cache.entries[n];
    permute_into(re_.data(), im_.data(), scratch.re_.data(), scratch.im_.data(), n, perm);
    swap_buffers(*this, scratch);
}

OrderInfo StateVec::get_orderinfo() const { return OrderInfo::of_state(re_.data(), im_.data(), nqubits_); }

Permut32 StateVec::get_permutation() const { return get_orderinfo().as_bits().second; }

void StateVec::apply(Instr32 instr) { borvane::apply(view(), instr); }

bool StateVec::check() const {
    double sq = 0.0;
    for (size_t i = 0; i < len(); ++i) sq += re_[i] * re_[i] + im_[i] * im_[i];
    return std::fabs(sq - 1.0) < kNearZero;
}

std::string StateVec::display() const {
    std::string out = "[";
    for (size_t i = 0; i < len(); ++i) {
        if (i) out += ", ";
        if (near_zero(im_[i])) {
            append_fixed4(out, re_[i], false);
        } else if (near_zero(re_[i])) {
            append_fixed4(out, im_[i], false);
            out += "j";
        } else {
            append_fixed4(out, re_[i], false);
            append_fixed4(out, im_[i], true);
            out += "j";
        }
    }
    return out + "]";
}

namespace {
std::strong_ordering compare_arrays(const std::vector<double>& a, const std::vector<double>& b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        int64_t x = quantize24(a[i]), y = quantize24(b[i]);
        if (x != y) return x <=> y;
    }
    return a.size() <=> b.size();
}
}  // namespace

std::strong_ordering operator<=>(const StateVec& a, const StateVec& b) {
    auto c = compare_arrays(a.re_, b.re_);
    if (c != 0) return c;
    return compare_arrays(a.im_, b.im_);
}

int compare_quantized(const double* re_a, const double* im_a, const double* re_b, const double* im_b, size_t len) {
    for (size_t i = 0; i < len; ++i) {
        int64_t x = quantize24(re_a[i]), y = quantize24(re_b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    for (size_t i = 0; i < len; ++i) {
        int64_t x = quantize24(im_a[i]), y = quantize24(im_b[i]);
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

}  // namespace borvane
