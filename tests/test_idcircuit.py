"""Identity circuits: canonical form, randomized check, hash, neighbours."""
import random

import numpy as np
import pytest

from borvane import Circ, Gate, IdentityCirc, Instr, InternalFailure
from conftest import as_python_hash, run_fresh
from oracle import circuit_unitary, equal_up_to_phase, random_circuit

h, x, t, s, cx, cz, swap = (Gate.from_name(n) for n in ("h", "x", "t", "s", "cx", "cz", "swap"))



def is_identity(c):
    return equal_up_to_phase(circuit_unitary(c.instrs, c.nqubits(), c.perm), np.eye(2 ** c.nqubits()))


def test_rotate_representative_is_canonical():
    rng = random.Random(1)
    for _ in range(12):
        n = rng.randint(1, 4)
        a = random_circuit(rng, n, rng.randint(1, 4))
        ident = a + a.inverse()
        rep = ident.rotate_representative()
        assert isinstance(rep, IdentityCirc) and is_identity(rep.inner)
        for k in range(ident.len()):
            assert ident.rotate(k).rotate_representative() == rep
        for _ in range(3):
            p = tuple(rng.sample(range(n), n))
            assert ident.permut(p).rotate_representative() == rep


def test_empty_identity():
    e = IdentityCirc(Circ([], (0, 1)))
    assert e.check() and len(e) == 0
    with pytest.raises(InternalFailure):
        e[0]
    # an empty instruction list is not compacted
    assert Circ([], (0, 1, 2)).rotate_representative() == IdentityCirc(Circ([], (0, 1, 2)))


def test_non_identities_are_refused():
    not_id = Circ([h(0), t(0)])
    with pytest.raises(InternalFailure, match="^IdentityCirc: circuit is not identity "):
        IdentityCirc(not_id)
    with pytest.raises(InternalFailure, match="^IdentityCirc: circuit is not identity "):
        not_id.rotate_representative()
    loaded = IdentityCirc.from_python({"instrs": [("h", (0, 255)), ("t", (0, 255))], "perm": {"raw": 1 << 24}})
    assert len(loaded) == 2
    with pytest.raises(InternalFailure, match="^IdentityCirc: circuit is not identity "):
        loaded.check()


def test_identity_with_a_permutation():
    # cx(0,1) cx(1,0) cx(0,1) is a swap: followed by the swapping permutation it is the identity
    c = Circ([cx(0, 1), cx(1, 0), cx(0, 1)], (1, 0))
    assert IdentityCirc(c).check()
    with pytest.raises(InternalFailure):
        IdentityCirc(Circ([cx(0, 1), cx(1, 0), cx(0, 1)], (0, 1)))


def test_neighbour_queries():
    hh = IdentityCirc(Circ([h(0), h(0)]))
    assert (hh.qargs_forward(0), hh.qargs_forward(1), hh.qargs_backward(0), hh.qargs_backward(1)) == ([1], [0], [1], [0])
    # h(1) is alone on its wire: its own index both ways
    alone = IdentityCirc.from_python(
        {"instrs": [("h", (0, 255)), ("h", (1, 255)), ("h", (0, 255))], "perm": {"raw": 2 << 24 | 8}})
    assert alone.qargs_forward(1) == [1] and alone.qargs_backward(1) == [1]
    assert alone.qargs_forward(0) == [2] and alone.qargs_forward(2) == [0]
    cxs = IdentityCirc(Circ([cx(0, 1), h(1), h(1), cx(0, 1)]))
    assert cxs.qargs_forward(0) == [3, 1] and cxs.qargs_backward(0) == [3, 3]
    assert cxs.qargs_backward(1) == [0] and cxs.qargs_forward(2) == [3]
    assert cxs.qargs_forward(3) == [0, 0]
    # wires continue through the permutation: the content of qubit 0 goes on at qubit 1
    # Wires continue through the permutation: in a three-cx swap followed by
    # the swapping permutation, following a wire forward and then back
    # returns to the start.
    rng = random.Random(5)
    idents = [IdentityCirc(Circ([cx(0, 1), cx(1, 0), cx(0, 1)], (1, 0)))]
    for _ in range(10):
        a = random_circuit(rng, 3, 4)
        idents.append(IdentityCirc(a + a.inverse()))
    for ident in idents:
        for g in range(len(ident)):
            for nxt in ident.qargs_forward(g):
                assert 0 <= nxt < len(ident)
                assert g in ident.qargs_backward(nxt)
    with pytest.raises(InternalFailure):
        hh.qargs_forward(2)
    with pytest.raises(OverflowError):
        hh.qargs_forward(-1)


def test_indexing_order_and_forms():
    a = IdentityCirc(Circ([h(0), h(0)]))
    b = IdentityCirc(Circ([x(0), x(0)]))
    c = IdentityCirc(Circ([h(0), h(0), x(0), x(0)]))
    assert str(a[-1]) == "h(0)" and str(a[2]) == "h(0)"
    assert a < b < c and a < c and a != b
    # equal instructions: the permutation word decides
    assert IdentityCirc.from_python({"instrs": [], "perm": {"raw": 2 << 24 | 1}}) < IdentityCirc(Circ([], (0, 1)))
    assert str(a) == "Identity { h(0) h(0) (0) }"
    assert repr(a) == "IdentityCirc(Circ { instrs: [h(0), h(0)], perm: (0) })"
    assert a.pythonize() == {"instrs": [("h", (0, 255)), ("h", (0, 255))], "perm": {"raw": 1 << 24}}
    assert IdentityCirc.from_python(a.pythonize()) == a
    assert IdentityCirc.from_python({"instrs": (["h", [0, 255]],), "perm": {"raw": 1 << 24}}) == IdentityCirc.from_python(
        {"instrs": [("h", (0, 255))], "perm": {"raw": 1 << 24}})
    assert a.inner == Circ([h(0), h(0)]) and a.nqubits() == 1


@pytest.mark.parametrize(
    "obj, exc",
    [
        ([], TypeError),
        ({"instrs": []}, ValueError),
        ({"instrs": "h", "perm": {"raw": 0}}, TypeError),
        ({"instrs": [("h", (0,))], "perm": {"raw": 0}}, ValueError),
        ({"instrs": [("h", (0, 256))], "perm": {"raw": 0}}, OverflowError),
        ({"instrs": [], "perm": {"raw": -1}}, OverflowError),
        ({"instrs": [], "perm": (0, 1)}, TypeError),
    ],
)
def test_malformed_python_forms(obj, exc):
    with pytest.raises(exc):
        IdentityCirc.from_python(obj)


def test_unknown_gate_in_python_form():
    with pytest.raises(InternalFailure, match="^Failed to deserialize Gate16 from nosuchgate$"):
        IdentityCirc.from_python({"instrs": [("nosuchgate", (0, 255))], "perm": {"raw": 1 << 24}})


def test_hash_is_stable_across_processes():
    a = IdentityCirc(Circ([cx(0, 1), h(1), h(1), cx(0, 1)]))
    out = run_fresh(
        """
        from borvane import Circ, Gate, IdentityCirc
        h, cx = Gate.from_name("h"), Gate.from_name("cx")
        print(IdentityCirc(Circ([cx(0, 1), h(1), h(1), cx(0, 1)])).hash_value())
        """
    )
    assert int(out) == a.hash_value()
    assert hash(a) == as_python_hash(a.hash_value()) == hash(a.inner)


@pytest.mark.parametrize("raw", [3 << 24, (3 << 24) | 7 | 7 << 3 | 7 << 6, (2 << 24) | 1 | 1 << 3])
def test_check_refuses_forms_whose_permutation_is_not_one(raw):
    # Dictionary forms are read without validation; checking such an
    # "identity" must fail cleanly rather than relabel outside the state.
    bad = IdentityCirc.from_python({"instrs": [], "perm": {"raw": raw}})
    with pytest.raises(InternalFailure):
        bad.check()
