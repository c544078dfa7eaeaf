"""Amplitude order of qubits and the candidate relabellings."""
import math
import random

import pytest

from borvane import InternalFailure, StateVec
from borvane import _testing

order = lambda re, im: _testing.state_op("order", re, im)  # noqa: E731


def symmetric_parts(n, seed):
    rng = random.Random(seed)
    vr = [rng.random() for _ in range(n + 1)]
    vi = [rng.random() for _ in range(n + 1)]
    return [vr[bin(i).count("1")] for i in range(2**n)], [vi[bin(i).count("1")] for i in range(2**n)]


def test_symmetric_state_has_one_class():
    re, im = symmetric_parts(3, 1)
    permut, classes, mask, base, perms = order(re, im)
    assert permut == [0, 1, 2] and classes == [3] and mask == 3
    assert sorted(perms) == sorted(_testing.all_permutations(3)) and len(perms) == 6


def test_distinct_keys_give_one_candidate():
    rng = random.Random(2)
    re = [rng.random() for _ in range(8)]
    im = [rng.random() for _ in range(8)]
    permut, classes, mask, base, perms = order(re, im)
    assert mask == 0 and classes == [1, 2, 3] and perms == [base]
    # sorted by key (re[2^q], im[2^q], re[7 - 2^q], im[7 - 2^q])
    keys = [(round(re[1 << q] * 2**24), round(im[1 << q] * 2**24)) for q in range(3)]
    assert permut == sorted(range(3), key=lambda q: keys[q])
    assert base == tuple(permut)


def test_keys_equal_below_quantisation_join_a_class():
    re, im = symmetric_parts(3, 3)
    re[1] += 2**-27  # qubit 0's key moves by less than half a step
    assert order(re, im)[2] == 3
    re[1] += 2**-23  # now it is distinguishable
    permut, classes, mask, _, _ = order(re, im)
    assert mask in (1, 2) and len(classes) == 2


def test_two_classes_and_stable_order():
    # qubits 1 and 2 share a key that is larger than qubit 0's
    re = [0.5, 0.1, 0.3, 0.2, 0.3, 0.2, 0.4, 0.6]
    im = [0.0] * 8
    permut, classes, mask, base, perms = order(re, im)
    assert permut == [0, 1, 2] and classes == [1, 3] and mask == 2
    assert perms == [(0, 1, 2), (0, 2, 1)]


def test_small_counts():
    assert order([0.6, 0.8], [0.0, 0.0])[2:4] == (0, (0,))
    assert order([1.0], [0.0])[2:4] == (0, ())


def test_eqmask_table():
    assert _testing.eqmask_table(0) == [(0, 1, 2, 3, 4)]
    assert len(_testing.eqmask_table(15)) == 120
    assert _testing.eqmask_table(1) == [(0, 1, 2, 3, 4), (1, 0, 2, 3, 4)]
    sizes = {m: len(_testing.eqmask_table(m)) for m in range(16)}
    for m, size in sizes.items():
        runs, run = [], 1
        for k in range(4):
            if m >> k & 1:
                run += 1
            else:
                runs.append(run)
                run = 1
        runs.append(run)
        assert size == math.prod(math.factorial(r) for r in runs)
    with pytest.raises(InternalFailure):
        _testing.eqmask_table(16)


def test_six_qubits_in_one_class_have_no_candidates():
    re, im = symmetric_parts(6, 4)
    with pytest.raises(InternalFailure):
        _testing.state_op("as_perms", re, im)


def test_six_qubits_never_yield_non_permutations():
    # Distinct keys on 6 qubits (mask 0) would cut a 5-element permutation to
    # six places; the candidate query refuses instead.
    rng = random.Random(8)
    re = [rng.random() for _ in range(64)]
    im = [rng.random() for _ in range(64)]
    assert order(re, im)[2] == 0
    with pytest.raises(InternalFailure, match="at most 5 qubits"):
        _testing.state_op("as_perms", re, im)


def test_random_states_order_and_fast_path_agree():
    # state_op("order") checks the evaluator's fast order against OrderInfo.
    for seed in range(50):
        n = seed % 6 + 1
        sv = StateVec.random(n)
        re = [sv[i].real for i in range(2**n)]
        im = [sv[i].imag for i in range(2**n)]
        order(re, im)
