// The arithmetic of the specialised kernels and of the dense product, written
// once as inline templates over the amplitude count.  StateVec::apply calls
// them with a run-time length; the evaluator calls them with a compile-time
// length so that every loop unrolls.  Both paths perform the same operations
// in the same order, so their results agree bit for bit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace borvane::kernel {

inline constexpr double kC = 0.7071067811865476;  // the double nearest 1/sqrt(2)

// Inserts a zero bit at position p.
inline size_t insert_zero(size_t x, unsigned p) {
    return ((x >> p) << (p + 1)) | (x & ((size_t(1) << p) - 1));
}

// f(i0, i1) for every pair of indices differing in bit q (i0 has it clear),
// in increasing order of i0.
template <class Len, class Q, class F>
inline void for_pairs(Len len, Q q, F&& f) {
    const size_t half = size_t(len) / 2;
    for (size_t g = 0; g < half; ++g) {
        size_t i0 = insert_zero(g, q);
        f(i0, i0 | (size_t(1) << q));
    }
}

// f(base) for each group base of a two-qubit operation, in increasing order.
template <class Len, class Q0, class Q1, class F>
inline void for_bases2(Len len, Q0 qa, Q1 qb, F&& f) {
    const unsigned a = unsigned(qa), b = unsigned(qb);
    const unsigned lo = a < b ? a : b, hi = a < b ? b : a;
    const size_t groups = size_t(len) / 4;
    for (size_t g = 0; g < groups; ++g) f(insert_zero(insert_zero(g, lo), hi));
}

template <class Len, class Q>
inline void h(double* __restrict re, double* __restrict im, Len len, Q q) {
    for_pairs(len, q, [&](size_t i0, size_t i1) {
        double r0 = re[i0], r1 = re[i1], m0 = im[i0], m1 = im[i1];
        re[i0] = (r0 + r1) * kC;
        re[i1] = (r0 - r1) * kC;
        im[i0] = (m0 + m1) * kC;
        im[i1] = (m0 - m1) * kC;
    });
}

template <class Len, class Q>
inline void x(double* __restrict re, double* __restrict im, Len len, Q q) {
    for_pairs(len, q, [&](size_t i0, size_t i1) {
        double r = re[i0], m = im[i0];
        re[i0] = re[i1];
        im[i0] = im[i1];
        re[i1] = r;
        im[i1] = m;
    });
}

template <class Len, class Q>
inline void z(double* __restrict re, double* __restrict im, Len len, Q q) {
    for_pairs(len, q, [&](size_t, size_t i1) {
        re[i1] = -re[i1];
        im[i1] = -im[i1];
    });
}

// a1 * i
template <class Len, class Q>
inline void s(double* __restrict re, double* __restrict im, Len len, Q q) {
    for_pairs(len, q, [&](size_t, size_t i1) {
        double r = re[i1], m = im[i1];
        re[i1] = r * 0.0 - m;
        im[i1] = m * 0.0 + r;
    });
}

// a1 * -i
template <class Len, class Q>
inline void sdg(double* __restrict re, double* __restrict im, Len len, Q q) {
    for_pairs(len, q, [&](size_t, size_t i1) {
        double r = re[i1], m = im[i1];
        re[i1] = r * -0.0 + m;
        im[i1] = m * -0.0 - r;
    });
}

// a1 * e^{i pi/4}
template <class Len, class Q>
inline void t(double* __restrict re, double* __restrict im, Len len, Q q) {
    for_pairs(len, q, [&](size_t, size_t i1) {
        double u = re[i1] * kC, v = im[i1] * kC;
        re[i1] = u - v;
        im[i1] = v + u;
    });
}

// a1 * e^{-i pi/4}
template <class Len, class Q>
inline void tdg(double* __restrict re, double* __restrict im, Len len, Q q) {
    for_pairs(len, q, [&](size_t, size_t i1) {
        double u = re[i1] * kC, v = im[i1] * kC;
        re[i1] = u + v;
        im[i1] = v - u;
    });
}

// Exchanges amplitudes idx(2) and idx(3): control q0, target q1.
template <class Len, class Q0, class Q1>
inline void cx(double* __restrict re, double* __restrict im, Len len, Q0 q0, Q1 q1) {
    const size_t c = size_t(1) << q0, tt = size_t(1) << q1;
    for_bases2(len, q0, q1, [&](size_t base) {
        size_t a = base + c, b = base + c + tt;
        double r = re[a], m = im[a];
        re[a] = re[b];
        im[a] = im[b];
        re[b] = r;
        im[b] = m;
    });
}

// Exchanges amplitudes idx(1) and idx(2).
template <class Len, class Q0, class Q1>
inline void swap(double* __restrict re, double* __restrict im, Len len, Q0 q0, Q1 q1) {
    const size_t i1 = size_t(1) << q1, i2 = size_t(1) << q0;
    for_bases2(len, q0, q1, [&](size_t base) {
        size_t a = base + i1, b = base + i2;
        double r = re[a], m = im[a];
        re[a] = re[b];
        im[a] = im[b];
        re[b] = r;
        im[b] = m;
    });
}

// w[r] = sum over c, in increasing c, of M[r][c] * v[c] for every group.
// `mre`/`mim` hold the D x D matrix row by row; `offset[m]` is the index
// offset of group member m (bit K-1-j of m selects the j-th listed qubit);
// `sorted` lists the qubits in increasing order.
template <unsigned K, class Len>
inline void dense(double* __restrict re, double* __restrict im, Len len, const double* mre, const double* mim, const size_t* offset,
                  const unsigned* sorted) {
    constexpr unsigned D = 1u << K;
    const size_t groups = size_t(len) >> K;
    for (size_t g = 0; g < groups; ++g) {
        size_t base = g;
        for (unsigned j = 0; j < K; ++j) base = insert_zero(base, sorted[j]);
        double vre[D], vim[D];
        for (unsigned c = 0; c < D; ++c) {
            vre[c] = re[base + offset[c]];
            vim[c] = im[base + offset[c]];
        }
        for (unsigned r = 0; r < D; ++r) {
            double wre = 0.0, wim = 0.0;
            for (unsigned c = 0; c < D; ++c) {
                wre += mre[r * D + c] * vre[c] - mim[r * D + c] * vim[c];
                wim += mre[r * D + c] * vim[c] + mim[r * D + c] * vre[c];
            }
            re[base + offset[r]] = wre;
            im[base + offset[r]] = wim;
        }
    }
}

}  // namespace borvane::kernel
