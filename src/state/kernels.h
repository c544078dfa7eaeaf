// Gate application.  Nine frequent gates have hand-written kernels that touch
// only the amplitudes they change; every other gate goes through its dense
// matrix from the gate table.  The arithmetic of each kernel is fixed (the
// fingerprints depend on it bit for bit) and lives in kernel_ops.h.
#pragma once

#include <cstdint>
#include <vector>

#include "circ/instr.h"
#include "circ/matrix.h"
#include "state/kernel_ops.h"
#include "state/state_vec.h"

namespace borvane {

// Applies `gate` on the listed qubits (first listed = most significant bit
// of the matrix index).
void apply(StateView s, const uint8_t* qubits, unsigned k, Gate16 gate);
// Applies an instruction on its present qubit arguments.
void apply(StateView s, Instr32 instr);
// Dense application of a 2^k x 2^k matrix, k = 1, 2 or 3.
void multiply(StateView s, const uint8_t* qubits, unsigned k, const ComplexMatrix& m);

// The specialised kernels (GATE_FUNCS).
void perform_h_gate(StateView s, unsigned q);
void perform_x_gate(StateView s, unsigned q);
void perform_z_gate(StateView s, unsigned q);
void perform_s_gate(StateView s, unsigned q);
void perform_sdg_gate(StateView s, unsigned q);
void perform_t_gate(StateView s, unsigned q);
void perform_tdg_gate(StateView s, unsigned q);
void perform_cx_gate(StateView s, unsigned control, unsigned target);
void perform_swap_gate(StateView s, unsigned q0, unsigned q1);

// True when `gate` has a specialised kernel.
bool has_kernel(Gate16 gate);

// A circuit decoded once for repeated application: each instruction becomes
// its kernel (or its dense matrix, copied out of the gate table) with its
// qubits checked against the state size.
struct GateOp {
    enum Kind : uint8_t { H, X, Z, S, SDG, T, TDG, CX, SWAP, DENSE1, DENSE2 };
    Kind kind;
    uint8_t q0, q1;
    uint16_t dense;  // index into DecodedCircuit::dense for DENSE1/DENSE2
};

struct DenseOp {
    double mre[16], mim[16];  // row by row
    size_t offset[4];
    unsigned sorted[2];
};

struct DecodedCircuit {
    std::vector<GateOp> ops;
    std::vector<DenseOp> dense;

    void clear() {
        ops.clear();
        dense.clear();
    }
    // Appends one instruction; fails as `apply` would on a bad qubit or size.
    void add(Instr32 instr, unsigned nqubits);
    // Appends the instruction's adjoint (the adjoint gate on the same qubits).
    void add_adjoint(Instr32 instr, unsigned nqubits);
};

template <class Len>
inline void run_op(double* re, double* im, Len len, const GateOp& op, const DecodedCircuit& c) {
    switch (op.kind) {
        case GateOp::H: return kernel::h(re, im, len, op.q0);
        case GateOp::X: return kernel::x(re, im, len, op.q0);
        case GateOp::Z: return kernel::z(re, im, len, op.q0);
        case GateOp::S: return kernel::s(re, im, len, op.q0);
        case GateOp::SDG: return kernel::sdg(re, im, len, op.q0);
        case GateOp::T: return kernel::t(re, im, len, op.q0);
        case GateOp::TDG: return kernel::tdg(re, im, len, op.q0);
        case GateOp::CX: return kernel::cx(re, im, len, op.q0, op.q1);
        case GateOp::SWAP: return kernel::swap(re, im, len, op.q0, op.q1);
        case GateOp::DENSE1: {
            const DenseOp& d = c.dense[op.dense];
            return kernel::dense<1>(re, im, len, d.mre, d.mim, d.offset, d.sorted);
        }
        case GateOp::DENSE2: {
            const DenseOp& d = c.dense[op.dense];
            return kernel::dense<2>(re, im, len, d.mre, d.mim, d.offset, d.sorted);
        }
    }
}

template <class Len>
inline void run_ops(double* re, double* im, Len len, const DecodedCircuit& c, size_t begin, size_t end) {
    for (size_t i = begin; i < end; ++i) run_op(re, im, len, c.ops[i], c);
}

}  // namespace borvane
