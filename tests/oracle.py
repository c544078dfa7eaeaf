"""Independent dense-matrix references for the tests, written from the
conventions alone: bit q of a state index is qubit q; for a gate on listed
qubits (q_0, ..., q_{k-1}) the first listed qubit is the most significant bit
of the gate's matrix index."""
import itertools

import numpy as np


def gate_on_qubits(matrix: np.ndarray, qubits, n: int) -> np.ndarray:
    """The 2^n x 2^n operator of `matrix` acting on `qubits` of n qubits."""
    k = len(qubits)
    dim = 1 << n
    full = np.zeros((dim, dim), dtype=complex)
    for col in range(dim):
        # sub-index of the column on the listed qubits, q_0 most significant
        m = 0
        for j, q in enumerate(qubits):
            if col >> q & 1:
                m |= 1 << (k - 1 - j)
        rest = col
        for q in qubits:
            rest &= ~(1 << q)
        for r in range(1 << k):
            row = rest
            for j, q in enumerate(qubits):
                if r >> (k - 1 - j) & 1:
                    row |= 1 << q
            full[row, col] += matrix[r, m]
    return full


def permutation_operator(perm, n: int) -> np.ndarray:
    """Moves the content of qubit j to qubit perm[j]."""
    dim = 1 << n
    p = np.zeros((dim, dim), dtype=complex)
    for i in range(dim):
        j = 0
        for k in range(n):
            if i >> k & 1:
                j |= 1 << perm[k]
        p[j, i] = 1
    return p


def circuit_unitary(instrs, n: int, perm=None) -> np.ndarray:
    """The operator of instructions (objects with .gate.matrix and .qargs)
    applied first to last, then the trailing permutation."""
    u = np.eye(1 << n, dtype=complex)
    for ins in instrs:
        u = gate_on_qubits(np.asarray(ins.gate.matrix), list(ins.qargs), n) @ u
    if perm is not None:
        u = permutation_operator(perm, n) @ u
    return u


def equal_up_to_phase(a: np.ndarray, b: np.ndarray, tol: float = 1e-9) -> bool:
    idx = np.unravel_index(np.argmax(np.abs(a)), a.shape)
    if abs(b[idx]) < tol:
        return False
    phase = b[idx] / a[idx]
    return abs(abs(phase) - 1) < tol and np.allclose(a * phase, b, atol=tol)


def equivalent_up_to_relabelling(a: np.ndarray, b: np.ndarray, n: int) -> bool:
    """a == Q b P up to phase for some input relabelling P and output Q."""
    perms = [permutation_operator(p, n) for p in itertools.permutations(range(n))]
    return any(equal_up_to_phase(a, q @ b @ p) for p in perms for q in perms)


def random_circuit(rng, n: int, length: int):
    """A random Circ on n qubits over h, x, t, s, cx, cz and swap, with a
    random trailing permutation."""
    from borvane import Circ, Gate, Instr

    names = ["h", "x", "t", "s", "cx", "cz", "swap"] if n > 1 else ["h", "x", "t", "s"]
    out = []
    for _ in range(length):
        g = Gate.from_name(rng.choice(names))
        out.append(Instr(g, rng.sample(range(n), g.nqargs)))
    return Circ(out, tuple(rng.sample(range(n), n)))
