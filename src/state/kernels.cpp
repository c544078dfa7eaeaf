#include "state/kernels.h"

#include <algorithm>
#include <string>

#include "utils/errors.h"

namespace borvane {

namespace {

[[noreturn]] void qubit_out_of_range(unsigned q, unsigned n) {
    throw InternalError("index out of range: qubit " + std::to_string(q) + " of a " + std::to_string(n) +
                        "-qubit state");
}

void require_count(unsigned k, unsigned want) {
    if (k != want)
        throw InternalError("A " + std::to_string(want) + "-qubit kernel was given " + std::to_string(k) +
                            " qubits");
}

void require_matrix_size(const ComplexMatrix& m, unsigned k) {
    const uint32_t d = 1u << k;
    if (m.rows != d || m.cols != d)
        throw InternalError("Matrix size check failed: a " + std::to_string(k) + "-qubit application needs a " +
                            std::to_string(d) + "x" + std::to_string(d) + " matrix, got " + std::to_string(m.rows) +
                            "x" + std::to_string(m.cols));
}

// The group layout of a k-qubit dense application and the matrix split into
// real and imaginary parts, row by row.
template <unsigned K>
struct DenseLayout {
    static constexpr unsigned D = 1u << K;
    double mre[D * D], mim[D * D];
    size_t offset[D];
    unsigned sorted[K];

    DenseLayout(const uint8_t* qubits, const ComplexMatrix& m) {
        require_matrix_size(m, K);
        for (unsigned r = 0; r < D; ++r)
            for (unsigned c = 0; c < D; ++c) {
                mre[r * D + c] = m.at(r, c).real();
                mim[r * D + c] = m.at(r, c).imag();
            }
        for (unsigned mm = 0; mm < D; ++mm) {
            size_t o = 0;
            for (unsigned j = 0; j < K; ++j)
                if (mm & (1u << (K - 1 - j))) o += size_t(1) << qubits[j];
            offset[mm] = o;
        }
        for (unsigned j = 0; j < K; ++j) sorted[j] = qubits[j];
        std::sort(sorted, sorted + K);
    }
};

template <unsigned K>
void multiply_fixed(StateView s, const uint8_t* qubits, const ComplexMatrix& m) {
    DenseLayout<K> d(qubits, m);
    kernel::dense<K>(s.re, s.im, s.len(), d.mre, d.mim, d.offset, d.sorted);
}

void check_qubits(const uint8_t* qubits, unsigned k, unsigned n) {
    for (unsigned j = 0; j < k; ++j)
        if (qubits[j] >= n) qubit_out_of_range(qubits[j], n);
    // A repeated qubit has no meaning and would make the group indices run
    // past the amplitudes, so it is refused rather than applied.
    for (unsigned j = 0; j < k; ++j)
        for (unsigned l = j + 1; l < k; ++l)
            if (qubits[j] == qubits[l])
                throw InternalError("A gate cannot act twice on qubit " + std::to_string(qubits[j]));
}

}  // namespace

void perform_h_gate(StateView s, unsigned q) { kernel::h(s.re, s.im, s.len(), q); }
void perform_x_gate(StateView s, unsigned q) { kernel::x(s.re, s.im, s.len(), q); }
void perform_z_gate(StateView s, unsigned q) { kernel::z(s.re, s.im, s.len(), q); }
void perform_s_gate(StateView s, unsigned q) { kernel::s(s.re, s.im, s.len(), q); }
void perform_sdg_gate(StateView s, unsigned q) { kernel::sdg(s.re, s.im, s.len(), q); }
void perform_t_gate(StateView s, unsigned q) { kernel::t(s.re, s.im, s.len(), q); }
void perform_tdg_gate(StateView s, unsigned q) { kernel::tdg(s.re, s.im, s.len(), q); }
void perform_cx_gate(StateView s, unsigned c, unsigned t) { kernel::cx(s.re, s.im, s.len(), c, t); }
void perform_swap_gate(StateView s, unsigned q0, unsigned q1) { kernel::swap(s.re, s.im, s.len(), q0, q1); }

bool has_kernel(Gate16 g) {
    using namespace gates;
    return g == H || g == X || g == Z || g == T || g == TDG || g == S || g == SDG || g == SWAP || g == CX;
}

void multiply(StateView s, const uint8_t* qubits, unsigned k, const ComplexMatrix& m) {
    switch (k) {
        case 1: return multiply_fixed<1>(s, qubits, m);
        case 2: return multiply_fixed<2>(s, qubits, m);
        case 3: return multiply_fixed<3>(s, qubits, m);
        default: throw InternalError("Unsupported number of qubits: " + std::to_string(k));
    }
}

void apply(StateView s, const uint8_t* qubits, unsigned k, Gate16 gate) {
    check_qubits(qubits, k, s.nqubits);
    // The kernel table (GATE_FUNCS): these nine gates use their kernels,
    // every other gate its dense matrix under the table's shared lock.
    switch (gate.raw()) {
        case gates::H.raw(): require_count(k, 1); return perform_h_gate(s, qubits[0]);
        case gates::X.raw(): require_count(k, 1); return perform_x_gate(s, qubits[0]);
        case gates::Z.raw(): require_count(k, 1); return perform_z_gate(s, qubits[0]);
        case gates::T.raw(): require_count(k, 1); return perform_t_gate(s, qubits[0]);
        case gates::TDG.raw(): require_count(k, 1); return perform_tdg_gate(s, qubits[0]);
        case gates::S.raw(): require_count(k, 1); return perform_s_gate(s, qubits[0]);
        case gates::SDG.raw(): require_count(k, 1); return perform_sdg_gate(s, qubits[0]);
        case gates::SWAP.raw(): require_count(k, 2); return perform_swap_gate(s, qubits[0], qubits[1]);
        case gates::CX.raw(): require_count(k, 2); return perform_cx_gate(s, qubits[0], qubits[1]);
        default: gate.matrix([&](const ComplexMatrix& m) { multiply(s, qubits, k, m); });
    }
}

void apply(StateView s, Instr32 instr) {
    uint8_t q[2] = {instr.qargs().q0, instr.qargs().q1};
    apply(s, q, instr.nqubits(), instr.gate());
}

void DecodedCircuit::add_adjoint(Instr32 instr, unsigned nqubits) {
    // The adjoints of the kernel gates are fixed built-in entries (t <-> tdg,
    // s <-> sdg, the others their own), so only other gates ask the table.
    Gate16 g = instr.gate(), adj;
    switch (g.raw()) {
        case gates::H.raw():
        case gates::X.raw():
        case gates::Z.raw():
        case gates::CX.raw():
        case gates::SWAP.raw(): adj = g; break;
        case gates::T.raw(): adj = gates::TDG; break;
        case gates::TDG.raw(): adj = gates::T; break;
        case gates::S.raw(): adj = gates::SDG; break;
        case gates::SDG.raw(): adj = gates::S; break;
        default: adj = g.adjoint();
    }
    add(Instr32::unchecked(adj, instr.qargs()), nqubits);
}

void DecodedCircuit::add(Instr32 instr, unsigned nqubits) {
    const uint8_t q[2] = {instr.qargs().q0, instr.qargs().q1};
    const unsigned k = instr.nqubits();
    check_qubits(q, k, nqubits);
    auto kernel_op = [&](GateOp::Kind kind, unsigned want) {
        require_count(k, want);
        ops.push_back(GateOp{kind, q[0], q[1], 0});
    };
    switch (instr.gate().raw()) {
        case gates::H.raw(): return kernel_op(GateOp::H, 1);
        case gates::X.raw(): return kernel_op(GateOp::X, 1);
        case gates::Z.raw(): return kernel_op(GateOp::Z, 1);
        case gates::T.raw(): return kernel_op(GateOp::T, 1);
        case gates::TDG.raw(): return kernel_op(GateOp::TDG, 1);
        case gates::S.raw(): return kernel_op(GateOp::S, 1);
        case gates::SDG.raw(): return kernel_op(GateOp::SDG, 1);
        case gates::SWAP.raw(): return kernel_op(GateOp::SWAP, 2);
        case gates::CX.raw(): return kernel_op(GateOp::CX, 2);
        default: break;
    }
    if (k != 1 && k != 2) throw InternalError("Unsupported number of qubits: " + std::to_string(k));
    if (dense.size() >= 0xFFFF) throw InternalError("Too many dense gates in one circuit");
    DenseOp d{};
    instr.gate().matrix([&](const ComplexMatrix& m) {
        auto fill = [&](const auto& layout) {
            constexpr unsigned D = std::decay_t<decltype(layout)>::D;
            std::copy_n(layout.mre, D * D, d.mre);
            std::copy_n(layout.mim, D * D, d.mim);
            std::copy_n(layout.offset, D, d.offset);
            std::copy_n(layout.sorted, D == 2 ? 1 : 2, d.sorted);
        };
        if (k == 1)
            fill(DenseLayout<1>(q, m));
        else
            fill(DenseLayout<2>(q, m));
    });
    ops.push_back(GateOp{k == 1 ? GateOp::DENSE1 : GateOp::DENSE2, q[0], q[1], uint16_t(dense.size())});
    dense.push_back(d);
}

}  // namespace borvane
