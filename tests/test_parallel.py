"""The worker pool: order-preserving loops, the lowest failing index, nested
loops, fork() and the pool size.

The pool is sized once per process, so every test that depends on its size
runs in a fresh interpreter with BORVANE_NUM_THREADS set.  Four threads on
any machine make the workers really take part (the calling thread cannot
take every chunk, see par_distinct_threads).
"""
import json
import os
import textwrap

import pytest

from borvane import InternalFailure
from borvane import _testing
from conftest import run_fresh

KINDS = ("map", "filter_map", "flat_map", "for_each")
# Up to a few thousand indices: single chunks, more threads than indices,
# and many chunks per thread.
LENGTHS = (0, 1, 2, 7, 5000)
POOL_SIZES = pytest.mark.parametrize("threads", [1, 4])


def value(i):
    return (i * 2654435761) % 2**32


def expected(kind, n):
    """The sequential result of _testing.par_loop(kind, n)."""
    if kind == "filter_map":
        return [value(i) for i in range(n) if value(i) % 3 == 0]
    if kind == "flat_map":
        return [value(i) for i in range(n) for _ in range(i % 4)]
    return [value(i) for i in range(n)]


def in_pool(threads, code):
    """Runs `code`, which prints one JSON value, in a fresh interpreter whose
    pool has `threads` threads, and returns that value."""
    prelude = "import json\nfrom borvane import InternalFailure, _testing as t\n"
    out = run_fresh(prelude + textwrap.dedent(code), env={"BORVANE_NUM_THREADS": str(threads)})
    return json.loads(out)


@POOL_SIZES
def test_loops_return_the_sequential_order(threads):
    got = in_pool(threads, f"print(json.dumps({{k: [t.par_loop(k, n) for n in {LENGTHS}] for k in {KINDS}}}))")
    for kind in KINDS:
        assert got[kind] == [expected(kind, n) for n in LENGTHS], kind


@POOL_SIZES
def test_tasks_run_on_several_threads(threads):
    distinct = in_pool(threads, "print(t.par_distinct_threads(1000))")
    assert (distinct == 1) if threads == 1 else (2 <= distinct <= threads)


# (kind, failing indices of a loop over 5000, error kind)
FAILURES = [
    ("map", [3], "internal"),
    ("map", [4999, 2500, 3], "internal"),
    ("filter_map", [0, 4999], "internal"),
    ("flat_map", list(range(100, 5000)), "internal"),
    ("for_each", [4999, 1234], "value"),
]


@POOL_SIZES
def test_lowest_failing_index_wins_and_the_pool_stays_usable(threads):
    got = in_pool(threads, f"""
        out = []
        for kind, fail, error in {FAILURES!r}:
            try:
                t.par_loop(kind, 5000, fail, error)
                out.append("no error")
            except (InternalFailure, ValueError) as e:
                out.append([type(e).__name__, str(e)])
        out.append(t.par_loop("map", 5000))
        print(json.dumps(out))
    """)
    assert got[:-1] == [
        ["InternalFailure" if error == "internal" else "ValueError", f"task {min(fail)} failed"]
        for _, fail, error in FAILURES
    ]
    assert got[-1] == expected("map", 5000)


def test_a_failing_task_raises_internal_failure():
    with pytest.raises(InternalFailure, match="^task 7 failed$"):
        _testing.par_loop("map", 100, [50, 7])
    assert _testing.par_loop("map", 100) == expected("map", 100)


@POOL_SIZES
def test_nested_loops_run_inline(threads):
    got = in_pool(threads, """
        out = [t.par_nested(40, 50)]
        try:
            t.par_nested(40, 50, [1999, 777, 1500])
        except InternalFailure as e:
            out.append(str(e))
        print(json.dumps(out))
    """)
    assert got == [[[i * 50 + j for j in range(50)] for i in range(40)], "task 777 failed"]


def test_forked_child_rebuilds_the_pool():
    got = in_pool(4, """
        import os, signal, warnings
        warnings.simplefilter("ignore", DeprecationWarning)  # fork() with threads alive
        before = t.par_loop("map", 5000)  # the parent's workers are running now
        pid = os.fork()
        if pid == 0:
            signal.alarm(60)  # a deadlocked child fails the test instead of hanging it
            try:
                ok = (t.par_loop("map", 5000) == before and t.parallel_num_threads() == 4
                      and t.par_distinct_threads(1000) >= 2)
                os._exit(0 if ok else 1)
            except BaseException:
                os._exit(2)
        _, status = os.waitpid(pid, 0)
        print(json.dumps([os.waitstatus_to_exitcode(status), t.par_loop("map", 5000) == before]))
    """)
    assert got == [0, True]


@pytest.mark.parametrize(
    "text, threads",
    [
        ("1", 1),
        ("4", 4),
        (" 8\n", 8),
        ("0012", 12),
        ("1024", 1024),
        ("5000", 1024),
        ("9" * 40, 1024),
        ("0", None),
        ("", None),
        ("  ", None),
        ("-2", None),
        ("+3", None),
        ("3.0", None),
        ("4x", None),
        ("four", None),
    ],
)
def test_parse_num_threads(text, threads):
    assert _testing.parse_num_threads(text) == threads


@pytest.mark.parametrize("setting, threads", [("3", 3), ("junk", None), (None, None)])
def test_pool_size_follows_the_environment(monkeypatch, setting, threads):
    monkeypatch.delenv("BORVANE_NUM_THREADS", raising=False)
    env = {} if setting is None else {"BORVANE_NUM_THREADS": setting}
    default = min(len(os.sched_getaffinity(0)), 1024)
    got = int(run_fresh("from borvane import _testing; print(_testing.parallel_num_threads())", env=env))
    assert got == (threads or default)
