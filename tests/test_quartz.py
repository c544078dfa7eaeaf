"""Quartz JSON export: document layout, swap variants, text encoding and file
handling, plus a semantic check of the written circuits against dense
unitaries."""
import itertools
import json
import os

import numpy as np
import pytest

from borvane import _testing
from oracle import equal_up_to_phase, gate_on_qubits, permutation_operator

E = 255  # empty qubit slot


def g(name, q0, q1=E):
    return (name, q0, q1)


def ident(n):
    return tuple(range(n))


def document(classes, nqubits):
    return _testing.quartz_document((classes, nqubits))


def load(doc):
    """Parses a document and checks it is exactly the compact, UTF-8 form a
    standard JSON writer gives: no blanks, standard escapes, no \\u escapes for
    non-ASCII text, members in the written order."""
    value = json.loads(doc, object_pairs_hook=Members)
    assert json.dumps(value_to_plain(value), separators=(",", ":"), ensure_ascii=False) == doc
    top, members = value
    assert top == [[0], [0]]
    return members  # list of (key, variant) in document order


class Members(list):
    """A JSON object as its (key, value) pairs in document order."""


def value_to_plain(v):
    if isinstance(v, Members):
        return {k: value_to_plain(x) for k, x in v}
    if isinstance(v, list):
        return [value_to_plain(x) for x in v]
    return v


def gates_of(circuit):
    """(name, qubit indices) per gate, checking the header and the doubled qubit list."""
    (nq, ng), gates = circuit
    assert ng == len(gates)
    out = []
    for name, outs, ins in gates:
        assert outs == ins and all(q.startswith("Q") for q in outs)
        out.append((name, tuple(int(q[1:]) for q in outs)))
    assert nq == 1 + max((q for _, qs in out for q in qs), default=0)
    return out


def test_example_document_byte_for_byte(tmp_path):
    classes = [[([], (0,)), ([g("h", 0), g("h", 0)], (0,))]]
    expected = '[[[0],[0]],{"0_0":[[[1,0],[]],[[1,2],[["h",["Q0"],["Q0"]],["h",["Q0"],["Q0"]]]]]}]'
    assert document(classes, 1) == expected
    path = tmp_path / "eccs.json"
    assert _testing.quartz_dump((classes, 1), str(path)) is None
    assert path.read_bytes() == expected.encode()


def two_entry_class():
    return [([g("x", 0)], (0,)), ([g("h", 0), g("z", 0), g("h", 0)], (0,))]


@pytest.mark.parametrize(
    "sizes, expected_keys",
    [
        ([], []),
        ([1, 1, 0], []),
        ([2, 1, 2], ["0_0", "2_0"]),
        ([2] * 27, sorted((f"{i:x}_0" for i in range(27)), key=str.encode)),
    ],
)
def test_member_keys(sizes, expected_keys):
    classes = [two_entry_class() if s == 2 else [two_entry_class()[0]] * s for s in sizes]
    doc = document(classes, 1)
    keys = [k for k, _ in load(doc)]
    assert keys == expected_keys
    if not expected_keys:
        assert doc == "[[[0],[0]],{}]"
    if len(sizes) == 27:
        # byte order of the keys, not numeric order of the classes
        assert keys.index("10_0") < keys.index("1_0")
        assert keys.index("9_0") < keys.index("a_0")
        assert keys[-1] == "f_0" and "1a_0" in keys


SWAP01 = ("swap", (0, 1))


@pytest.mark.parametrize(
    "perms, variants",
    [
        # same permutation everywhere: one variant, no swaps
        ([(1, 0), (1, 0), (1, 0)], [[[], [], []]]),
        # two permutations: each entry is bare in its own variant
        ([(0, 1), (1, 0)], [[[], [SWAP01]], [[SWAP01], []]]),
        # a 3-cycle, whose inverse differs from it, so the direction of the
        # relative permutation shows; the repeated identity shares variant 0
        (
            [(0, 1, 2), (2, 0, 1), (0, 1, 2)],
            [
                [[], [("swap", (0, 2)), SWAP01], []],
                [[("swap", (0, 2)), ("swap", (1, 2))], [], [("swap", (0, 2)), ("swap", (1, 2))]],
            ],
        ),
        # variants follow first occurrence, not permutation order
        ([(1, 0), (0, 1), (1, 0), (0, 1)], [[[], [SWAP01], [], [SWAP01]], [[SWAP01], [], [SWAP01], []]]),
    ],
)
def test_variants_carry_relative_swaps(perms, variants):
    n = len(perms[0])
    cls = [([g("h", j % n)], p) for j, p in enumerate(perms)]
    members = load(document([cls], n))
    assert [k for k, _ in members] == [f"0_{j}" for j in range(len(variants))]
    for (_, written), swaps in zip(members, variants):
        assert [gates_of(c) for c in written] == [[("h", (j % n,))] + s for j, s in enumerate(swaps)]


def test_variant_numbers_are_decimal_and_sorted_as_text():
    perms = list(itertools.permutations(range(4)))[:11]
    cls = [([g("h", 0)], p) for p in perms]
    members = load(document([cls], 4))
    assert [k for k, _ in members] == ["0_0", "0_1", "0_10"] + [f"0_{j}" for j in range(2, 10)]
    # "0_10" is the variant of the eleventh permutation: only that entry is bare in it
    tenth = dict(members)["0_10"]
    assert [len(gates_of(c)) == 1 for c in tenth] == [False] * 10 + [True]


@pytest.mark.parametrize(
    "instrs, perm, header",
    [
        ([], (0, 1, 2), [1, 0]),
        ([g("h", 0), g("t", 0)], (0, 1, 2), [1, 2]),
        ([g("cx", 0, 2)], (0, 1, 2), [3, 1]),
        ([g("h", 0)], (0, 2, 1), [3, 2]),  # the swap on (1, 2) counts, as gate and as qubit
    ],
)
def test_header_counts_per_circuit(instrs, perm, header):
    # three-qubit collection; the first entry uses only qubit 0
    (_, (first, second)), *_ = load(document([[([g("h", 0)], (0, 1, 2)), (instrs, perm)]], 3))
    assert first[0] == [1, 1]
    assert second[0] == header


def test_gate_arrays_hold_display_name_and_argument_order():
    cls = [([g("rz(pi/3)", 2), g("cx", 1, 0)], ident(3)), ([], ident(3))]
    doc = document([cls], 3)
    assert '[["rz(pi/3)",["Q2"],["Q2"]],["cx",["Q1","Q0"],["Q1","Q0"]]]' in doc
    load(doc)


def phase_matrix(theta):
    return np.diag([1, np.exp(1j * theta)])


@pytest.mark.parametrize(
    "name, theta",
    [
        ("g\u2020", 2.1),  # the adjoint marker of user gates
        ("\u00e9\u4e2d\U0001f600", 2.2),  # two-, three- and four-byte UTF-8
        ('q"\\/\b\f\n\r\t\x01\x1f\x7f', 2.3),  # every kind of JSON escape, and characters that need none
    ],
)
def test_gate_names_are_escaped_json_and_raw_utf8(tmp_path, name, theta):
    assert _testing.quartz_add_gate(name, [], phase_matrix(theta)) == name
    cls = [([g(name, 0)], (0,)), ([g(name, 0)], (0,))]
    doc = document([cls], 1)
    ((_, written),) = load(doc)
    assert [gates_of(c) for c in written] == [[(name, (0,))]] * 2
    assert json.dumps(name, ensure_ascii=False) in doc
    path = tmp_path / "names.json"
    _testing.quartz_dump(([cls], 1), str(path))
    raw = path.read_bytes()
    assert raw == doc.encode("utf-8") and b"\\u20" not in raw and b"\\ud" not in raw


# --- files ---------------------------------------------------------------------


def open_fds():
    return sorted(os.listdir("/proc/self/fd"))


@pytest.mark.parametrize(
    "target, exc, message",
    [
        ("missing/dir/out.json", OSError, "Failed to create file: No such file or directory"),
        (".", OSError, "Failed to create file: Is a directory"),
        ("bad\0name.json", OSError, "Failed to create file: "),
        ("/dev/full", ValueError, "Failed to write JSON: No space left on device"),
    ],
)
def test_file_failures(tmp_path, target, exc, message):
    path = target if target.startswith("/") else str(tmp_path / target)
    before = open_fds()
    with pytest.raises(exc) as info:
        _testing.quartz_dump(([two_entry_class()], 1), path)
    assert type(info.value) is exc and str(info.value).startswith(message)
    assert open_fds() == before  # closed on the failure path too
    assert not (tmp_path / "bad").exists()  # the NUL must not cut the path short


def test_dump_truncates_existing_file(tmp_path):
    path = tmp_path / "out.json"
    path.write_bytes(b"x" * 100_000)
    classes = [two_entry_class()]
    before = open_fds()
    _testing.quartz_dump((classes, 1), str(path))
    assert open_fds() == before
    assert path.read_bytes() == document(classes, 1).encode()


# --- semantics -------------------------------------------------------------------

R = 1 / np.sqrt(2)
MATRICES = {
    "h": np.array([[R, R], [R, -R]]),
    "x": np.array([[0, 1], [1, 0]]),
    "z": np.diag([1, -1]),
    "t": np.diag([1, np.exp(1j * np.pi / 4)]),
    "rz(pi/3)": np.diag([1, np.exp(1j * np.pi / 3)]),
    "cx": np.array([[1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 0, 1], [0, 0, 1, 0]]),
    "swap": np.array([[1, 0, 0, 0], [0, 0, 1, 0], [0, 1, 0, 0], [0, 0, 0, 1]]),
}


def unitary(gates, n):
    u = np.eye(1 << n, dtype=complex)
    for name, qubits in gates:
        u = gate_on_qubits(MATRICES[name], list(qubits), n) @ u
    return u


CX_SWAP = [g("cx", 0, 1), g("cx", 1, 0), g("cx", 0, 1)]  # a swap of qubits 0 and 1


def entry_op(instrs, perm, n):
    """The operator of a class entry: its instructions, then relabelling `perm`."""
    gates = [(name, [q for q in (a, b) if q != E]) for name, a, b in instrs]
    return permutation_operator(perm, n) @ unitary(gates, n)


def swaps_realising(op, n):
    """Swap gates whose product is `op`, found by trying short sequences."""
    pairs = list(itertools.combinations(range(n), 2))
    for k in range(n):
        for seq in itertools.product(pairs, repeat=k):
            if np.allclose(unitary([("swap", p) for p in seq], n), op):
                return [g("swap", *p) for p in seq]
    raise AssertionError("no short swap sequence")


def every_relabelling_class(body, n):
    """One entry per permutation P of n qubits: body, then swap gates undoing
    P, then P itself; so every entry implements body."""
    return [(body + swaps_realising(permutation_operator(p, n).T, n), p) for p in itertools.permutations(range(n))]


SEMANTIC_CASES = [
    (1, [[([g("h", 0), g("x", 0)], (0,)), ([g("z", 0), g("h", 0)], (0,))]]),
    (
        2,
        [
            [([g("h", 0)] + CX_SWAP, (0, 1)), ([g("h", 0)], (1, 0)), (CX_SWAP + [g("h", 1)], (0, 1)),
             ([g("x", 0), g("x", 0), g("h", 0)], (1, 0))],
            [(CX_SWAP, (0, 1)), ([], (1, 0))],
        ],
    ),
    (
        3,
        [
            [([g("t", 0), g("cx", 0, 1)], (2, 0, 1)),
             ([g("t", 0), g("cx", 0, 1), g("swap", 0, 1), g("swap", 1, 2)], (0, 1, 2)),
             ([g("t", 0), g("cx", 0, 1), g("swap", 0, 1)], (0, 2, 1))],
            [([g("rz(pi/3)", 2), g("cx", 2, 1)], (1, 0, 2)),
             ([g("cx", 2, 1), g("rz(pi/3)", 2)], (1, 0, 2)),
             ([g("swap", 0, 1), g("rz(pi/3)", 2), g("cx", 2, 0)], (0, 1, 2))],
            every_relabelling_class([g("t", 0), g("cx", 0, 1), g("h", 2), g("cx", 2, 1)], 3),
        ],
    ),
]


@pytest.mark.parametrize("n, classes", SEMANTIC_CASES, ids=["1q", "2q", "3q"])
def test_written_variants_are_equivalent_circuits(n, classes):
    # the classes really are classes: entry (I, P) is I followed by relabelling P
    for cls in classes:
        ops = [entry_op(instrs, p, n) for instrs, p in cls]
        assert all(equal_up_to_phase(ops[0], op) for op in ops)

    members = load(document(classes, n))
    assert len(members) == sum(len({p for _, p in cls}) for cls in classes)  # one per distinct permutation
    swaps = 0
    for key, written in members:
        cls = classes[int(key.split("_")[0], 16)]
        circuits = [gates_of(c) for c in written]
        assert len(circuits) == len(cls)
        ops = [unitary(c, n) for c in circuits]
        assert all(equal_up_to_phase(ops[0], op) for op in ops), key
        swaps += sum(name == "swap" for c in circuits for name, _ in c)
    if len(members) > len(classes):
        assert swaps > 0  # the permutations really were turned into gates
