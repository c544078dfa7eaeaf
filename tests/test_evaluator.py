"""The randomized evaluator: keys invariant under qubit relabelling, and
different for inequivalent circuits."""
import itertools
import math
import random

import numpy as np
import pytest

from borvane import Evaluator, Gate, Instr, InternalFailure, StateVec
from borvane import _testing
from oracle import circuit_unitary, equivalent_up_to_relabelling

GATES = {n: Gate.from_name(n) for n in ("h", "x", "t", "tdg", "s", "cx", "swap", "y", "cz", "rz(pi/3)")}
HANDLE = {"h": 1, "x": 2, "t": 7, "cx": 9, "swap": 14}


def key(ev, instrs):
    return ev.evaluate(instrs)[0].hash_value()


def random_circuit(rng, n, length, names=("h", "x", "t", "tdg", "s", "cx", "y", "cz", "rz(pi/3)")):
    out = []
    for _ in range(length):
        g = GATES[rng.choice(names)]
        out.append(Instr(g, rng.sample(range(n), g.nqargs)))
    return out


def relabel(instrs, perm):
    return [i.apply_permutation(perm) for i in instrs]


def swaps_for(perm):
    """SWAP instructions that move the content of qubit j to perm[j]."""
    wires, out = list(range(len(perm))), []
    target = {perm[j]: j for j in range(len(perm))}  # wire -> content wanted there
    for w in range(len(perm)):
        if wires[w] != target[w]:
            src = wires.index(target[w])
            out.append(Instr(GATES["swap"], [w, src]))
            wires[w], wires[src] = wires[src], wires[w]
    return out


@pytest.mark.parametrize("n", [2, 3, 4, 5])
def test_relabelling_inputs_outputs_or_both_keeps_the_key(n):
    rng = random.Random(n)
    ev = Evaluator(n)
    for _ in range(8):
        c = random_circuit(rng, n, rng.randint(1, 7))
        k = key(ev, c)
        p = tuple(rng.sample(range(n), n))
        q = tuple(rng.sample(range(n), n))
        assert key(ev, swaps_for(p) + c) == k  # inputs
        assert key(ev, c + swaps_for(q)) == k  # outputs
        assert key(ev, swaps_for(p) + c + swaps_for(q)) == k  # both
        assert key(ev, relabel(c, p)) == k  # the circuit conjugated by a relabelling


def test_trailing_swap_keeps_the_key():
    ev = Evaluator(3)
    c = [Instr(GATES["h"], [0]), Instr(GATES["cx"], [0, 1]), Instr(GATES["t"], [2])]
    assert key(ev, c + [Instr(GATES["swap"], [1, 2])]) == key(ev, c)
    assert key(ev, [Instr(GATES["h"], [0])]) == key(ev, [Instr(GATES["h"], [1])])


def test_keys_separate_exactly_the_inequivalent_circuits():
    n = 3
    rng = random.Random(11)
    ev = Evaluator(n)
    # short circuits over few gates, so that equivalent pairs occur often
    circuits = [random_circuit(rng, n, rng.randint(0, 3), names=("h", "x", "cx", "s", "swap")) for _ in range(60)]
    unitaries = [circuit_unitary(c, n) for c in circuits]
    keys = [key(ev, c) for c in circuits]
    same = 0
    for i, j in itertools.combinations(range(len(circuits)), 2):
        equivalent = equivalent_up_to_relabelling(unitaries[i], unitaries[j], n)
        assert (keys[i] == keys[j]) == equivalent, (circuits[i], circuits[j])
        same += equivalent
    assert same > 0


def test_empty_circuit_ties_every_candidate():
    for n in range(0, 6):
        (row,) = _testing.evaluate_circuits(n, [[]])
        k, pairs, _ = row
        assert len(pairs) == math.factorial(n)
    ev = Evaluator(3)
    back, front, backp, fwd = ev.evaluate([])
    assert ev.initial_key() == back.hash_value()
    assert isinstance(front, tuple) and len(front) == 3


def test_pairs_are_permutation_pairs():
    circuits = [[(HANDLE[g], *q) for g, q in c] for c in [
        [("h", (0, 255)), ("h", (1, 255))],
        [("cx", (0, 1)), ("cx", (1, 0))],
        [("x", (0, 255)), ("x", (1, 255)), ("x", (2, 255))],
    ]]
    rows = _testing.evaluate_circuits(3, circuits, 4)
    for k, pairs, _ in rows:
        assert len(pairs) >= 1
        assert all(sorted(f) == [0, 1, 2] and sorted(b) == [0, 1, 2] for f, b in pairs)
        assert len(set(pairs)) == len(pairs)


def test_evaluations_on_many_threads_agree():
    rng = random.Random(9)
    names = ["h", "x", "t", "cx"]
    circuits = []
    for _ in range(200):
        c = []
        for _ in range(rng.randint(0, 6)):
            g = rng.choice(names)
            q = rng.sample(range(4), 2 if g == "cx" else 1)
            c.append((HANDLE[g], q[0], q[1] if g == "cx" else 255))
        circuits.append(c)
    _testing.evaluate_circuits(4, circuits, 6)


def test_qubit_count_limits():
    with pytest.raises(InternalFailure):
        Evaluator(6).initial_key()
    with pytest.raises(InternalFailure):
        Evaluator(6).evaluate([Instr(GATES["h"], [0])])
    with pytest.raises(InternalFailure, match="^Number of qubits too large"):
        Evaluator(32)
    with pytest.raises(InternalFailure, match="at most 8 qubits"):
        Evaluator(9)
    with pytest.raises(InternalFailure, match="index out of range"):
        Evaluator(2).evaluate([Instr(GATES["h"], [2])])


def test_evaluator_equality_and_signature():
    a, b = Evaluator(3), Evaluator(3)
    assert a == a and a != b
    assert a.nqubits() == 3
    assert a.initial_key() != b.initial_key()
    with pytest.raises(TypeError):
        a < b  # noqa: B015
    with pytest.raises(TypeError, match="^argument 'instrs': "):
        a.evaluate("h")


def test_forward_state_is_the_circuit_on_the_symmetric_state():
    ev = Evaluator(2)
    c = [Instr(GATES["h"], [0]), Instr(GATES["cx"], [0, 1])]
    _, _, _, fwd = ev.evaluate(c)
    _, _, _, empty_fwd = ev.evaluate([])
    init = np.array([empty_fwd[i] for i in range(4)])
    expected = circuit_unitary(c, 2) @ init
    got = np.array([fwd[i] for i in range(4)])
    # equal up to the canonical phase
    phase = got[0] / expected[0] if abs(expected[0]) > 1e-9 else got[3] / expected[3]
    assert np.allclose(expected * phase, got, atol=1e-12)
    assert isinstance(fwd, StateVec) and fwd.check()


# Built-in handles: every kernel gate, and gates that take the dense path.
KERNEL_GATES = [1, 2, 3, 5, 6, 7, 8, 9, 14]  # h x z s sdg t tdg cx swap
DENSE_GATES = [0, 4, 10, 11, 12, 15, 17]  # i y cz cy cs t1/2 rz(pi/3)


@pytest.mark.parametrize("n", [1, 2, 3, 4, 5])
@pytest.mark.parametrize("gates", [KERNEL_GATES, KERNEL_GATES + DENSE_GATES], ids=["kernels", "mixed"])
def test_optimised_evaluation_equals_the_reference_bit_for_bit(n, gates):
    # Full evaluations, keys, and the search's prefix-plus-one path against
    # a step-by-step evaluation with the plain kernels.
    assert _testing.evaluator_reference_check(n, gates, 150, n) == 150


def test_adjoints_are_added_in_backward_order(siphash):
    # Evaluating asks for adjoints while running the circuit backwards, so in
    # a fresh process the last instruction's adjoint gate is created first.
    from conftest import run_fresh

    out = run_fresh(
        """
        import numpy as np
        from borvane import Evaluator, Gate, Instr
        g1 = Gate("g1", [], np.diag([1, np.exp(0.31j)]))
        g2 = Gate("g2", [], np.diag([1, np.exp(0.57j)]))
        Evaluator(1).evaluate([Instr(g1, [0]), Instr(g2, [0])])
        print(hash(g2.adjoint()), hash(g1.adjoint()))
        """
    )
    assert [int(v) for v in out.split()] == siphash([(25).to_bytes(2, "little"), (26).to_bytes(2, "little")])
