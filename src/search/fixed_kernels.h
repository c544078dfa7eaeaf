// Kernels specialised on the qubit count and on their qubits, for the
// evaluator: with every index known at compile time each kernel becomes
// straight-line code.  They are the kernels of kernel_ops.h instantiated with
// constants, so they compute exactly what the run-time kernels compute.
#pragma once

#include <array>
#include <type_traits>
#include <utility>

#include "circ/gate.h"
#include "circ/instr.h"
#include "state/kernel_ops.h"

namespace borvane::fixed {

using Kernel = void (*)(double* re, double* im);

template <unsigned NQ>
using Len = std::integral_constant<size_t, size_t(1) << NQ>;
template <unsigned Q>
using Qc = std::integral_constant<unsigned, Q>;

// Gate handles of the built-in gates that have kernels are all below this.
inline constexpr unsigned kKernelGates = gates::SWAP.raw() + 1;

// Two doubles as one vector; element-wise operations on it are the scalar
// IEEE operations, so vectorised kernels compute exactly what the scalar
// ones do, group by group.
using V2 = double __attribute__((vector_size(16)));

inline V2 load2(const double* p) {
    V2 v;
    __builtin_memcpy(&v, p, sizeof v);
    return v;
}
inline void store2(double* p, V2 v) { __builtin_memcpy(p, &v, sizeof v); }

// The kernels' arithmetic on (a0, a1) pairs of real and imaginary parts,
// written once for scalars and vectors.
template <unsigned G>
struct PairOp {
    template <class T>
    static void apply(T& r0, T& m0, T& r1, T& m1) {
        const double c = kernel::kC;
        if constexpr (G == gates::H.raw()) {
            T a = r0, b = r1, x = m0, y = m1;
            r0 = (a + b) * c;
            r1 = (a - b) * c;
            m0 = (x + y) * c;
            m1 = (x - y) * c;
        } else if constexpr (G == gates::X.raw()) {
            T a = r0, x = m0;
            r0 = r1;
            m0 = m1;
            r1 = a;
            m1 = x;
        } else if constexpr (G == gates::Z.raw()) {
            r1 = -r1;
            m1 = -m1;
        } else if constexpr (G == gates::S.raw()) {
            T a = r1, x = m1;
            r1 = a * 0.0 - x;
            m1 = x * 0.0 + a;
        } else if constexpr (G == gates::SDG.raw()) {
            T a = r1, x = m1;
            r1 = a * -0.0 + x;
            m1 = x * -0.0 - a;
        } else if constexpr (G == gates::T.raw()) {
            T u = r1 * c, v = m1 * c;
            r1 = u - v;
            m1 = v + u;
        } else if constexpr (G == gates::TDG.raw()) {
            T u = r1 * c, v = m1 * c;
            r1 = u + v;
            m1 = v - u;
        }
    }
};

template <unsigned NQ, unsigned G, unsigned Q>
void single(double* __restrict re, double* __restrict im) {
    constexpr size_t N = size_t(1) << NQ, step = size_t(1) << Q;
    using Op = PairOp<G>;
    if constexpr (N < 4) {
        // One pair only.
        Op::apply(re[0], im[0], re[1], im[1]);
    } else if constexpr (Q >= 1) {
        // The pairs of a block lie in two runs of `step` amplitudes.
        for (size_t hi = 0; hi < N; hi += 2 * step)
            for (size_t lo = 0; lo < step; lo += 2) {
                const size_t i0 = hi + lo, i1 = i0 + step;
                V2 r0 = load2(re + i0), r1 = load2(re + i1), m0 = load2(im + i0), m1 = load2(im + i1);
                Op::apply(r0, m0, r1, m1);
                store2(re + i0, r0);
                store2(re + i1, r1);
                store2(im + i0, m0);
                store2(im + i1, m1);
            }
    } else {
        // Qubit 0: pairs are neighbours; two pairs at a time, transposed.
        for (size_t b = 0; b < N; b += 4) {
            V2 xr = load2(re + b), yr = load2(re + b + 2), xm = load2(im + b), ym = load2(im + b + 2);
            V2 r0 = __builtin_shufflevector(xr, yr, 0, 2), r1 = __builtin_shufflevector(xr, yr, 1, 3);
            V2 m0 = __builtin_shufflevector(xm, ym, 0, 2), m1 = __builtin_shufflevector(xm, ym, 1, 3);
            Op::apply(r0, m0, r1, m1);
            store2(re + b, __builtin_shufflevector(r0, r1, 0, 2));
            store2(re + b + 2, __builtin_shufflevector(r0, r1, 1, 3));
            store2(im + b, __builtin_shufflevector(m0, m1, 0, 2));
            store2(im + b + 2, __builtin_shufflevector(m0, m1, 1, 3));
        }
    }
}

template <unsigned NQ, unsigned G, unsigned Q0, unsigned Q1>
void pair(double* __restrict re, double* __restrict im) {
    static_assert(Q0 != Q1);
    constexpr Len<NQ> len{};
    if constexpr (G == gates::CX.raw()) kernel::cx(re, im, len, Qc<Q0>{}, Qc<Q1>{});
    if constexpr (G == gates::SWAP.raw()) kernel::swap(re, im, len, Qc<Q0>{}, Qc<Q1>{});
}

constexpr bool is_single_kernel(unsigned g) {
    return g == gates::H.raw() || g == gates::X.raw() || g == gates::Z.raw() || g == gates::S.raw() ||
           g == gates::SDG.raw() || g == gates::T.raw() || g == gates::TDG.raw();
}
constexpr bool is_pair_kernel(unsigned g) { return g == gates::CX.raw() || g == gates::SWAP.raw(); }

// The fixed adjoints of the kernel gates: t <-> tdg, s <-> sdg, the rest
// their own.
constexpr unsigned kernel_adjoint(unsigned g) {
    if (g == gates::T.raw()) return gates::TDG.raw();
    if (g == gates::TDG.raw()) return gates::T.raw();
    if (g == gates::S.raw()) return gates::SDG.raw();
    if (g == gates::SDG.raw()) return gates::S.raw();
    return g;
}

// table[gate][q0][slot1], slot1 = q1 for a second qubit or NQ for an empty
// slot.  An entry is set only where the gate has a kernel, the qubit count is
// the gate's own and the qubits are distinct; everything else is null and
// takes the general path (dense matrix, or the error of a malformed
// instruction).
// Each entry holds the instruction's kernel and its adjoint's, so one look-up
// serves both passes of an evaluation.
struct KernelPair {
    Kernel forward = nullptr;
    Kernel adjoint = nullptr;
};

template <unsigned NQ>
struct KernelTable {
    static constexpr unsigned M = NQ == 0 ? 1 : NQ;
    std::array<std::array<std::array<KernelPair, M + 1>, M>, kKernelGates> k{};

    template <unsigned G, unsigned Q0, unsigned S1>
    constexpr void fill_one() {
        if constexpr (Q0 < NQ) {
            constexpr unsigned A = kernel_adjoint(G);
            if constexpr (is_single_kernel(G) && S1 == NQ) k[G][Q0][S1] = {&single<NQ, G, Q0>, &single<NQ, A, Q0>};
            // A repeated qubit is left to the general path, which refuses it.
            if constexpr (is_pair_kernel(G) && S1 < NQ && S1 != Q0)
                k[G][Q0][S1] = {&pair<NQ, G, Q0, S1>, &pair<NQ, A, Q0, S1>};
        }
    }
    template <size_t... I>
    constexpr void fill(std::index_sequence<I...>) {
        (fill_one<unsigned(I / (M * (M + 1))), unsigned(I / (M + 1) % M), unsigned(I % (M + 1))>(), ...);
    }
    constexpr KernelTable() { fill(std::make_index_sequence<kKernelGates * M * (M + 1)>{}); }

    // The kernels of `instr` and of its adjoint, or nulls.
    KernelPair lookup(Instr32 instr) const {
        unsigned g = instr.gate().raw(), q0 = instr.qargs().q0, q1 = instr.qargs().q1;
        if (g >= kKernelGates || q0 >= NQ || (q1 >= NQ && q1 != QArgs16::kEmpty)) return {};
        return k[g][q0][q1 == QArgs16::kEmpty ? NQ : q1];
    }
};

template <unsigned NQ>
inline constexpr KernelTable<NQ> kKernels{};

}  // namespace borvane::fixed
