"""Sub-circuit splitting of identities: the table of candidate selections,
ports, convexity and connectivity of one selection, the extraction, and the
parallel enumeration of every split.

Circuits are forms (list of (gate name, q0, q1), permutation entries), as the
private hooks take and return them.  Splits are checked three ways: against
a plain model of the extraction written here on lists (which selections
split, into what), against dense unitaries (sub, then rest is an identity),
and against how the sub-circuit relates to the selected instructions.
"""
import functools
import itertools
import json
import random
from collections import Counter, deque

import numpy as np
import pytest

from borvane import Circ, Gate, Instr, InternalFailure
from borvane import _testing as t
from conftest import run_fresh
from oracle import equal_up_to_phase, gate_on_qubits, permutation_operator

E = 255  # empty qubit slot
TOO_LONG = "Sub-circuits can only be enumerated for identities of fewer than 20 instructions, got "
h, x, t_, s, cx, cz, swap = (Gate.from_name(n) for n in ("h", "x", "t", "s", "cx", "cz", "swap"))


# --- forms, unitaries ---------------------------------------------------------------


def form_of(c: Circ):
    instrs = [(str(i.gate), *(list(i.qargs) + [E, E])[:2]) for i in c.instrs]
    return instrs, tuple(c.perm)


def qubits(ins):
    return [q for q in ins[1:] if q != E]


def relabel(ins, p):
    return (ins[0], *(q if q == E else p[q] for q in ins[1:]))


def inverse(p):
    inv = [0] * len(p)
    for i, v in enumerate(p):
        inv[v] = i
    return tuple(inv)


@functools.lru_cache(maxsize=None)
def operator(ins, n):
    return gate_on_qubits(np.asarray(Gate.from_name(ins[0]).matrix), qubits(ins), n)


def is_identity(instrs, perm):
    n = len(perm)
    u = np.eye(1 << n, dtype=complex)
    for ins in instrs:
        u = operator(ins, n) @ u
    return equal_up_to_phase(permutation_operator(perm, n) @ u, np.eye(1 << n))


def as_lists(v):
    """Hook results as JSON gives them back: tuples become lists."""
    return json.loads(json.dumps(v))


# --- the model ----------------------------------------------------------------------


def neighbours(instrs, perm):
    """Next and previous instruction per argument, following each wire
    cyclically: past the last instruction the wire goes on at perm[wire]."""
    n, inv = len(instrs), inverse(perm)

    def follow(g, wire, step):
        pos = g
        while True:
            pos += step
            if not 0 <= pos < n:
                pos, wire = pos % n, (perm if step > 0 else inv)[wire]
            if wire in qubits(instrs[pos]):
                return pos

    return ([[follow(g, q, 1) for q in qubits(i)] for g, i in enumerate(instrs)],
            [[follow(g, q, -1) for q in qubits(i)] for g, i in enumerate(instrs)])


def ports(instrs, wire, sel):
    return [(i, j, qubits(instrs[i])[j]) for i in sorted(sel) for j, p in enumerate(wire[i]) if p == i or p not in sel]


def is_convex(instrs, fwd, bwd, sel):
    return all(len({q for *_, q in ps}) == len(ps) for ps in (ports(instrs, bwd, sel), ports(instrs, fwd, sel)))


def is_connected(fwd, bwd, sel):
    if not sel:
        return True
    seen, todo = {min(sel)}, deque([min(sel)])
    while todo:
        i = todo.popleft()
        for k in fwd[i] + bwd[i]:
            if k in sel and k not in seen:
                seen.add(k)
                todo.append(k)
    return seen == set(sel)


def disjoint(a, b):
    return not set(qubits(a)) & set(qubits(b))


def model_split(instrs, perm, sel, hits=None):
    """The extraction on plain lists; `hits` counts the steps taken."""
    hits = hits if hits is not None else Counter()
    if not sel:
        return None
    inv, m = inverse(perm), len(instrs)
    a = min(sel)
    c = instrs[a:] + [relabel(i, inv) for i in instrs[:a]]
    f = [(i + a) % m in sel for i in range(m)]
    e = deque()
    while any(f):  # front
        j = f.index(True)
        if j == 0:
            e.append(c.pop(0))
            f.pop(0)
        elif disjoint(c[j - 1], c[j]):
            c[j - 1], c[j], f[j - 1], f[j] = c[j], c[j - 1], f[j], f[j - 1]
            hits["front swap"] += 1
        elif all(disjoint(p, y) for p in c[:j] for y in e):
            c, f = c[j:] + [relabel(p, inv) for p in c[:j]], f[j:] + f[:j]
            hits["front rotate"] += 1
        else:
            hits["front blocked"] += 1
            break
    while any(f):  # back
        j = len(f) - 1 - f[::-1].index(True)
        k = len(c) - 1 - j
        if k == 0:
            e.appendleft(relabel(c.pop(), perm))
            f.pop()
            hits["back extract"] += 1
        elif disjoint(c[j], c[j + 1]):
            c[j], c[j + 1], f[j], f[j + 1] = c[j + 1], c[j], f[j + 1], f[j]
            hits["back swap"] += 1
        elif all(disjoint(relabel(p, perm), y) for p in c[j + 1:] for y in e):
            c, f = [relabel(p, perm) for p in c[-k:]] + c[:-k], f[-k:] + f[:-k]
            hits["back rotate"] += 1
        else:
            hits["no split"] += 1
            return None
    return (list(e), tuple(range(len(perm)))), (c, perm)


def model_splits(instrs, perm, hits=None):
    """(selection, split) for every split the enumeration should yield, in order."""
    n = len(instrs)
    fwd, bwd = neighbours(instrs, perm)
    out = []
    for size in range(min(n, n // 2 + 1) + 1):
        for sel in map(set, itertools.combinations(range(n), size)):
            if is_connected(fwd, bwd, sel) and is_convex(instrs, fwd, bwd, sel):
                r = model_split(instrs, perm, sel, hits)
                if r:
                    out.append((sel, r))
    return out


# --- random identities ----------------------------------------------------------------


def random_identity(rng, variant, length=None):
    n = rng.randint(1, 4) if length is None else 3
    plain = variant == "as built"
    gates = [h, x, t_, s] + ([cx, cz] + [swap] * plain if n > 1 else [])
    a = []
    for _ in range(length or rng.randint(1, 6 if plain else 3)):
        g = rng.choice(gates)
        a.append(Instr(g, rng.sample(range(n), g.nqargs)))
    if not plain and n > 1:
        # swaps that make a 3-cycle where there is room: a permutation that
        # is not its own inverse
        p = rng.sample(range(n), min(n, 3))
        a += [swap(p[0], p[1])] + ([swap(p[1], p[2])] if n > 2 else [])
    a = Circ(a, tuple(rng.sample(range(n), n)))
    if plain:
        ident = a + a.inverse()  # the identity permutation
    else:
        # The first half's swaps folded into its permutation, the second
        # half's written as three cx, which canonicalising does not fold: a
        # permutation other than the identity survives both variants.
        cxs = [g for i in a.inverse().instrs
               for g in ([cx(*i.qargs), cx(*i.qargs[::-1]), cx(*i.qargs)] if str(i.gate) == "swap" else [i])]
        ident = a.remove_swaps() + Circ(cxs, a.inverse().perm)
    ident = ident.rotate(rng.randint(0, ident.len()))
    if variant == "canonical":
        ident = ident.rotate_representative().inner
    return form_of(ident)


VARIANTS = ("as built", "swaps folded", "canonical")


@pytest.fixture(scope="module")
def corpus():
    """Random identities of every variant, with what the model expects of each."""
    rng = random.Random(7)
    hits = Counter()
    out = []
    for variant in VARIANTS:
        for _ in range(15):
            instrs, perm = random_identity(rng, variant)
            out.append((instrs, perm, model_splits(instrs, perm, hits)))
    return out, hits


# --- the table ------------------------------------------------------------------------


@pytest.fixture(scope="module")
def table():
    return [t.split_combinations(n) for n in range(20)]


def test_combinations_table(table):
    assert table[0] == [[]]
    assert table[3] == [[], [0], [1], [2], [0, 1], [0, 2], [1, 2]]
    assert (len(table[2]), len(table[10]), len(table[19])) == (4, 848, 354522)
    assert sum(map(len, table)) == 742141
    for n, entry in enumerate(table):
        sizes = range(min(n, n // 2 + 1) + 1)
        assert entry == [list(c) for k in sizes for c in itertools.combinations(range(n), k)], n


@pytest.mark.parametrize("n", [20, 33])  # 33: past the width of a selection mask too
def test_twenty_instructions_cannot_be_enumerated(n):
    with pytest.raises(InternalFailure, match=f"^{TOO_LONG}{n}$"):
        t.split_combinations(n)
    with pytest.raises(InternalFailure, match=f"^{TOO_LONG}{n}$"):
        t.split_all([("h", 0, E)] * n, (0,))
    # the next enumeration works (the circuit need not be an identity for that)
    assert len(t.split_all([("h", 0, E)] * 19, (0,))) > 0


# --- every split of random identities ---------------------------------------------------


def test_enumeration_matches_the_model(corpus):
    idents, hits = corpus
    for instrs, perm, expected in idents:
        assert t.split_all(instrs, perm) == [split for _, split in expected], (instrs, perm)
    # the corpus takes every step of the extraction, a refused split among them
    assert set(hits) == {"front swap", "front rotate", "front blocked", "back extract", "back swap", "back rotate",
                         "no split"}, hits


def test_every_split_is_a_cut_of_the_identity(corpus):
    """The enumeration is the table filtered by connectivity, convexity and
    extraction, in table order; every split it keeps is a cut of the identity."""
    idents, _ = corpus
    assert any(inverse(perm) != perm for _, perm, _ in idents)
    for instrs, perm, _ in idents:
        assert is_identity(instrs, perm)
        kept = []
        for sel in t.split_combinations(len(instrs)):
            *_, convex, connected, split = t.split_one(instrs, perm, sel)
            if not (convex and connected and split):
                continue
            kept.append(split)
            (sub, sub_perm), (rest, rest_perm) = split
            assert sub_perm == tuple(range(len(perm))) and rest_perm == perm
            assert is_identity(sub + rest, rest_perm), (instrs, perm, sel)
            # The sub-circuit is the selection in index order, except that a
            # tail of it may come first, relabelled through the permutation
            # (taken out past the end of the identity).  The first selected
            # instruction is always taken out as it is.
            chosen = [instrs[i] for i in sel]
            assert any(sub == [relabel(i, perm) for i in chosen[k:]] + chosen[:k] for k in range(1, len(chosen) + 1))
            assert Counter(g for g, *_ in rest) == Counter(instrs[i][0] for i in range(len(instrs)) if i not in sel)
        assert t.split_all(instrs, perm) == kept


def test_split_order_does_not_depend_on_the_pool_size(corpus):
    # longer identities too: thousands of selections, many chunks per thread
    rng = random.Random(3)
    idents = [(i, p) for i, p, _ in corpus[0][::5]] + [random_identity(rng, v, 5) for v in VARIANTS]
    code = f"""
        import json
        from borvane import _testing as t
        idents = {idents!r}
        # nested first: the process's first enumerations, and so its first
        # look at the table, run on several threads at once
        nested = t.split_many(idents)
        print(json.dumps([[t.split_all(*c) for c in idents], nested]))
    """
    runs = [json.loads(run_fresh(code, env={"BORVANE_NUM_THREADS": n})) for n in ("1", "4")]
    expected = as_lists([t.split_all(*c) for c in idents])
    assert sum(map(len, expected)) > 500
    for top, nested in runs:
        assert top == nested == expected


@pytest.mark.parametrize("threads", ["1", "4"])
def test_a_failing_enumeration_inside_a_pool_task(threads):
    """Enumerations that run inside pool tasks: the lowest failing task's error
    comes back, and the pool keeps working afterwards."""
    code = """
        import json
        from borvane import InternalFailure, _testing as t
        ok = ([("h", 0, 255), ("x", 1, 255), ("cx", 0, 1), ("cx", 0, 1), ("x", 1, 255), ("h", 0, 255)], (0, 1))
        def long(n):
            return ([("h", 0, 255)] * n, (0,))
        out = []
        for batch in ([ok, long(25), ok, long(21)] + [ok] * 20, [long(20)]):
            try:
                t.split_many(batch)
                out.append("no error")
            except InternalFailure as e:
                out.append(str(e))
        out.append(t.split_many([ok] * 30) == [t.split_all(*ok)] * 30)
        print(json.dumps(out))
    """
    got = json.loads(run_fresh(code, env={"BORVANE_NUM_THREADS": threads}))
    assert got == [TOO_LONG + "25", TOO_LONG + "20", True]


# --- single selections --------------------------------------------------------------------

# [h, x, x, h] on one wire
HXXH = ([("h", 0, E), ("x", 0, E), ("x", 0, E), ("h", 0, E)], (0,))
# a b c c b a with a = cx(0,1), b = cx(1,2), c = cx(0,2): b leaves a on wire 1
# and enters c on wire 2
CX3 = ([("cx", 0, 1), ("cx", 1, 2), ("cx", 0, 2), ("cx", 0, 2), ("cx", 1, 2), ("cx", 0, 1)], (0, 1, 2))
# h(1) reaches h(0) only through the permutation
WRAP = ([("h", 0, E), ("swap", 0, 1), ("h", 1, E)], (1, 0))
# x(1) commutes with the extracted h(0) and moves out of the way
DETOUR = ([("h", 0, E), ("x", 1, E), ("cx", 0, 1), ("cx", 0, 1), ("x", 1, E), ("h", 0, E)], (0, 1))
# A 3-cycle permutation.  Selecting both cx: after cx(2,3) is taken out,
# swap(2,0) blocks the front.  At the back the first swap, wrapped round to
# the end as swap(1,0), is in the way; relabelled through the permutation it
# is swap(2,1) again, which meets the extracted cx(2,3): no split.
CYCLE = ([("swap", 2, 1), ("cx", 2, 3), ("swap", 2, 0), ("cx", 0, 3)], (1, 2, 0, 3))
# Selecting both swap(1,0): after the first is taken out, swap(1,2) blocks the
# front.  At the back the x(2) that the first rotation wrapped round to the
# end (as x(0)) is in the way; relabelled through the permutation it is x(2),
# clear of the extracted swap(1,0), so it goes round to the front.
ROUND = ([("x", 2, E), ("swap", 1, 0), ("x", 2, E), ("swap", 1, 2), ("swap", 1, 0)], (2, 1, 0, 3))
# i(0) is alone on its wire: its own neighbour both ways
LONE = ([("i", 0, E), ("h", 1, E), ("h", 1, E)], (0, 1))
# two cx joined on wire 1, with h h between them on wire 0 and x x after
GAP = ([("cx", 0, 1), ("h", 0, E), ("h", 0, E), ("cx", 0, 1), ("x", 0, E), ("x", 0, E)], (0, 1))

# (identity, selection, inputs, outputs, convex, connected, split)
SELECTIONS = [
    pytest.param(HXXH, [0, 3], [(3, 0, 0)], [(0, 0, 0)], True, True,
                 (([("h", 0, E), ("h", 0, E)], (0,)), ([("x", 0, E), ("x", 0, E)], (0,))),
                 id="blocked at the front, finished at the back"),
    pytest.param(CX3, [0, 2], [(0, 0, 0), (0, 1, 1), (2, 1, 2)], [(0, 1, 1), (2, 0, 0), (2, 1, 2)], True, True, None,
                 id="blocked at both ends"),
    pytest.param(WRAP, [0, 2], [(2, 0, 1)], [(0, 0, 0)], True, True,
                 (([("h", 0, E), ("h", 0, E)], (0, 1)), ([("swap", 0, 1)], (1, 0))),
                 id="joined through the permutation"),
    pytest.param(DETOUR, [0, 2], [(0, 0, 0), (2, 1, 1)], [(2, 0, 0), (2, 1, 1)], True, True,
                 (([("h", 0, E), ("cx", 0, 1)], (0, 1)),
                  ([("cx", 0, 1), ("x", 1, E), ("h", 0, E), ("x", 1, E)], (0, 1))),
                 id="unselected prefix rotated away"),
    pytest.param(CYCLE, [1, 3], ..., ..., True, True, None, id="blocked at the back through the permutation"),
    pytest.param(ROUND, [1, 4], ..., ..., True, True,
                 (([("swap", 1, 2), ("swap", 1, 0)], (0, 1, 2, 3)),
                  ([("x", 2, E), ("x", 2, E), ("swap", 1, 2)], (2, 1, 0, 3))),
                 id="suffix rotated round through the permutation"),
    pytest.param(GAP, [0, 3], [(0, 0, 0), (3, 0, 0)], [(0, 0, 0), (3, 0, 0)], False, True, ...,
                 id="gap on one wire"),
    pytest.param(HXXH, [0, 2], [(0, 0, 0), (2, 0, 0)], [(0, 0, 0), (2, 0, 0)], False, False, ...,
                 id="gap on the only wire"),
    pytest.param(LONE, [0], [(0, 0, 0)], [(0, 0, 0)], True, True,
                 (([("i", 0, E)], (0, 1)), ([("h", 1, E), ("h", 1, E)], (0, 1))), id="alone on its wire"),
    pytest.param(LONE, [0, 1], ..., ..., ..., False, ..., id="alone and another"),
    pytest.param(CX3, [0, 4], ..., ..., ..., False, ..., id="no common wire"),
    pytest.param(CX3, [0, 4, 5], ..., ..., ..., True, ..., id="joined by a third"),
    pytest.param(CX3, [1, 3, 4], ..., ..., ..., True, ..., id="joined by the middle"),
] + [
    pytest.param(ident, [], [], [], True, True, None, id=f"empty selection {k}")
    for k, ident in enumerate((HXXH, CX3, WRAP, ([], (0, 1))))
]


@pytest.mark.parametrize("ident, sel, inputs, outputs, convex, connected, split", SELECTIONS)
def test_one_selection(ident, sel, inputs, outputs, convex, connected, split):
    """Hand-worked selections (... where a value was not worked out)."""
    instrs, perm = ident
    assert is_identity(instrs, perm)
    got = t.split_one(instrs, perm, sel)
    for value, want in zip(got, (inputs, outputs, convex, connected, split)):
        if want is not ...:
            assert value == want
    # the model agrees, which is what lets it judge the random identities
    fwd, bwd = neighbours(instrs, perm)
    assert (is_convex(instrs, fwd, bwd, set(sel)), is_connected(fwd, bwd, set(sel))) == got[2:4]
    assert model_split(instrs, perm, set(sel)) == got[4]
    if not sel:  # considered by the enumeration, never kept
        assert all(sub for (sub, _), _ in t.split_all(instrs, perm))


# identities of at most two instructions: the table holds the full selection
SHORT = [
    ([("h", 0, E), ("h", 0, E)], (0,)),
    ([("cx", 0, 1), ("cx", 0, 1)], (0, 1)),
    ([("swap", 0, 1)], (1, 0)),
    ([("swap", 0, 1), ("swap", 1, 2)], (1, 2, 0)),
    ([("i", 0, E), ("i", 1, E)], (0, 1)),  # no common wire: split, but never enumerated
]


@pytest.mark.parametrize("instrs, perm", SHORT)
def test_selecting_a_short_identity_whole(instrs, perm):
    assert is_identity(instrs, perm)
    whole = ((instrs, tuple(range(len(perm)))), ([], perm))
    *_, connected, split = t.split_one(instrs, perm, range(len(instrs)))
    assert split == whole
    assert (t.split_all(instrs, perm)[-1:] == [whole]) == connected
