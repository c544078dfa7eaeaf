"""Register-level arguments and instructions, and binding a gate by calling it."""
import inspect

import pytest

from borvane import Argument, Gate, Instr, Instruction, InternalFailure

h, cx = Gate.from_name("h"), Gate.from_name("cx")


def test_argument_values():
    a = Argument("q", 0)
    assert str(a) == "q[0]"
    assert repr(a) == 'Argument { regid: "q", index: 0 }'
    assert repr(Argument('a"b\\c\n', 7)) == 'Argument { regid: "a\\"b\\\\c\\n", index: 7 }'
    assert a == Argument("q", 0) and hash(a) == hash(Argument("q", 0))
    assert a != Argument("q", 1) and a != Argument("c", 0) and a != "q[0]"
    with pytest.raises(TypeError):
        a < Argument("q", 1)  # noqa: B015


def test_argument_hash_layout(siphash):
    # regid bytes, 0xFF, index as 4 bytes
    assert hash(Argument("q", 3)) == siphash([b"q\xff\x03\x00\x00\x00"])[0]


def test_argument_setters():
    a = Argument("q", 0)
    a.regid, a.index = "c", 5
    assert (a.regid, a.index) == ("c", 5)
    with pytest.raises(TypeError):
        a.regid = 1
    with pytest.raises(OverflowError):
        a.index = -1
    with pytest.raises(OverflowError):
        a.index = 2**64
    for attr in ("regid", "index"):
        with pytest.raises(AttributeError, match="can't delete attribute"):
            delattr(a, attr)


def test_instruction_construction_and_text():
    ins = Instruction(cx, [("q", 0), Argument("q", 1)])
    assert str(ins) == "cx q[0], q[1];"
    assert ins.qargs == [Argument("q", 0), Argument("q", 1)] and ins.cargs == []
    assert str(Instruction(cx, [("q", 0), ("q", 1)], [("c", 0)])) == "cx q[0], q[1], c[0];"
    assert str(Instruction(h, [])) == "h ;"
    assert str(Instruction(cx, [("q", 0)])) == "cx q[0];"  # arity is not enforced
    assert repr(ins) == (
        'Instruction { gate: Gate(9 -> cx), qargs: [Argument { regid: "q", index: 0 }, '
        'Argument { regid: "q", index: 1 }], cargs: [] }'
    )
    assert list(inspect.signature(Instruction).parameters) == ["gate", "qargs", "cargs"]


@pytest.mark.parametrize(
    "args",
    [
        (h, "q"),
        (h, [("q", 0)], None),
        (h, [["q", 0]]),  # a list of two items is not a pair
        (h, [("q", -1)]),
        (h, [("q", 0, 1)]),
        ("h", []),
    ],
)
def test_instruction_construction_errors(args):
    with pytest.raises(TypeError):
        Instruction(*args)


def test_instruction_equality_hash_and_setters(siphash):
    a = Instruction(cx, [("q", 0), ("q", 1)])
    b = Instruction(cx, [Argument("q", 0), Argument("q", 1)])
    assert a == b and hash(a) == hash(b)
    # gate (2 bytes), count of qargs (4), each argument, count of cargs (4)
    qa = lambda i: b"q\xff" + bytes([i, 0, 0, 0])  # noqa: E731
    assert hash(a) == siphash([bytes([9, 0, 2, 0, 0, 0]) + qa(0) + qa(1) + bytes(4)])[0]
    b.qargs = [Argument("q", 1), Argument("q", 0)]
    assert a != b
    with pytest.raises(TypeError):
        b.qargs = [("q", 0)]  # pairs are for the constructor only
    b.gate = h
    assert b.gate == h
    with pytest.raises(TypeError):
        b.gate = "h"
    for attr in ("gate", "qargs", "cargs"):
        with pytest.raises(AttributeError, match="can't delete attribute"):
            delattr(b, attr)


def test_returned_lists_are_copies():
    ins = Instruction(cx, [("q", 0), ("q", 1)])
    got = ins.qargs
    got.append(Argument("q", 9))
    got[0].index = 7
    assert ins.qargs == [Argument("q", 0), Argument("q", 1)]


def test_reading_while_being_modified_is_a_borrow_conflict():
    ins = Instruction(cx, [("q", 0)])

    class Sneaky:
        # A sequence whose iteration reads the instruction being assigned to.
        def __len__(self):
            return 1

        def __getitem__(self, i):
            if i == 0:
                return Argument("q", len(ins.qargs))
            raise IndexError

    with pytest.raises(RuntimeError):
        ins.qargs = Sneaky()
    assert ins.qargs == [Argument("q", 0)]


def test_gate_call():
    i = cx(0, 1)
    assert isinstance(i, Instr) and str(i) == "cx(0, 1)"
    assert str(cx(1, 1)) == "cx(1, 1)"  # distinctness is not tested here
    with pytest.raises(InternalFailure, match="^Number of arguments not match for gate cx$"):
        cx(0)
    ins = cx(Argument("q", 0), Argument("q", 1), Argument("c", 0))
    assert isinstance(ins, Instruction)
    assert ins.qargs == [Argument("q", 0), Argument("q", 1)] and ins.cargs == [Argument("c", 0)]
    with pytest.raises(InternalFailure):
        cx(Argument("q", 0))
    with pytest.raises(TypeError):
        cx(0, Argument("q", 1))
    with pytest.raises(TypeError):
        cx(q=0)
    assert "Binds arguments" in Gate.__call__.__doc__
