"""Gate application: kernels and the dense path against NumPy, and the exact
arithmetic of the kernels."""
import itertools
import math
import random

import numpy as np
import pytest

from borvane import Gate, InternalFailure, Instr, StateVec
from borvane import _testing
from oracle import gate_on_qubits

BUILTIN_NAMES = ["i", "h", "x", "z", "y", "s", "sdg", "t", "tdg", "cx", "cz", "cy", "cs", "csdg", "swap",
                 "t1/2", "tdg1/2", "rz(pi/3)", "rz(-pi/3)", "rz(pi/5)", "rz(-pi/5)", "rz(pi/16)", "rz(-pi/16)"]
C = 0.7071067811865476


def random_parts(rng, n):
    return [rng.uniform(-1, 1) for _ in range(2**n)], [rng.uniform(-1, 1) for _ in range(2**n)]


def parts(sv):
    return [sv[i].real for i in range(sv.len())], [sv[i].imag for i in range(sv.len())]


@pytest.mark.parametrize("name", BUILTIN_NAMES)
def test_every_builtin_on_every_placement_matches_numpy(name):
    gate = Gate.from_name(name)
    rng = random.Random(name)
    for qubits in itertools.permutations(range(3), gate.nqargs):
        re, im = random_parts(rng, 3)
        sv = StateVec(re, im)
        sv *= Instr(gate, list(qubits))
        expected = gate_on_qubits(np.asarray(gate.matrix), list(qubits), 3) @ (np.array(re) + 1j * np.array(im))
        got = np.array([sv[i] for i in range(8)])
        assert np.allclose(got, expected, atol=1e-12), (name, qubits)


def _kernel_reference(name, re, im, qubits):
    """The kernels' arithmetic, written out from their definitions."""
    re, im = list(re), list(im)
    n = len(re).bit_length() - 1
    if name in ("cx", "swap"):
        q0, q1 = qubits
        for base in range(2**n):
            if base >> q0 & 1 or base >> q1 & 1:
                continue
            if name == "cx":
                a, b = base + (1 << q0), base + (1 << q0) + (1 << q1)
            else:
                a, b = base + (1 << q1), base + (1 << q0)
            re[a], re[b] = re[b], re[a]
            im[a], im[b] = im[b], im[a]
        return re, im
    (q,) = qubits
    for i0 in range(2**n):
        if i0 >> q & 1:
            continue
        i1 = i0 | (1 << q)
        r0, r1, m0, m1 = re[i0], re[i1], im[i0], im[i1]
        if name == "h":
            re[i0], re[i1], im[i0], im[i1] = (r0 + r1) * C, (r0 - r1) * C, (m0 + m1) * C, (m0 - m1) * C
        elif name == "x":
            re[i0], re[i1], im[i0], im[i1] = r1, r0, m1, m0
        elif name == "z":
            re[i1], im[i1] = -r1, -m1
        elif name == "s":
            re[i1], im[i1] = r1 * 0.0 - m1, m1 * 0.0 + r1
        elif name == "sdg":
            re[i1], im[i1] = r1 * -0.0 + m1, m1 * -0.0 - r1
        elif name == "t":
            u, v = r1 * C, m1 * C
            re[i1], im[i1] = u - v, v + u
        elif name == "tdg":
            u, v = r1 * C, m1 * C
            re[i1], im[i1] = u + v, v - u
    return re, im


@pytest.mark.parametrize("name", ["h", "x", "z", "s", "sdg", "t", "tdg", "cx", "swap"])
@pytest.mark.parametrize("n", [2, 3, 5])
def test_kernels_bit_exact(name, n):
    gate = Gate.from_name(name)
    rng = random.Random(f"{name}{n}")
    for qubits in itertools.permutations(range(n), gate.nqargs):
        re, im = random_parts(rng, n)
        re[0] = -0.0  # signed zeros follow the formulas too
        sv = StateVec(re, im)
        sv *= Instr(gate, list(qubits))
        got = parts(sv)
        want = _kernel_reference(name, re, im, qubits)
        assert [struct_bits(x) for x in got[0] + got[1]] == [struct_bits(x) for x in want[0] + want[1]]


def struct_bits(x):
    return math.copysign(1.0, x) if x == 0 else x


def test_dense_path_is_the_stated_sum():
    # rz(pi/3) has no kernel; w[r] = sum over c of M[r][c] * v[c]
    gate = Gate.from_name("cy")
    m = np.asarray(gate.matrix)
    rng = random.Random(3)
    re, im = random_parts(rng, 3)
    sv = StateVec(re, im)
    sv *= Instr(gate, [2, 0])
    for base in range(8):
        if base & 0b101:
            continue
        idx = [base + (4 if r & 2 else 0) + (1 if r & 1 else 0) for r in range(4)]
        for r in range(4):
            wr = wi = 0.0
            for c in range(4):
                a, b = m[r, c].real, m[r, c].imag
                x, y = re[idx[c]], im[idx[c]]
                wr += a * x - b * y
                wi += a * y + b * x
            assert sv[idx[r]] == complex(wr, wi)


def test_examples():
    sv = StateVec([1.0, 0.0], [0.0, 0.0])
    sv *= Instr(Gate.from_name("h"), [0])
    assert parts(sv) == ([C, C], [0.0, 0.0])
    cx = Gate.from_name("cx")
    one = StateVec([0.0, 1.0, 0.0, 0.0], [0.0] * 4)  # qubit 0 set
    one *= Instr(cx, [0, 1])
    assert parts(one)[0] == [0.0, 0.0, 0.0, 1.0]
    one = StateVec([0.0, 1.0, 0.0, 0.0], [0.0] * 4)
    one *= Instr(cx, [1, 0])
    assert parts(one)[0] == [0.0, 1.0, 0.0, 0.0]


def test_s_then_sdg_restores_exactly():
    rng = random.Random(7)
    re, im = random_parts(rng, 3)
    sv = StateVec(re, im)
    sv *= Instr(Gate.from_name("s"), [1])
    sv *= Instr(Gate.from_name("sdg"), [1])
    assert parts(sv) == (re, im)


@pytest.mark.parametrize("name, qubits", [("cx", (0, 1)), ("h", (2,)), ("t", (1,)), ("swap", (2, 0))])
def test_kernel_and_dense_path_agree(name, qubits):
    gate = Gate.from_name(name)
    rng = random.Random(name)
    re, im = random_parts(rng, 3)
    sv = StateVec(re, im)
    sv *= Instr(gate, list(qubits))
    raw = (hash_index(gate), qubits[0], qubits[1] if len(qubits) > 1 else 255)
    dense = _testing.state_op("apply_dense", re, im, raw)
    assert np.allclose(np.array(parts(sv)), np.array(dense), atol=1e-15)


def hash_index(gate):
    return BUILTIN_NAMES.index(str(gate))


def test_application_errors():
    sv = StateVec([1.0] + [0.0] * 7, [0.0] * 8)
    with pytest.raises(InternalFailure, match="index out of range"):
        sv *= Instr(Gate.from_name("h"), [3])
    with pytest.raises(InternalFailure, match="^Unsupported number of qubits: 4$"):
        _testing.state_op("multiply", [1.0] + [0.0] * 15, [0.0] * 16, [0, 1, 2, 3])
    with pytest.raises(InternalFailure, match="^Unsupported number of qubits: 0$"):
        _testing.state_op("multiply", [1.0, 0.0], [0.0, 0.0], [])


def test_imul_with_other_types():
    sv = StateVec([1.0, 0.0], [0.0, 0.0])
    with pytest.raises(TypeError):
        sv *= 2
    before = sv
    sv *= Instr(Gate.from_name("x"), [0])
    assert sv is before


@pytest.mark.parametrize("name", ["cx", "swap", "cz", "cy"])
@pytest.mark.parametrize("q", [0, 1])
def test_repeated_qubits_are_refused_not_applied(name, q):
    # Gate.__call__ does not test distinctness, so such instructions exist;
    # applying one would index past the amplitudes.
    instr = Gate.from_name(name)(q, q)
    sv = StateVec([1.0, 0.0, 0.0, 0.0], [0.0] * 4)
    with pytest.raises(InternalFailure, match="cannot act twice on qubit"):
        sv *= instr
    assert str(sv) == "[1.0000, 0.0000, 0.0000, 0.0000]"
    from borvane import Evaluator
    with pytest.raises(InternalFailure, match="cannot act twice on qubit"):
        Evaluator(2).evaluate([instr])
