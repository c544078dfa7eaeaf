"""Binary dump of ECC collections: layout, round trips, hostile input and file errors.

Collections travel in the test module's form (classes, nqubits): a class is a
list of entries (instructions, permutation entries), an instruction is
(gate display text, q0, q1) with 255 for an empty slot.
"""
import errno
import os
import random

import pytest

from borvane import InternalFailure
from borvane import _testing
from conftest import run_fresh

READ = "Failed to read postcard data: "
END = READ + "unexpected end of data"
TOO_LONG_32 = READ + "varint is too long for a 32-bit value"
TOO_LONG_64 = READ + "varint is too long for a 64-bit value"
BAD_UTF8 = READ + "text is not valid UTF-8"
UNKNOWN_GATE = "Failed to deserialize Gate16 from "

GATES_1Q = ["i", "h", "x", "z", "y", "s", "sdg", "t", "tdg", "t1/2", "tdg1/2", "rz(pi/3)", "rz(-pi/16)"]
GATES_2Q = ["cx", "cz", "cy", "cs", "csdg", "swap"]

EXAMPLE = bytes.fromhex("01 02 00 80 80 80 08 02 01 68 00 FF 01 68 00 FF 80 80 80 08 01")
EXAMPLE_FORM = ([[([], (0,)), ([("h", 0, 255), ("h", 0, 255)], (0,))]], 1)


# --- an independent encoder, written from the layout -------------------------------

def varint(n):
    out = bytearray()
    while n >= 0x80:
        out.append(n & 0x7F | 0x80)
        n >>= 7
    out.append(n)
    return bytes(out)


def text(raw: bytes):
    return varint(len(raw)) + raw


def perm_raw(entries):
    return sum(e << (3 * i) for i, e in enumerate(entries)) | len(entries) << 24


def reference_encoding(form):
    classes, nqubits = form
    out = varint(len(classes))
    for cls in classes:
        out += varint(len(cls))
        for instrs, perm in cls:
            out += varint(len(instrs))
            for name, q0, q1 in instrs:
                out += text(name.encode()) + bytes([q0, q1])
            out += varint(perm_raw(perm))
    return out + varint(nqubits)


def random_form(rng, nclasses, max_entries, max_instrs):
    def instr():
        if rng.random() < 0.3:
            a, b = rng.sample(range(8), 2)
            return (rng.choice(GATES_2Q), a, b)
        return (rng.choice(GATES_1Q), rng.randrange(8), 255)

    def entry():
        n = rng.randrange(9)
        return ([instr() for _ in range(rng.randrange(max_instrs + 1))], tuple(rng.sample(range(n), n)))

    classes = [[entry() for _ in range(rng.randrange(max_entries + 1))] for _ in range(nclasses)]
    return (classes, rng.choice([0, 1, 3, 8, 127, 128, 2**40]))


# --- file helpers ------------------------------------------------------------------

@pytest.fixture
def path(tmp_path):
    return str(tmp_path / "eccs.postcard")


def dump_bytes(form, path):
    _testing.postcard_dump(form, path)
    with open(path, "rb") as f:
        return f.read()


def load_bytes(data, path):
    with open(path, "wb") as f:
        f.write(data)
    return _testing.postcard_load(path)


def copy_bytes(data, path):
    """Loads `data` natively and returns what dumping the result writes."""
    with open(path, "wb") as f:
        f.write(data)
    _testing.postcard_copy(path, path + ".copy")
    with open(path + ".copy", "rb") as f:
        return f.read()


# --- layout ------------------------------------------------------------------------

def test_example_decodes_and_encodes_byte_for_byte(path):
    assert load_bytes(EXAMPLE, path) == EXAMPLE_FORM
    assert dump_bytes(EXAMPLE_FORM, path) == EXAMPLE


@pytest.mark.parametrize(
    "form, expected",
    [
        (([], 3), "00 03"),
        # the empty permutation packs to 0: one byte
        (([[([], ())]], 0), "01 01 00 00 00"),
        # the identity of 3 qubits packs to 0x03000088: four bytes
        (([[([], (0, 1, 2))]], 3), "01 01 00 88 81 80 18 03"),
        # a two-qubit instruction, a gate text with parameters
        (([[([("cx", 0, 1), ("rz(pi/3)", 2, 255)], (1, 0))]], 2),
         "01 01 02 02 63 78 00 01 08 72 7a 28 70 69 2f 33 29 02 ff 81 80 80 10 02"),
        # nqubits is a 64-bit varint
        (([], 2**64 - 1), "00 ff ff ff ff ff ff ff ff ff 01"),
        # an empty class is stored as it is; nothing checks the collection
        (([[], []], 0), "02 00 00 00"),
    ],
)
def test_layout(form, expected, path):
    data = bytes.fromhex(expected)
    assert dump_bytes(form, path) == data
    assert load_bytes(data, path) == form


@pytest.mark.parametrize("n, head", [(127, "7f"), (128, "80 01"), (300, "ac 02"), (16384, "80 80 01")])
def test_length_bytes(n, head, path):
    head = bytes.fromhex(head)
    classes = ([[]] * n, 0)
    assert dump_bytes(classes, path) == head + b"\x00" * n + b"\x00"
    instrs = ([[([("x", 0, 255)] * n, ())]], 1)
    data = dump_bytes(instrs, path)
    assert data[2:2 + len(head)] == head
    assert load_bytes(data, path) == instrs


@pytest.mark.parametrize("seed, nclasses, max_entries, max_instrs", [(1, 20, 4, 6), (2, 3, 200, 40), (3, 400, 6, 12)])
def test_round_trip_matches_reference(seed, nclasses, max_entries, max_instrs, path):
    form = random_form(random.Random(seed), nclasses, max_entries, max_instrs)
    data = dump_bytes(form, path)
    assert data == reference_encoding(form)
    assert load_bytes(data, path) == form


def test_dump_truncates_an_existing_file(path):
    big = random_form(random.Random(4), 50, 5, 10)
    dump_bytes(big, path)
    assert dump_bytes(([], 3), path) == b"\x00\x03"


# --- reading rules -----------------------------------------------------------------

def test_every_truncated_prefix_fails(path):
    form = ([[([("rz(-pi/16)", 1, 255), ("cx", 0, 1)], (2, 0, 1))], [([("t1/2", 0, 255)], (0, 1))]], 300)
    data = dump_bytes(form, path)
    for cut in range(len(data)):
        with pytest.raises(ValueError, match=f"^{END}$"):
            load_bytes(data[:cut], path)


def test_prefixes_cut_at_buffer_boundaries_fail(path):
    # Larger than three 8192-byte buffers, so texts and varints straddle refills.
    data = dump_bytes(random_form(random.Random(5), 300, 8, 12), path)
    assert len(data) > 3 * 8192
    for cut in [1, 8191, 8192, 8193, 16384, 16385, len(data) - 1]:
        with pytest.raises(ValueError, match=f"^{END}$"):
            load_bytes(data[:cut], path)


@pytest.mark.parametrize("tail", [b"\x00", b"\xff" * 5, EXAMPLE, bytes(range(256)) * 100])
def test_bytes_after_the_record_are_not_read(tail, path):
    assert load_bytes(EXAMPLE + tail, path) == EXAMPLE_FORM


def one_gate_file(raw_text: bytes):
    return b"\x01\x01\x01" + text(raw_text) + b"\x00\xff\x00\x01"


@pytest.mark.parametrize(
    "raw, exc, message",
    [
        (b"nosuchgate", InternalFailure, UNKNOWN_GATE + "nosuchgate"),
        (b"rz", InternalFailure, UNKNOWN_GATE + "rz"),  # a gate is found by its whole display text
        (b"H", InternalFailure, UNKNOWN_GATE + "H"),
        (b"", InternalFailure, UNKNOWN_GATE),
        ("é😀".encode(), InternalFailure, UNKNOWN_GATE + "é😀"),
        (b"a" * 8192, InternalFailure, UNKNOWN_GATE + "a" * 8192),  # the longest readable text
        (b"a" * 8193, ValueError, END),  # does not fit the scratch area
        (b"\xff", ValueError, BAD_UTF8),
        (b"h\x80", ValueError, BAD_UTF8),  # stray continuation byte
        (b"\xc0\xaf", ValueError, BAD_UTF8),  # overlong '/'
        (b"\xe0\x80\xaf", ValueError, BAD_UTF8),  # overlong '/'
        (b"\xed\xa0\x80", ValueError, BAD_UTF8),  # surrogate U+D800
        (b"\xf4\x90\x80\x80", ValueError, BAD_UTF8),  # above U+10FFFF
        (b"\xe2\x82", ValueError, BAD_UTF8),  # sequence cut short
    ],
)
def test_gate_texts(raw, exc, message, path):
    with pytest.raises(exc) as info:
        load_bytes(one_gate_file(raw), path)
    assert str(info.value) == message


@pytest.mark.parametrize(
    "data, result",
    [
        # Lengths take at most 5 bytes; non-minimal forms within that are read.
        ("80 80 80 80 00 00", "00 00"),
        ("ff ff ff ff 10", TOO_LONG_32),
        ("80 80 80 80 80 00", TOO_LONG_32),
        ("ff ff ff ff 0f", END),  # 2^32 - 1 classes in a 5-byte file
        # Permutations are 32-bit varints taken without any check.
        ("01 01 00 ff ff ff ff 0f 00", "01 01 00 ff ff ff ff 0f 00"),
        ("01 01 00 80 00 00", "01 01 00 00 00"),
        ("01 01 00 ff ff ff ff 1f 00", TOO_LONG_32),
        # nqubits takes up to 10 bytes.
        ("00 ff ff ff ff ff ff ff ff ff 01", "00 ff ff ff ff ff ff ff ff ff 01"),
        ("00 ff ff ff ff ff ff ff ff ff 02", TOO_LONG_64),
        ("00 ff ff ff ff ff ff ff ff ff 81 00", TOO_LONG_64),
        ("00 80 80 80 80 80 80 80 80 80 00", "00 00"),
        # Qubit bytes are taken as they are.
        ("01 01 01 01 68 07 09 00 00", "01 01 01 01 68 07 09 00 00"),
    ],
)
def test_varint_limits(data, result, path):
    if result.startswith(READ):
        with pytest.raises(ValueError, match=f"^{result}$"):
            copy_bytes(bytes.fromhex(data), path)
    else:
        assert copy_bytes(bytes.fromhex(data), path) == bytes.fromhex(result)


def test_huge_counts_fail_without_spending_memory():
    # Under an address-space limit far below what reserving 2^32 elements
    # would take, each claim must fail as truncated data, not as MemoryError.
    out = run_fresh(
        """
        import os, resource, tempfile
        from borvane import _testing

        HUGE = bytes.fromhex("ff ff ff ff 0f")
        files = {
            "classes": HUGE,
            "entries": b"\\x01" + HUGE,
            "instrs": b"\\x01\\x01" + HUGE,
            "text": b"\\x01\\x01\\x01" + HUGE,
            "many small claims": b"\\x01\\x01\\x80\\x80\\x04" + b"\\x01\\x68\\x00\\xff" * 1000,
        }
        with open("/proc/self/statm") as f:
            pages = int(f.read().split()[0])
        limit = pages * os.sysconf("SC_PAGE_SIZE") + (256 << 20)
        resource.setrlimit(resource.RLIMIT_AS, (limit, limit))
        d = tempfile.mkdtemp()
        for name, data in files.items():
            p = os.path.join(d, "f")
            with open(p, "wb") as f:
                f.write(data)
            try:
                _testing.postcard_load(p)
                print(name, "loaded")
            except ValueError as e:
                print(name, e)
        """
    )
    lines = out.strip().split("\n")
    assert lines == [f"{name} {END}" for name in ["classes", "entries", "instrs", "text", "many small claims"]]


def test_fuzzed_files_load_or_fail_cleanly(path):
    rng = random.Random(6)
    base = dump_bytes(random_form(rng, 4, 3, 4), path)
    for _ in range(400):
        data = bytearray(base)
        for _ in range(rng.randrange(1, 4)):
            i = rng.randrange(len(data))
            kind = rng.randrange(3)
            if kind == 0:
                data[i] = rng.randrange(256)
            elif kind == 1:
                data.insert(i, rng.choice([0x00, 0x7F, 0x80, 0xFF, rng.randrange(256)]))
            elif len(data) > 1:
                del data[i]
        try:
            copy = copy_bytes(bytes(data), path)
        except ValueError as e:
            assert str(e).startswith(READ)
            continue
        except InternalFailure as e:
            assert str(e).startswith(UNKNOWN_GATE)
            continue
        # What loads re-encodes to a canonical form that loads to itself.
        assert copy_bytes(copy, path) == copy


# --- file errors -------------------------------------------------------------------

@pytest.mark.skipif(not os.path.exists("/dev/full"), reason="needs /dev/full")
@pytest.mark.parametrize("form", [([], 3), random_form(random.Random(7), 300, 8, 12)], ids=["flush", "mid-write"])
def test_failed_writes_are_reported(form):
    with pytest.raises(ValueError) as info:
        _testing.postcard_dump(form, "/dev/full")
    assert str(info.value) == "Failed to write postcard data: " + os.strerror(errno.ENOSPC)


@pytest.mark.parametrize(
    "where, create_error, open_error",
    [
        ("missing/eccs", os.strerror(errno.ENOENT), os.strerror(errno.ENOENT)),
        ("with\0nul", "path contains a NUL byte", "path contains a NUL byte"),
    ],
)
def test_paths_that_cannot_be_used(where, create_error, open_error, tmp_path):
    p = str(tmp_path / where)
    with pytest.raises(OSError) as info:
        _testing.postcard_dump(([], 1), p)
    assert str(info.value) == "Failed to create file: " + create_error
    with pytest.raises(OSError) as info:
        _testing.postcard_load(p)
    assert str(info.value) == "Failed to open file: " + open_error
    assert os.listdir(tmp_path) == []


def test_a_directory_cannot_be_created_or_read(tmp_path):
    with pytest.raises(OSError, match="^Failed to create file: " + os.strerror(errno.EISDIR)):
        _testing.postcard_dump(([], 1), str(tmp_path))
    with pytest.raises(ValueError, match=f"^{READ}{os.strerror(errno.EISDIR)}$"):
        _testing.postcard_load(str(tmp_path))
