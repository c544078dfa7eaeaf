"""Circuits with a trailing permutation."""
import random

import numpy as np
import pytest

from borvane import Circ, Gate, Instr, InternalFailure
from borvane import _testing
from oracle import circuit_unitary, equal_up_to_phase, permutation_operator, random_circuit

h, x, t, s, cx, swap, cz = (Gate.from_name(n) for n in ("h", "x", "t", "s", "cx", "swap", "cz"))


def form(c):
    return [(str(i.gate), *(list(i.qargs) + [255, 255])[:2]) for i in c.instrs], c.perm


def op(name, c):
    return _testing.circ_op(name, *form(c))



def unitary(c):
    return circuit_unitary(c.instrs, c.nqubits(), c.perm)


def test_construction():
    c = Circ([cx(0, 1)])
    assert (c.nqubits(), c.perm, c.len(), len(c), c.is_empty()) == (2, (0, 1), 1, 1, False)
    assert Circ([]).perm == () and Circ([]).is_empty()
    assert Circ([h(0)], (1, 2, 0)).nqubits() == 3
    with pytest.raises(InternalFailure, match=r"^Permutation length must be greater than the max qubit index\.$"):
        Circ([cx(0, 2)], (0, 1))
    with pytest.raises(InternalFailure, match="^Permutation length must be less than or equal to 8$"):
        Circ([h(8)])
    with pytest.raises(InternalFailure, match="^Permutation values must be unique$"):
        Circ([h(0)], (0, 0))
    assert str(c) == "Circuit { cx(0, 1) (0 1) }"
    assert repr(Circ([h(0), cx(0, 1)])) == "Circ { instrs: [h(0), cx(0, 1)], perm: (0 1) }"


def test_instrs_are_copies():
    c = Circ([h(0)])
    got = c.instrs
    got.append(x(0))
    assert c.len() == 1
    assert [str(i) for i in c.instrs] == ["h(0)"]


@pytest.mark.parametrize(
    "instrs, perm, expected, expected_perm",
    [
        ([swap(0, 1), x(0)], (0, 1), ["x(1)"], (1, 0)),
        ([swap(0, 1), swap(1, 2)], (0, 1, 2), [], (2, 0, 1)),
        ([h(0), swap(0, 1), cx(1, 0)], (1, 0), ["h(0)", "cx(0, 1)"], (0, 1)),
    ],
)
def test_remove_swaps(instrs, perm, expected, expected_perm):
    c = Circ(instrs, perm)
    r = c.remove_swaps()
    assert [str(i) for i in r.instrs] == expected and r.perm == expected_perm
    assert np.allclose(unitary(r), unitary(c))


def test_instrs_with_swaps_realise_the_permutation():
    c = Circ([], (2, 0, 1))
    sw = c.instrs_with_swaps()
    assert [str(i) for i in sw] == ["swap(0, 2)", "swap(0, 1)"]
    assert np.allclose(circuit_unitary(sw, 3), permutation_operator((2, 0, 1), 3))
    rng = random.Random(1)
    for _ in range(20):
        c = random_circuit(rng, rng.randint(1, 4), 4)
        assert np.allclose(circuit_unitary(c.instrs_with_swaps(), c.nqubits()), unitary(c))


def test_rotate():
    c = Circ([h(0), cx(0, 1), t(1)], (1, 0))
    assert c.rotate(0) == c and c.rotate(0) is not c
    assert [str(i) for i in c.rotate(1).instrs] == ["cx(0, 1)", "t(1)", "h(1)"]
    assert [str(i) for i in c.rotate(-1).instrs] == ["t(0)", "h(0)", "cx(0, 1)"]
    assert [str(i) for i in c.rotate(3).instrs] == ["h(1)", "cx(1, 0)", "t(0)"]  # all relabelled by the inverse
    assert [str(i) for i in c.rotate(-3).instrs] == ["h(1)", "cx(1, 0)", "t(0)"]  # all relabelled by the permutation
    for n in (4, -4):
        with pytest.raises(InternalFailure):
            c.rotate(n)


def test_rotation_keeps_identities_and_conjugates():
    rng = random.Random(2)
    for _ in range(15):
        a = random_circuit(rng, rng.randint(1, 3), rng.randint(1, 5))
        ident = a + a.inverse()
        assert equal_up_to_phase(unitary(ident), np.eye(2 ** ident.nqubits()))
        for k in range(-ident.len(), ident.len() + 1):
            assert equal_up_to_phase(unitary(ident.rotate(k)), np.eye(2 ** ident.nqubits()))


def test_inverse_addition_and_relabelling_against_unitaries():
    rng = random.Random(3)
    for _ in range(25):
        n = rng.randint(1, 4)
        a, b = random_circuit(rng, n, rng.randint(0, 5)), random_circuit(rng, n, rng.randint(0, 5))
        ua, ub = unitary(a), unitary(b)
        assert np.allclose(unitary(a.inverse()) @ ua, np.eye(2**n))
        assert np.allclose(unitary(a + b), ub @ ua)
        p = tuple(rng.sample(range(n), n))
        pm = permutation_operator(p, n)
        assert np.allclose(unitary(a.permut(p)), pm @ ua @ pm.conj().T)
    # circuits of different sizes are extended with fixed points
    small, big = Circ([h(0)]), Circ([cx(1, 2)])
    assert (small + big).nqubits() == 3 and (big + small).nqubits() == 3


def test_compact_qubits_and_affected_qubits():
    only0 = Circ([h(0), t(0)], (0, 1, 2))
    assert op("compact_qubits", only0)[1] == (0,)
    kept = Circ([h(0)], (0, 2, 1))
    assert op("compact_qubits", kept)[1] == (0, 2, 1)
    assert op("compact_qubits", Circ([], (0, 1, 2)))[1] == (0, 1, 2)  # nothing to compact in an empty circuit
    assert list(op("affected_qubits", Circ([cx(1, 0), h(1)], (0, 2, 1)))) == [1, 0, 1, 1, 2]


@pytest.mark.parametrize(
    "instrs, expected",
    [
        ([h(1), h(0)], ["h(0)", "h(1)"]),
        ([cx(0, 1), h(0)], ["cx(0, 1)", "h(0)"]),
        ([h(2), h(1), h(0)], ["h(0)", "h(1)", "h(2)"]),
        ([h(1), cx(1, 2), h(0)], ["h(0)", "h(1)", "cx(1, 2)"]),  # h(0) moves past both
    ],
)
def test_reorder_instrs(instrs, expected):
    c = Circ(instrs, (0, 1, 2))
    assert [f"{g}({q0})" if q1 == 255 else f"{g}({q0}, {q1})" for g, q0, q1 in op("reorder_instrs", c)[0]] == expected


def test_order_equality_and_hash(siphash):
    assert Circ([h(0), h(0)]) > Circ([cx(1, 0)])  # instruction count first
    assert Circ([h(0)]) < Circ([h(1)])
    assert Circ([cx(0, 1)], (0, 1)) < Circ([h(0)], (0, 1))  # q1 = 1 < 255
    assert Circ([h(0)], (1, 0)) < Circ([h(0)], (0, 1))  # then the packed permutation: 0x2000001 < 0x2000008
    assert Circ([h(0)]) == Circ([h(0)], (0,)) and Circ([h(0)]) != Circ([h(0)], (0, 1))
    assert (Circ([h(0)]) == "x") is False
    with pytest.raises(TypeError):
        Circ([h(0)]) < 1  # noqa: B015
    c = Circ([h(0), cx(0, 1)], (1, 0))
    stream = b"\x02\x00\x00\x00" + bytes([1, 0, 2, 0, 0, 0, 0, 255]) + bytes([9, 0, 2, 0, 0, 0, 0, 1])
    stream += (2 << 24 | 1).to_bytes(4, "little")
    assert hash(c) == siphash([stream])[0]


def test_indexing():
    c = Circ([h(0), x(1), t(0)])
    assert [str(c[i]) for i in (0, 1, 2, 3, -1, -4)] == ["h(0)", "x(1)", "t(0)", "h(0)", "t(0)", "t(0)"]
    with pytest.raises(InternalFailure):
        Circ([])[0]
    with pytest.raises(TypeError):
        Circ([h(0)]) + [h(0)]


def test_representative():
    assert Circ([h(1)], (0, 1)).representative() == Circ([h(0)]).representative() == Circ([h(0)])
    rng = random.Random(4)
    for _ in range(15):
        n = rng.randint(1, 4)
        c = random_circuit(rng, n, rng.randint(1, 5))
        if c.remove_swaps().is_empty():
            continue  # nothing left to canonicalise: returned as it is
        rep = c.representative()
        p = tuple(rng.sample(range(n), n))
        assert c.permut(p).representative() == rep
        r2, applied = c.representative_with_perm()
        assert r2 == rep and sorted(applied) == list(range(len(applied)))
    empty, perm = Circ([], (1, 0)).representative_with_perm()
    assert empty == Circ([], (1, 0)) and perm == ()
