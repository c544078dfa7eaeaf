// Test hooks for the worker pool: loops of every kind over a cheap function
// of the index that Python can recompute, failing tasks, nested loops and
// the set of threads that ran tasks.
#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>

#include "py/convert.h"
#include "py/entry.h"
#include "testing/hooks.h"
#include "utils/errors.h"
#include "utils/parallel.h"

namespace borvane::py {

namespace {

// Python recomputes it as (i * 2654435761) % 2**32.
uint64_t value_of(size_t i) { return (uint64_t(i) * 2654435761u) & 0xffffffffu; }

// Waits until `flag` is set.  Gives up after a minute, so that a broken pool
// fails its test instead of hanging it.
void wait_for(const std::atomic<bool>& flag) {
    auto give_up = std::chrono::steady_clock::now() + std::chrono::minutes(1);
    while (!flag.load() && std::chrono::steady_clock::now() < give_up) std::this_thread::yield();
}

// Raises for the indices of `fail`: InternalError, or ValueError when
// `error` is "value", with a message naming the index.  On a pool of several
// threads the lowest failing task throws only after another failing task has
// thrown, so the pool has to replace the failure it holds by a lower one
// rather than keep the first it saw.
struct Failing {
    std::set<size_t> fail;
    bool value_error;
    bool hold_back_lowest;
    std::atomic<bool> other_thrown{false};

    void at(size_t i) {
        if (!fail.count(i)) return;
        if (i == *fail.begin() && hold_back_lowest)
            wait_for(other_thrown);
        else
            other_thrown.store(true);
        std::string message = "task " + std::to_string(i) + " failed";
        if (value_error) throw ValueError(message);
        throw InternalError(message);
    }
};

Failing failing(PyObject* pf, PyObject* pe) {
    auto fail = arg_or<std::vector<size_t>>(pf, "fail", {});
    std::string error = arg_or<std::string>(pe, "error", "internal");
    check(error == "internal" || error == "value", "error is 'internal' or 'value'");
    std::set<size_t> s(fail.begin(), fail.end());
    bool hold_back = s.size() > 1 && borvane::parallel_num_threads() > 1;
    return Failing{std::move(s), error == "value", hold_back};
}

Ref parallel_num_threads(PyObject*, const Args& a) {
    static constexpr Signature<0> sig{"parallel_num_threads", {}};
    sig.parse(a);
    return to_py(uint64_t(borvane::parallel_num_threads()));
}

Ref parse_num_threads(PyObject*, const Args& a) {
    static constexpr Signature<1> sig{"parse_num_threads", {"text"}};
    auto [pt] = sig.parse(a);
    auto n = borvane::parse_num_threads(arg<std::string>(pt, "text"));
    return to_py(n ? std::optional<uint64_t>(*n) : std::nullopt);
}

// One loop of `kind` over n indices, whose results Python recomputes:
//   map          [v(i) for i]
//   filter_map   [v(i) for i if v(i) % 3 == 0]
//   flat_map     [v(i) for i for _ in range(i % 4)]
//   for_each     [v(i) for i], written into place by the tasks
// with v = value_of.  Indices in `fail` raise instead.
Ref par_loop(PyObject*, const Args& a) {
    static constexpr Signature<4> sig{"par_loop", {"kind", "n", "fail", "error"}, 2};
    auto [pk, pn, pf, pe] = sig.parse(a);
    std::string kind = arg<std::string>(pk, "kind");
    size_t n = arg<size_t>(pn, "n");
    Failing f = failing(pf, pe);
    if (kind == "map")
        return to_py(par_map<uint64_t>(n, [&](size_t i) {
            f.at(i);
            return value_of(i);
        }));
    if (kind == "filter_map")
        return to_py(par_filter_map<uint64_t>(n, [&](size_t i) -> std::optional<uint64_t> {
            f.at(i);
            if (value_of(i) % 3 != 0) return std::nullopt;
            return value_of(i);
        }));
    if (kind == "flat_map")
        return to_py(par_flat_map<uint64_t>(n, [&](size_t i) {
            f.at(i);
            return std::vector<uint64_t>(i % 4, value_of(i));
        }));
    if (kind == "for_each") {
        std::vector<uint64_t> out(n);
        par_for_each(n, [&](size_t i) {
            f.at(i);
            out[i] = value_of(i);
        });
        return to_py(out);
    }
    throw InternalError("unknown loop kind " + kind);
}

// par_map over `outer` indices whose tasks each run par_map over `inner`
// indices; task (i, j) yields i * inner + j, and the flat indices in `fail`
// raise.  Returns the list of inner lists.
Ref par_nested(PyObject*, const Args& a) {
    static constexpr Signature<3> sig{"par_nested", {"outer", "inner", "fail"}, 2};
    auto [po, pi, pf] = sig.parse(a);
    size_t outer = arg<size_t>(po, "outer"), inner = arg<size_t>(pi, "inner");
    Failing f = failing(pf, nullptr);
    return to_py(par_map<std::vector<uint64_t>>(outer, [&](size_t i) {
        return par_map<uint64_t>(inner, [&](size_t j) {
            f.at(i * inner + j);
            return uint64_t(i * inner + j);
        });
    }));
}

// The number of distinct threads that ran the tasks of one loop over n
// indices.  Task 0 waits until another task has finished.  Its thread took
// chunk 0, the first one claimed, so it ran no task before and runs none
// while it waits: whatever finishes meanwhile ran on another thread.  With a
// pool of several threads the answer is therefore at least 2 however the
// threads are scheduled.
Ref par_distinct_threads(PyObject*, const Args& a) {
    static constexpr Signature<1> sig{"par_distinct_threads", {"n"}};
    auto [pn] = sig.parse(a);
    size_t n = arg<size_t>(pn, "n");
    bool wait = n > 1 && borvane::parallel_num_threads() > 1;
    std::atomic<bool> other_done{false};
    auto ids = par_map<std::thread::id>(n, [&](size_t i) {
        if (i != 0) {
            other_done.store(true);
        } else if (wait) {
            wait_for(other_done);
        }
        return std::this_thread::get_id();
    });
    return to_py(uint64_t(std::set<std::thread::id>(ids.begin(), ids.end()).size()));
}

PyMethodDef methods[] = {
    {"parallel_num_threads", method_ptr<parallel_num_threads>(), kMethod,
     "parallel_num_threads()\n--\n\nThreads a loop of the worker pool may use, the caller included."},
    {"parse_num_threads", method_ptr<parse_num_threads>(), kMethod,
     "parse_num_threads(text)\n--\n\nThe pool size a BORVANE_NUM_THREADS value asks for, or None."},
    {"par_loop", method_ptr<par_loop>(), kMethod,
     "par_loop(kind, n, fail=(), error='internal')\n--\n\nOne pool loop over a cheap function of the index."},
    {"par_nested", method_ptr<par_nested>(), kMethod,
     "par_nested(outer, inner, fail=())\n--\n\nA pool loop whose tasks run pool loops."},
    {"par_distinct_threads", method_ptr<par_distinct_threads>(), kMethod,
     "par_distinct_threads(n)\n--\n\nDistinct threads that ran the tasks of one pool loop."},
    {nullptr, nullptr, 0, nullptr},
};

const borvane::testing::RegisterHooks registered(methods);

}  // namespace

}  // namespace borvane::py
