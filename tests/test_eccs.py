"""Finished classes and collections: their accessors, display, check,
identity circuits and files, on generated collections and on classes made by
hand through the binary dump."""
import contextlib
import io
import json
import operator
import pathlib

import numpy as np
import pytest

from borvane import ECC, ECCs, Circ, Evaluator, Gate, InternalFailure, RawECCs
from oracle import equal_up_to_phase, permutation_operator
from search_support import entries, instr, make_eccs, unitary

H0, H1, X0 = ("h", (0,)), ("h", (1,)), ("x", (0,))
CX01, CX10 = ("cx", (0, 1)), ("cx", (1, 0))
ID2, SWAP2 = (0, 1), (1, 0)
SWAP_BY_CX = [CX01, CX10, CX01]
# Three ways to write a swap of two qubits.
SWAP_CLASS = [([], SWAP2), (SWAP_BY_CX, ID2), ([CX10, CX01, CX10], ID2)]


def text(circuits):
    return [" ".join(str(i) for i in c) for c in circuits]


@pytest.fixture(scope="module")
def generated():
    """Classes of {h, t, cx} on 2 qubits up to 3 instructions."""
    gates = [Gate.from_name(n) for n in ("h", "t", "cx")]
    with contextlib.redirect_stdout(io.StringIO()):
        raw, _ = RawECCs.generate(Evaluator(2), gates, 3)
    return raw.simplify()


@pytest.fixture
def made(tmp_path):
    """Builds a collection from classes given as lists of (instrs, perm)."""
    count = iter(range(1000))

    def make(classes, nqubits=2):
        return make_eccs(tmp_path, classes, nqubits, name=f"made{next(count)}.postcard")

    return make


# --- accessors ---------------------------------------------------------------------

def test_len_nqubits_and_to_list(generated):
    classes = generated.to_list()
    assert len(generated) == len(classes) > 100 and generated.nqubits == 2
    assert all(isinstance(c, ECC) for c in classes)
    # copies: a new list of new objects each time, equal to the classes
    again = generated.to_list()
    assert again == classes and again[0] is not classes[0]
    classes.clear()
    assert len(generated) == len(again)
    with pytest.raises(AttributeError):
        generated.nqubits = 3


def test_filter_single(made):
    one = [([H0], ID2)]
    two = [([], ID2), ([H0, H0], ID2)]
    three = SWAP_CLASS
    eccs = made([one, two, three, one])
    before = eccs.to_list()
    kept = eccs.filter_single()
    assert isinstance(kept, ECCs) and kept.nqubits == 2
    assert kept.to_list() == [before[1], before[2]]
    assert len(eccs) == 4 and eccs.to_list() == before  # self is unchanged
    assert made([one, one]).filter_single() == made([])


def test_filter_single_of_generated(generated):
    kept = generated.filter_single()
    assert kept.to_list() == [c for c in generated.to_list() if len(c.circuits()) > 1]
    assert 0 < len(kept) < len(generated)


def test_equality(made, generated):
    a = made([[([H0], ID2)]])
    assert a == made([[([H0], ID2)]])
    assert a != made([[([H0], ID2)]], nqubits=3)
    assert a != made([[([H0], SWAP2)]])
    assert a.to_list()[0] == made([[([H0], ID2)]]).to_list()[0]
    assert a.to_list()[0] != made([[([H0], ID2), ([H0], ID2)]]).to_list()[0]
    assert (a == "a") is False and (a.to_list()[0] == 1) is False


@pytest.mark.parametrize("op", [operator.lt, operator.le, operator.gt, operator.ge])
def test_ordering_comparisons_raise_type_error(op, generated):
    a, b = generated.to_list()[:2]
    for x, y in [(a, b), (a, a), (generated, generated)]:
        with pytest.raises(TypeError):
            op(x, y)


# --- circuits and display ----------------------------------------------------------

@pytest.mark.parametrize(
    "cls, expected",
    [
        # the first entry's permutation is undone on every entry
        ([([H0], ID2), ([H1], SWAP2)], ["h(0)", "h(1) swap(0, 1)"]),
        ([([H0], SWAP2), ([H1], ID2)], ["h(0)", "h(1) swap(0, 1)"]),
        ([([H0], SWAP2), ([H1], SWAP2)], ["h(0)", "h(1)"]),
        ([([], (2, 0, 1)), ([], (0, 1, 2)), ([], (1, 2, 0))], ["", "swap(0, 2) swap(1, 2)", "swap(0, 2) swap(0, 1)"]),
        ([([H0, CX01], (1, 2, 0)), ([X0], (0, 2, 1))], ["h(0) cx(0, 1)", "x(0) swap(0, 2)"]),
    ],
)
def test_circuits_materialise_the_relative_permutation(cls, expected, made):
    n = len(cls[0][1])
    circuits = made([cls], nqubits=n).to_list()[0].circuits()
    assert text(circuits) == expected
    # entry k becomes its instructions, then its permutation, then the
    # inverse of the first entry's permutation
    undo_first = permutation_operator(cls[0][1], n).T
    for (instrs, perm), c in zip(cls, circuits):
        assert np.allclose(unitary(c, n), undo_first @ unitary(instrs, n, perm))


def test_display(made):
    single = [([H0], ID2)]
    pair = [([], ID2), ([H0, H0], ID2)]
    swapped = [([H0], ID2), ([H1], SWAP2)]
    assert str(made([single, single])) == ""
    assert str(made([])) == ""
    a, b = "ECC {\n\t,\n\th(0) h(0),\n}", "ECC {\n\th(0),\n\th(1) swap(0, 1),\n}"
    eccs = made([pair, single, swapped])
    assert [str(c) for c in eccs.to_list()] == [a, "ECC {\n\th(0),\n}", b]
    assert str(eccs) == a + " & " + b


def test_display_of_generated(generated):
    shown = [str(c) for c in generated.to_list() if len(c.circuits()) > 1]
    assert str(generated) == " & ".join(shown) and str(generated).count("ECC {") == len(shown)


# --- check -------------------------------------------------------------------------


def test_check_passes_generated_classes(generated):
    assert generated.check() == []


def test_check_returns_inconsistent_classes(made):
    good = [([H0, H0], ID2), ([], ID2)]
    # sound only with its permutation: three cx are a swap
    good_perm = [(SWAP_BY_CX, ID2), ([], SWAP2)]
    bad = [([H0], ID2), ([X0], ID2)]
    bad_perm = [(SWAP_BY_CX, ID2), ([], ID2)]
    eccs = made([good, bad, good_perm, bad_perm, [([H0], ID2)]])
    classes = eccs.to_list()
    assert eccs.check() == [classes[1], classes[3]]


# --- identity circuits -------------------------------------------------------------

def circ_unitary(c, n):
    return unitary(c.instrs, n, c.perm)


def test_to_identity_circuits_of_generated(generated):
    n = generated.nqubits
    triples = generated.to_identity_circuits()
    assert len(triples) == sum(len(c.circuits()) - 1 for c in generated.to_list())
    assert triples == sorted(triples)
    eye = np.eye(1 << n)
    for identity, inverse, member in triples:
        inner = identity.inner
        k = inner.nqubits()
        assert equal_up_to_phase(np.eye(1 << k), unitary(inner.instrs, k, inner.perm)), str(identity)
        # the inverse of the class's first member, then a member of the class
        assert equal_up_to_phase(eye, circ_unitary(member, n) @ circ_unitary(inverse, n))
        assert (inverse + member).rotate_representative() == identity


@pytest.mark.parametrize("source", ["made", "generated"])
def test_to_identity_circuits_of_one_class(source, generated, made, tmp_path):
    if source == "made":
        cls = SWAP_CLASS  # the first entry has a permutation and no instructions
    else:
        cls = max((c for c in entries(generated, tmp_path) if c[0][0]), key=len)
    assert len(cls) >= 3
    triples = made([cls, [([H0], ID2)]]).to_identity_circuits()
    assert len(triples) == len(cls) - 1

    def circ(entry):
        instrs, perm = entry
        return Circ([instr(name, *qs) for name, qs in instrs], perm)

    inverse = circ(cls[0]).inverse()
    assert all(t[1] == inverse for t in triples)
    assert sorted(str(t[2]) for t in triples) == sorted(str(circ(e)) for e in cls[1:])


def test_empty_class_fails(made):
    eccs = made([[], [([H0], ID2)]])
    empty = eccs.to_list()[0]
    with pytest.raises(InternalFailure):
        empty.circuits()
    with pytest.raises(InternalFailure):
        str(empty)
    with pytest.raises(InternalFailure):
        eccs.to_identity_circuits()
    # listed and filtered without looking inside
    assert len(eccs) == 2 and str(eccs) == "" and len(eccs.filter_single()) == 0


# --- files -------------------------------------------------------------------------

@pytest.mark.parametrize("as_path", [str, pathlib.Path], ids=["str", "Path"])
def test_dump_and_load_postcard(generated, tmp_path, as_path):
    path = as_path(tmp_path / "eccs.postcard")
    assert generated.dump_postcard(path) is None
    loaded = ECCs.from_postcard(path)
    assert loaded == generated and loaded.nqubits == 2


def test_dump_quartz_writes_equivalent_circuits(generated, tmp_path):
    n = generated.nqubits
    path = tmp_path / "eccs.json"
    assert generated.dump_quartz(path) is None
    top, members = json.loads(path.read_text())
    assert top == [[0], [0]]
    # one member per distinct permutation of each class of two or more entries
    classes = entries(generated, tmp_path)
    expected = {}
    for i, cls in enumerate(classes):
        if len(cls) > 1:
            expected.update({f"{i:x}_{j}": len(cls) for j in range(len({p for _, p in cls}))})
    assert {k: len(v) for k, v in members.items()} == expected
    swaps = 0
    for k, variant in members.items():
        ops = []
        for (nq, ngates), gates in variant:
            assert ngates == len(gates)
            instrs = []
            for name, outs, ins in gates:
                assert outs == ins
                instrs.append((name, tuple(int(q[1:]) for q in ins)))
                swaps += name == "swap"
            assert nq == 1 + max((q for _, qs in instrs for q in qs), default=0)
            ops.append(unitary(instrs, n))
        assert all(equal_up_to_phase(ops[0], u) for u in ops[1:]), k
    assert swaps > 0


@pytest.mark.parametrize("as_path", [str, pathlib.Path], ids=["str", "Path"])
def test_files_in_a_missing_directory(generated, tmp_path, as_path):
    path = as_path(tmp_path / "missing" / "eccs")
    with pytest.raises(OSError, match="^Failed to create file: No such file or directory"):
        generated.dump_postcard(path)
    with pytest.raises(OSError, match="^Failed to create file: No such file or directory"):
        generated.dump_quartz(path)
    with pytest.raises(OSError, match="^Failed to open file: No such file or directory"):
        ECCs.from_postcard(path)
