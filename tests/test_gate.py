"""The gate table and the Gate class."""
import math

import numpy as np
import pytest

from borvane import Gate, InternalFailure
from borvane import _testing
from conftest import as_python_hash, run_fresh


def _phase(theta):
    return complex(math.cos(theta), math.sin(theta))


def _diag(*d):
    return np.diag(np.array(d, dtype=complex))


R = math.sqrt(0.5)
CTRL = lambda u: np.block([[np.eye(2), np.zeros((2, 2))], [np.zeros((2, 2)), u]]).astype(complex)  # noqa: E731

# (display name, matrix, display name of the adjoint), in table order,
# written from the matrix conventions independently of the native table.
BUILTINS = [
    ("i", np.eye(2, dtype=complex), "i"),
    ("h", np.array([[R, R], [R, -R]], dtype=complex), "h"),
    ("x", np.array([[0, 1], [1, 0]], dtype=complex), "x"),
    ("z", _diag(1, -1), "z"),
    ("y", np.array([[0, -1j], [1j, 0]]), "y"),
    ("s", _diag(1, 1j), "sdg"),
    ("sdg", _diag(1, -1j), "s"),
    ("t", _diag(1, _phase(math.pi / 4)), "tdg"),
    ("tdg", _diag(1, _phase(math.pi / 4).conjugate()), "t"),
    ("cx", CTRL(np.array([[0, 1], [1, 0]])), "cx"),
    ("cz", _diag(1, 1, 1, -1), "cz"),
    ("cy", CTRL(np.array([[0, -1j], [1j, 0]])), "cy"),
    ("cs", _diag(1, 1, 1, 1j), "csdg"),
    ("csdg", _diag(1, 1, 1, -1j), "cs"),
    ("swap", np.array([[1, 0, 0, 0], [0, 0, 1, 0], [0, 1, 0, 0], [0, 0, 0, 1]], dtype=complex), "swap"),
    ("t1/2", _diag(1, _phase(math.pi / 8)), "tdg1/2"),
    ("tdg1/2", _diag(1, _phase(math.pi / 8).conjugate()), "t1/2"),
    ("rz(pi/3)", _diag(1, _phase(math.pi / 3)), "rz(-pi/3)"),
    ("rz(-pi/3)", _diag(1, _phase(math.pi / 3).conjugate()), "rz(pi/3)"),
    ("rz(pi/5)", _diag(1, _phase(math.pi / 5)), "rz(-pi/5)"),
    ("rz(-pi/5)", _diag(1, _phase(math.pi / 5).conjugate()), "rz(pi/5)"),
    ("rz(pi/16)", _diag(1, _phase(math.pi / 16)), "rz(-pi/16)"),
    ("rz(-pi/16)", _diag(1, _phase(math.pi / 16).conjugate()), "rz(pi/16)"),
]


def test_builtin_table_in_order(siphash):
    gates = [Gate.from_name(name) for name, _, _ in BUILTINS]
    # Handles are visible through the stable hash: SipHash of the index as 2 bytes.
    oracle = siphash([i.to_bytes(2, "little") for i in range(len(BUILTINS))])
    assert [hash(g) for g in gates] == oracle
    for g, (name, matrix, adjoint) in zip(gates, BUILTINS):
        assert str(g) == name
        m = g.matrix
        assert m.dtype == np.complex128 and m.flags["F_CONTIGUOUS"]
        # Exact doubles, not approximations.
        assert np.array_equal(m, matrix), name
        assert g.nqargs == int(math.log2(len(matrix)))
        assert str(g.adjoint()) == adjoint


def test_builtin_names_and_params():
    rz = Gate.from_name("rz(pi/3)")
    assert (rz.name, rz.params, rz.params_f) == ("rz", ["pi/3"], [1.0471975511965976])
    assert Gate.from_name("rz") is None
    assert Gate.from_name("H") is None
    assert Gate.from_name("cx").params_f == []


def test_matrix_is_a_fresh_copy():
    h = Gate.from_name("h")
    m = h.matrix
    m[0, 0] = 5
    assert h.matrix[0, 0] == R


def test_user_gate_with_existing_matrix_is_that_gate():
    x = Gate.from_name("x")
    g = Gate("not", [], np.array([[0, 1], [1, 0]], dtype=complex))
    assert g == x and hash(g) == hash(x) and g.name == "x"
    # Differences far below 2^-24 do not make a new gate either.
    g2 = Gate("x2", [], [[1e-12 + 0j, 1], [1, 0]])
    assert g2 == x


def test_fresh_process_indices_and_dagger_name(siphash):
    out = run_fresh(
        """
        import numpy as np
        from borvane import Gate
        g = Gate("g", [], np.diag([1, np.exp(0.3j)]))
        a = g.adjoint()
        print(hash(g), hash(a), a.name, hash(a.adjoint()), hash(g.adjoint()))
        print(np.array_equal(a.matrix, np.diag([1, np.exp(0.3j)]).conj().T))
        """
    )
    first, second = out.splitlines()
    h23, h24 = siphash([(23).to_bytes(2, "little"), (24).to_bytes(2, "little")])
    assert first.split() == [str(h23), str(h24), "g\u2020", str(h23), str(h24)]
    assert second == "True"


@pytest.mark.parametrize(
    "matrix, message",
    [
        (np.eye(3, dtype=complex), "Matrix must have a number of rows that is a power of two"),
        (np.zeros((0, 0), dtype=complex), "Matrix must have a number of rows that is a power of two"),
        (np.zeros((2, 4), dtype=complex), "Matrix must be squared"),
        (np.zeros((4, 2), dtype=complex), "Matrix must be squared"),
        (np.eye(2, dtype=complex)[::-1], "negative strides"),
    ],
)
def test_matrix_preconditions(matrix, message):
    with pytest.raises(InternalFailure, match=message):
        Gate("bad", [], matrix)


@pytest.mark.parametrize(
    "matrix",
    [np.eye(2), np.eye(2, dtype=int), np.eye(2, dtype=np.complex64), [1j, 0j], [[[1j]]], "ab", None],
)
def test_matrix_must_be_two_dimensional_complex128(matrix):
    with pytest.raises(TypeError, match="^argument 'matrix': "):
        Gate("bad", [], matrix)


def test_matrix_conversions_accepted():
    phase = np.exp(0.123j)
    lists = Gate("lists", [], [[1 + 0j, 0j], [0j, phase]])
    strided = Gate("strided", [], np.diag([1, phase, 0, 0]).astype(complex)[:2, :2])
    big_endian = Gate("be", [], np.diag([1, phase]).astype(">c16"))
    assert lists == strided == big_endian
    assert np.array_equal(lists.matrix, np.diag([1, phase]))


def test_one_by_one_matrix_is_a_zero_qubit_gate():
    g = Gate("phase", [], [[np.exp(0.77j)]])
    assert g.nqargs == 0 and g.matrix.shape == (1, 1)


def test_user_gate_with_parameters():
    g = Gate("u", ["pi/2", "2*pi"], np.diag([1, np.exp(0.41j)]))
    assert str(g) == "u(pi/2, 2*pi)"
    assert Gate.from_name("u(pi/2, 2*pi)") == g
    assert g.params_f == [math.pi / 2, 2 * math.pi]
    bad = Gate("v", ["1/0"], np.diag([1, np.exp(0.42j)]))
    with pytest.raises(ValueError, match="^DivisionByZero$"):
        bad.params_f


def test_equal_name_lookups_prefer_the_lowest_index():
    # A user gate may repeat a built-in display name with another matrix.
    g = Gate("h", [], np.diag([1, np.exp(0.43j)]))
    assert g != Gate.from_name("h")
    assert str(g) == "h"
    assert np.array_equal(Gate.from_name("h").matrix, BUILTINS[1][1])


def test_hash_is_stable_narrowing():
    assert as_python_hash(2**64 - 1) == -2
    for name, _, _ in BUILTINS:
        assert hash(Gate.from_name(name)) != -1


def test_gate_table_under_many_threads():
    before, after = _testing.gate_table_stress(8, 200)
    # 200 gates plus 100 adjoints, each added exactly once however many
    # threads raced to add it.
    assert after - before == 300
