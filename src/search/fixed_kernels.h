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

template <unsigned NQ, unsigned G, unsigned Q>
void single(double* __restrict re, double* __restrict im) {
    constexpr Len<NQ> len{};
    constexpr Qc<Q> q{};
    if constexpr (G == gates::H.raw()) kernel::h(re, im, len, q);
    if constexpr (G == gates::X.raw()) kernel::x(re, im, len, q);
    if constexpr (G == gates::Z.raw()) kernel::z(re, im, len, q);
    if constexpr (G == gates::S.raw()) kernel::s(re, im, len, q);
    if constexpr (G == gates::SDG.raw()) kernel::sdg(re, im, len, q);
    if constexpr (G == gates::T.raw()) kernel::t(re, im, len, q);
    if constexpr (G == gates::TDG.raw()) kernel::tdg(re, im, len, q);
}

template <unsigned NQ, unsigned G, unsigned Q0, unsigned Q1>
void pair(double* __restrict re, double* __restrict im) {
    constexpr Len<NQ> len{};
    // Equal qubits only come from unchecked instructions; the run-time form
    // of the kernel keeps its indices in range for them.
    if constexpr (G == gates::CX.raw()) {
        if constexpr (Q0 == Q1)
            kernel::cx(re, im, len, Q0, Q1);
        else
            kernel::cx(re, im, len, Qc<Q0>{}, Qc<Q1>{});
    }
    if constexpr (G == gates::SWAP.raw()) {
        if constexpr (Q0 == Q1)
            kernel::swap(re, im, len, Q0, Q1);
        else
            kernel::swap(re, im, len, Qc<Q0>{}, Qc<Q1>{});
    }
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
// slot.  An entry is set only where the gate has a kernel and the qubit count
// is the gate's own; everything else is null and takes the general path
// (dense matrix, or the error of a malformed instruction).
template <unsigned NQ>
struct KernelTable {
    static constexpr unsigned M = NQ == 0 ? 1 : NQ;
    std::array<std::array<std::array<Kernel, M + 1>, M>, kKernelGates> k{};

    template <unsigned G, unsigned Q0, unsigned S1>
    constexpr void fill_one() {
        if constexpr (Q0 < NQ) {
            if constexpr (is_single_kernel(G) && S1 == NQ) k[G][Q0][S1] = &single<NQ, G, Q0>;
            if constexpr (is_pair_kernel(G) && S1 < NQ) k[G][Q0][S1] = &pair<NQ, G, Q0, S1>;
        }
    }
    template <size_t... I>
    constexpr void fill(std::index_sequence<I...>) {
        (fill_one<unsigned(I / (M * (M + 1))), unsigned(I / (M + 1) % M), unsigned(I % (M + 1))>(), ...);
    }
    constexpr KernelTable() { fill(std::make_index_sequence<kKernelGates * M * (M + 1)>{}); }

    // The kernel of `instr` (or of its adjoint), or null.
    Kernel lookup(Instr32 instr, bool adjoint) const {
        unsigned g = instr.gate().raw(), q0 = instr.qargs().q0, q1 = instr.qargs().q1;
        if (g >= kKernelGates || q0 >= NQ || (q1 >= NQ && q1 != QArgs16::kEmpty)) return nullptr;
        if (adjoint) g = kernel_adjoint(g);
        return k[g][q0][q1 == QArgs16::kEmpty ? NQ : q1];
    }
};

template <unsigned NQ>
inline constexpr KernelTable<NQ> kKernels{};

}  // namespace borvane::fixed
