"""Helpers for the search and collection tests.

Dense operators of circuits, canonical forms of operators modulo global phase
and modulo relabelling of input and output qubits, a brute-force enumeration
of the operators a gate set reaches, and a writer and reader for the binary
dump of a collection (so that tests can hand-make classes and read back the
entries of generated ones).

Instructions travel here as (gate display text, qubit tuple), for example
("cx", (0, 1)); `as_tuple` converts an `Instr`."""
import functools
import itertools

import numpy as np

from borvane import ECCs, Gate, Instr
from oracle import gate_on_qubits, permutation_operator

# Built-in gate handles, for the instruction order (qubits first, then handle).
HANDLE = {"i": 0, "h": 1, "x": 2, "z": 3, "y": 4, "s": 5, "sdg": 6, "t": 7, "tdg": 8, "cx": 9, "cz": 10,
          "cy": 11, "cs": 12, "csdg": 13, "swap": 14, "rz(pi/3)": 17, "rz(-pi/3)": 18}


def as_tuple(ins):
    if isinstance(ins, Instr):
        return (str(ins.gate), tuple(ins.qargs))
    return ins


def instr(name, *qubits):
    return Instr(Gate.from_name(name), list(qubits))


def parse_instrs(text):
    """ "h(0) cx(0, 1)" -> [Instr, Instr]."""
    out = []
    for item in text.replace(", ", ",").split():
        name, args = item[:-1].rsplit("(", 1)
        out.append(instr(name, *(int(q) for q in args.split(","))))
    return out


# --- dense operators -----------------------------------------------------------------

@functools.lru_cache(maxsize=None)
def placed(name, qubits, n):
    return gate_on_qubits(np.asarray(Gate.from_name(name).matrix), list(qubits), n)


def unitary(instrs, n, perm=None):
    """The operator of the instructions applied first to last, then `perm`
    (the content of qubit j moves to qubit perm[j])."""
    u = np.eye(1 << n, dtype=complex)
    for ins in instrs:
        name, qubits = as_tuple(ins)
        u = placed(name, qubits, n) @ u
    if perm is not None:
        u = permutation_operator(perm, n) @ u
    return u


def phase_key(a):
    """Hashable form of an array modulo global phase."""
    flat = a.ravel()
    k = np.flatnonzero(np.abs(flat) > 1e-6)[0]
    v = flat * (abs(flat[k]) / flat[k])
    return np.round(np.concatenate([v.real, v.imag]) * 1e6).astype(np.int64).tobytes()


@functools.lru_cache(maxsize=None)
def basis_relabellings(n):
    """For every qubit permutation, the induced permutation of basis indices."""
    out = []
    for p in itertools.permutations(range(n)):
        out.append(np.array([sum(1 << p[q] for q in range(n) if i >> q & 1) for i in range(1 << n)]))
    return out


def class_key(u, n):
    """Hashable form of an operator modulo global phase and modulo Q.U.P for
    qubit relabellings P (inputs) and Q (outputs)."""
    idx = basis_relabellings(n)
    return min(phase_key(u[np.ix_(q, p)]) for q in idx for p in idx)


def operators_by_length(instrs, n, max_len):
    """levels[k]: the operators (modulo phase) of all circuits of exactly k
    instructions over `instrs`, as {phase_key: operator}."""
    gates = [unitary([i], n) for i in instrs]
    levels = [{phase_key(np.eye(1 << n)): np.eye(1 << n, dtype=complex)}]
    for _ in range(max_len):
        nxt = {}
        for u in levels[-1].values():
            for g in gates:
                v = g @ u
                nxt.setdefault(phase_key(v), v)
        levels.append(nxt)
    return levels


def random_symmetric_state(n, rng):
    """A random state whose amplitudes depend only on the Hamming weight."""
    by_weight = rng.normal(size=n + 1) + 1j * rng.normal(size=n + 1)
    s = np.array([by_weight[bin(i).count("1")] for i in range(1 << n)])
    return s / np.linalg.norm(s)


# --- the binary dump of a collection ----------------------------------------------

def _varint(v):
    out = bytearray()
    while v >= 0x80:
        out.append(v & 0x7F | 0x80)
        v >>= 7
    out.append(v)
    return bytes(out)


def perm_raw(perm):
    return sum(e << (3 * i) for i, e in enumerate(perm)) | len(perm) << 24


def encode(classes, nqubits):
    """A collection file: classes are lists of entries (instrs, perm)."""
    out = _varint(len(classes))
    for cls in classes:
        out += _varint(len(cls))
        for instrs, perm in cls:
            out += _varint(len(instrs))
            for ins in instrs:
                name, qubits = as_tuple(ins)
                raw = name.encode()
                out += _varint(len(raw)) + raw + bytes((list(qubits) + [255, 255])[:2])
            out += _varint(perm_raw(perm))
    return out + _varint(nqubits)


def decode(data):
    """The inverse of `encode`: (classes, nqubits)."""
    pos = 0

    def varint():
        nonlocal pos
        v = shift = 0
        while True:
            b = data[pos]
            pos += 1
            v |= (b & 0x7F) << shift
            shift += 7
            if b < 0x80:
                return v

    def entry():
        nonlocal pos
        instrs = []
        for _ in range(varint()):
            k = varint()
            name = data[pos:pos + k].decode()
            q = data[pos + k:pos + k + 2]
            pos += k + 2
            instrs.append((name, tuple(x for x in q if x != 255)))
        raw = varint()
        perm = tuple(raw >> (3 * i) & 7 for i in range(raw >> 24))
        return instrs, perm

    classes = [[entry() for _ in range(varint())] for _ in range(varint())]
    nqubits = varint()
    assert pos == len(data)
    return classes, nqubits


def make_eccs(tmp_path, classes, nqubits, name="made.postcard"):
    path = tmp_path / name
    path.write_bytes(encode(classes, nqubits))
    return ECCs.from_postcard(path)


def entries(eccs, tmp_path, name="entries.postcard"):
    """The classes of a collection as lists of (instrs, perm), read back from its dump."""
    path = tmp_path / name
    eccs.dump_postcard(path)
    classes, nqubits = decode(path.read_bytes())
    assert nqubits == eccs.nqubits
    return classes
