"""State vectors: construction, phase canonicalisation, hashing, relabelling."""
import math
import random
import struct

import pytest

from borvane import InternalFailure, StateVec
from borvane import _testing


def parts(sv):
    return [sv[i].real for i in range(sv.len())], [sv[i].imag for i in range(sv.len())]


def test_hash_of_basis_state(siphash):
    msg = b"\x02\x00\x00\x00" + struct.pack("<q", 16777216) + bytes(8) + b"\x02\x00\x00\x00" + bytes(16)
    assert StateVec([1.0, 0.0], [0.0, 0.0]).hash_value() == siphash([msg])[0] % 2**64


def test_quantisation_boundaries():
    base = StateVec([0.1, 0.0], [0.0, 0.0])
    close = StateVec([0.1 + 2**-26, 0.0], [0.0, 0.0])
    apart = StateVec([0.1 + 2**-24, 0.0], [0.0, 0.0])
    assert base == close and base.hash_value() == close.hash_value()
    assert base != apart and base.hash_value() != apart.hash_value()
    # halves round away from zero
    half = StateVec([0.5 * 2**-24, 0.0], [0.0, 0.0])
    assert half != StateVec([0.0, 0.0], [0.0, 0.0])
    assert StateVec([-0.5 * 2**-24, 0.0], [0.0, 0.0]) != StateVec([0.0, 0.0], [0.0, 0.0])
    assert StateVec([0.49 * 2**-24, 0.0], [0.0, 0.0]) == StateVec([0.0, 0.0], [0.0, 0.0])


def test_ordering_is_field_by_field():
    a = StateVec([0.0, 1.0], [5.0, 5.0])
    b = StateVec([1.0, 0.0], [0.0, 0.0])
    assert a != b
    with pytest.raises(TypeError):
        a < b  # noqa: B015
    assert (a == 1) is False


def _normalize_arg_reference(re, im):
    """The phase canonicalisation written out from its definition."""
    near = lambda x: abs(x) < 2**-24  # noqa: E731
    n = len(re)
    if not (near(re[0]) and near(im[0])):
        cre, cim = re[0], im[0]
    elif not (near(re[-1]) and near(im[-1])):
        cre, cim = re[-1], im[-1]
    else:
        sre = sim = 0.0
        for i in range(n):
            sre += re[i]
            sim += im[i]
        mag = math.sqrt(sim * sim + sre * sre)
        cre, cim = sre / mag, sim / mag
    f = cim * cim + cre * cre
    g = math.sqrt(f)
    ure, uim = g * cre / f, g * -cim / f
    out_re = [r * ure - m * uim for r, m in zip(re, im)]
    out_im = [r * uim + m * ure for r, m in zip(re, im)]
    out_im[0] = 0.0
    return out_re, out_im


@pytest.mark.parametrize(
    "re, im",
    [
        ([0.6, 0.0, 0.0, 0.8], [0.0, 0.0, 0.0, 0.0]),
        ([0.3, 0.5, -0.2, 0.1], [0.4, -0.1, 0.6, 0.2]),
        ([1e-9, 0.5, 0.5, 0.3], [1e-9, 0.1, 0.2, -0.6]),  # amplitude 0 is practically zero
        ([0.0, 0.5, 0.5, 0.0], [0.0, 0.5, -0.5, 0.0]),  # first and last zero: the sum
    ],
)
def test_normalize_arg_exact(re, im):
    sv = StateVec(re, im)
    sv.normalize_arg()
    assert parts(sv) == _normalize_arg_reference(re, im)
    assert sv[0].imag == 0.0


def test_random_states():
    for n in range(0, 6):
        sv = StateVec.random(n)
        assert sv.nqubits() == n and sv.len() == 2**n and sv.check()
        sym = StateVec.random_symmetric(n)
        assert sym.check()
        re, im = parts(sym)
        for i in range(2**n):
            for j in range(2**n):
                if bin(i).count("1") == bin(j).count("1"):
                    assert (re[i], im[i]) == (re[j], im[j])
    assert StateVec.random(3) != StateVec.random(3)
    for bad in (32, 40):
        with pytest.raises(InternalFailure, match="^Number of qubits too large"):
            StateVec.random(bad)


@pytest.mark.parametrize(
    "re, im, message",
    [
        ([], [], "Length must be a power of 2"),
        ([1.0, 0.0, 0.0], [0.0, 0.0, 0.0], "Length must be a power of 2"),
        ([1.0, 0.0], [0.0], "Real and imaginary parts must have the same length"),
    ],
)
def test_constructor_checks(re, im, message):
    with pytest.raises(InternalFailure, match="^" + message):
        StateVec(re, im)


def test_constructor_conversions():
    with pytest.raises(TypeError, match="^argument 're': "):
        StateVec("ab", [0.0, 0.0])
    with pytest.raises(TypeError, match="^argument 'im': "):
        StateVec([1.0, 0.0], [0.0, "x"])
    assert StateVec((1, 0), (0, 0)) == StateVec([1.0, 0.0], [0.0, 0.0])


def test_items_and_copies():
    sv = StateVec([1.0, 0.0], [0.0, 0.0])
    assert sv[0] == 1 + 0j and isinstance(sv[1], complex)
    sv[1] = 0.5 - 0.25j
    assert sv[1] == 0.5 - 0.25j
    sv[0] = 2  # anything complex() accepts
    assert sv[0] == 2
    clone = sv.clone()
    clone[0] = 0
    assert sv[0] == 2
    with pytest.raises(InternalFailure):
        sv[2]
    with pytest.raises(OverflowError):
        sv[-1]
    with pytest.raises(TypeError, match="^argument 'index': "):
        sv["0"]
    with pytest.raises(NotImplementedError, match="can't delete item"):
        del sv[0]
    with pytest.raises(TypeError):
        len(sv)


def test_display():
    assert str(StateVec([1.0, 0.0], [0.0, -0.5])) == "[1.0000, -0.5000j]"
    assert str(StateVec([0.5, -0.125], [-0.25, 0.0])) == "[0.5000-0.2500j, -0.1250]"


def test_normalize():
    sv = StateVec([3.0, 0.0], [0.0, 4.0])
    sv.normalize()
    assert sv.check()
    assert parts(sv) == _normalize_arg_reference([3.0 / 5.0, 0.0], [0.0, 4.0 / 5.0])


def test_apply_permutation():
    re, im = [0.1, 0.2, 0.3, 0.4], [0.5, 0.6, 0.7, 0.8]
    assert _testing.state_op("apply_permutation", re, im, (0, 1)) == (re, im)
    # (1, 0) on two qubits exchanges amplitudes 1 and 2
    assert _testing.state_op("apply_permutation", re, im, (1, 0)) == ([0.1, 0.3, 0.2, 0.4], [0.5, 0.7, 0.6, 0.8])
    rng = random.Random(5)
    re8 = [rng.random() for _ in range(8)]
    out, _ = _testing.state_op("apply_permutation", re8, re8, (1, 2, 0))
    for i in range(8):
        j = sum(((i >> k) & 1) << (1, 2, 0)[k] for k in range(3))
        assert out[j] == re8[i]
    with pytest.raises(InternalFailure):
        _testing.state_op("apply_permutation", re, im, (0, 1, 2))


def test_loose_equality():
    assert _testing.state_op("loose_eq", [0.5, 0.25], [0.0, 0.0], ([0.5 + 1e-4, 0.25], [0.0, 0.0]))
    # values straddling a multiple of 1/256
    assert not _testing.state_op("loose_eq", [1 / 256 - 1e-12, 0.0], [0.0, 0.0], ([1 / 256 + 1e-12, 0.0], [0.0, 0.0]))
