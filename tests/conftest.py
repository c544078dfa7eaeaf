import os
import subprocess
import sys
import textwrap

import pytest


def run_fresh(code: str, env: dict | None = None) -> str:
    """Runs `code` in a new interpreter (fresh gate table) and returns its stdout."""
    full_env = dict(os.environ)
    if env:
        full_env.update(env)
    proc = subprocess.run(
        [sys.executable, "-c", textwrap.dedent(code)],
        capture_output=True, text=True, env=full_env, timeout=600,
    )
    if proc.returncode != 0:
        raise AssertionError(f"subprocess failed ({proc.returncode}):\n{proc.stdout}\n{proc.stderr}")
    return proc.stdout


def cpython_siphash13(messages: list[bytes]) -> list[int]:
    """SipHash-1-3 with zero keys, as CPython computes hash(bytes) under
    PYTHONHASHSEED=0 (a signed 64-bit value with -1 replaced by -2)."""
    hex_args = " ".join(m.hex() for m in messages)
    out = run_fresh(
        f"""
        for h in {hex_args.split()!r}:
            print(hash(bytes.fromhex(h)))
        """,
        env={"PYTHONHASHSEED": "0"},
    )
    return [int(line) for line in out.split()]


def as_python_hash(u64: int) -> int:
    """Narrows an unsigned 64-bit hash the way __hash__ does."""
    v = u64 - (1 << 64) if u64 >= (1 << 63) else u64
    return -2 if v == -1 else v


@pytest.fixture(scope="session")
def siphash():
    return cpython_siphash13
