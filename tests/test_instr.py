"""Compact instructions and shared-tail instruction lists."""
import inspect

import pytest

from borvane import Gate, Instr, InternalFailure
from borvane import _testing

h, x, t, cx = (Gate.from_name(n) for n in ("h", "x", "t", "cx"))


def test_construction_and_text():
    i = Instr(cx, [0, 1])
    assert str(i) == repr(i) == "cx(0, 1)"
    assert i.qargs == b"\x00\x01" and list(i.qargs) == [0, 1]
    assert i.gate == cx
    assert Instr(h, [3]).qargs == b"\x03"
    assert Instr(h, b"\x03").qargs == b"\x03"  # bytes is a sequence of ints
    assert str(Instr(Gate.from_name("rz(pi/3)"), [0])) == "rz(pi/3)(0)"
    assert str(Instr(Gate("p0", [], [[-1j]]), [])) == "p0()"
    assert inspect.signature(Instr).parameters.keys() == {"gate", "qargs"}


@pytest.mark.parametrize(
    "args, exc, message",
    [
        ((cx, [0]), InternalFailure, "Number of qubit arguments does not match gate arity"),
        ((cx, [1, 1]), InternalFailure, "Qubit arguments must be unique"),
        ((h, "0"), TypeError, "argument 'qargs': "),
        ((h, [256]), OverflowError, None),
        ((h, [-1]), OverflowError, None),
        (("h", [0]), TypeError, "argument 'gate': 'str' object cannot be converted to 'Gate'"),
    ],
)
def test_construction_errors(args, exc, message):
    with pytest.raises(exc) as info:
        Instr(*args)
    if message:
        assert str(info.value).startswith(message)


def test_three_qubit_gate_cannot_be_compact():
    ccz = Gate("ccz", [], [[(1 if r == c else 0) * (-1 if r == 7 else 1) + 0j for c in range(8)] for r in range(8)])
    assert ccz.nqargs == 3
    with pytest.raises(InternalFailure):
        Instr(ccz, [0, 1, 2])


def test_masks_and_queries():
    i = Instr(cx, [2, 0])
    assert i.arg_mask() == 5 and i.largest_qubit() == 2
    assert i.position_of_qubit(0) == 1 and i.position_of_qubit(2) == 0 and i.position_of_qubit(1) is None
    assert not Instr(cx, [0, 1]).disjoint(Instr(h, [1]))
    assert Instr(cx, [0, 1]).disjoint(Instr(h, [2]))
    assert Instr(Gate("p1", [], [[1j]]), []).largest_qubit() == 0


@pytest.mark.parametrize(
    "mask, instr, expected",
    [
        (0b0001, Instr(cx, [1, 2]), 0b0111),
        (0b0001, Instr(cx, [2, 1]), None),
        (0, Instr(h, [0]), 0b0001),
        (0, Instr(h, [1]), None),
        (0b0011, Instr(cx, [0, 1]), 0b0011),
        (0b0101, Instr(h, [1]), 0b0111),
        (0xFF, Instr(h, [7]), 0xFF),
    ],
)
def test_pass_mask(mask, instr, expected):
    assert instr.pass_mask(mask) == expected


def test_relabelling_and_adjoint():
    assert str(Instr(cx, [0, 1]).apply_permutation([1, 0])) == "cx(1, 0)"
    assert str(Instr(cx, [0, 1]).permut((2, 0, 1))) == "cx(2, 0)"
    assert str(Instr(h, [3]).apply_permutation([1, 0])) == "h(0)"  # beyond the length maps to 0
    assert str(Instr(t, [0]).adjoint()) == "tdg(0)"
    with pytest.raises(InternalFailure, match="^Permutation values must be unique$"):
        Instr(h, [0]).apply_permutation([0, 0])


def test_hash_without_equality(siphash):
    a, b = Instr(cx, [0, 1]), Instr(cx, [0, 1])
    assert a != b and a == a
    assert hash(a) == hash(b)
    # gate handle (2 bytes), the count 2 (4 bytes), q0, q1
    expected = siphash([bytes([9, 0, 2, 0, 0, 0, 0, 1]), bytes([1, 0, 2, 0, 0, 0, 3, 255])])
    assert [hash(a), hash(Instr(h, [3]))] == expected


def test_alias_list_walks_head_first():
    H, X, CX = 1, 2, 9
    walked = _testing.alias_list_walk([(H, 0, 255), (X, 1, 255), (CX, 0, 1)])
    assert walked == [(CX, 0, 1), (X, 1, 255), (H, 0, 255)]
    assert _testing.alias_list_walk([]) == []


def test_alias_lists_share_tails_and_free_once():
    first, second, order, cells, freed = _testing.alias_list_sharing()
    assert first == ["cx(0, 1)", "x(1)", "h(0)"]
    assert second == ["t(2)", "x(1)", "h(0)"]
    # Read through the second owner after the first is gone.
    assert order == ["h(0)", "x(1)", "t(2)"]
    assert cells == 4  # the shared tail is stored once
    assert freed
