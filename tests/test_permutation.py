"""Qubit permutations: packing, checks, products, tables and swap networks."""
import itertools
import math

import pytest

from borvane import InternalFailure
from borvane import _testing

op = _testing.perm_op


def test_packing_and_display():
    assert op("raw", (1, 2, 0)) == 3 * 2**24 + 1 + 2 * 8
    assert op("raw", ()) == 0
    assert op("display", (2, 0, 1)) == "(2 0 1)"
    assert op("display", ()) == "()"
    assert op("identity", 8) == tuple(range(8))
    assert op("identity", 0) == ()


@pytest.mark.parametrize(
    "value, exc, message",
    [
        ([1, 1], InternalFailure, "Permutation values must be unique"),
        ([0, 8], InternalFailure, "Permutation values must be less than 8"),
        ([0, 256], OverflowError, None),
        ([0, -1], OverflowError, None),
        ("01", TypeError, "argument 'a': "),
        ([0.0], TypeError, "argument 'a': "),
    ],
)
def test_python_argument_checks(value, exc, message):
    with pytest.raises(exc) as info:
        op("raw", value)
    if message:
        assert str(info.value).startswith(message)


def test_identity_length_limit():
    with pytest.raises(InternalFailure, match="^Permutation length must be less than or equal to 8$"):
        op("identity", 9)


def test_bytes_and_other_integer_sequences_are_accepted():
    import numpy as np

    assert op("inv", b"\x01\x02\x00") == (2, 0, 1)
    assert op("inv", np.array([1, 2, 0])) == (2, 0, 1)


def test_product_inverse_and_lengths():
    assert op("mul", (1, 2, 0), (1, 2, 0)) == (2, 0, 1)
    assert op("inv", (1, 2, 0)) == (2, 0, 1)
    assert op("mul", (), ()) == ()
    for p in itertools.permutations(range(4)):
        assert op("mul", p, op("inv", p)) == (0, 1, 2, 3)
        # c(i) = a(b(i))
        q = (3, 1, 0, 2)
        assert op("mul", p, q) == tuple(p[q[i]] for i in range(4))
    with pytest.raises(InternalFailure):
        op("mul", (1, 0), (0, 2, 1))


def test_coordinate_permute_and_queries():
    assert op("coordinate_permute", (1, 0), (0, 2, 1)) == ((1, 0, 2), (0, 2, 1))
    assert op("coordinate_permute", (0, 2, 1), (1, 0)) == ((0, 2, 1), (1, 0, 2))
    assert op("coordinate_permute", (1, 0), (0, 1)) == ((1, 0), (0, 1))
    assert [op("permut_bv", (1, 2, 0), b) for b in (0b001, 0b011, 0b111)] == [0b010, 0b110, 0b111]
    assert op("permut_bv", (1, 0), 0b110) == 0b001  # bits at positions >= n are dropped
    assert op("at", (1, 0), 3) == 0
    with pytest.raises(InternalFailure, match="^assertion failed: idx < 8$"):
        op("at", (1, 0), 8)
    assert op("is_identity", ()) and op("is_identity", (0, 1, 2)) and not op("is_identity", (0, 2, 1))
    assert op("swap_inputs", (0, 1, 2), (0, 2)) == (2, 1, 0)


@pytest.mark.parametrize(
    "n, values, expected",
    [(4, [1, 3], (1, 3, 2, 0)), (3, [], (0, 1, 2)), (3, [2], (2, 1, 0)), (2, [0, 1], (0, 1))],
)
def test_from_iter_with_ext(n, values, expected):
    assert op("with_ext", n, values) == expected


def test_from_iter_with_ext_repeated_choice():
    with pytest.raises(InternalFailure, match="^Permutation values must be unique$"):
        op("with_ext", 3, [1, 1])


def test_all_permutations_heap_order():
    assert _testing.all_permutations(3) == [(0, 1, 2), (1, 0, 2), (2, 0, 1), (0, 2, 1), (1, 2, 0), (2, 1, 0)]
    assert _testing.all_permutations(0) == [()]
    for n in range(9):
        table = _testing.all_permutations(n)
        assert len(table) == math.factorial(n) == len(set(table))
        assert table[0] == tuple(range(n))
        assert all(sorted(p) == list(range(n)) for p in table)
    with pytest.raises(InternalFailure):
        _testing.all_permutations(9)
    assert _testing.all_permutations_concurrently(8)


def test_generate_swaps_examples():
    assert _testing.generate_swaps((0, 1, 2)) == []
    assert _testing.generate_swaps((1, 0)) == [(0, 1)]
    assert _testing.generate_swaps((2, 0, 1)) == [(0, 2), (0, 1)]


@pytest.mark.parametrize("n", range(2, 9))
def test_generate_swaps_sorts_and_realises_every_permutation(n):
    for perm in _testing.all_permutations(n):
        swaps = _testing.generate_swaps(perm)
        # The working value: each emitted swap fixes an inversion, and the
        # last one leaves the identity.
        w = list(perm)
        for i, j in swaps:
            assert i < j and w[i] > w[j]
            w[i], w[j] = w[j], w[i]
        assert w == list(range(n))
        # Applied as SWAP gates, they move the content of qubit j to perm[j].
        wires = list(range(n))  # wires[q] = whose content is on qubit q
        for i, j in swaps:
            wires[i], wires[j] = wires[j], wires[i]
        assert all(wires[perm[j]] == j for j in range(n))
