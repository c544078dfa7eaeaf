// The process-wide worker pool and the order-preserving loops over an index
// range [0, n) that run on it.  The calling thread works alongside the pool
// and waits for each loop, so a caller holding Python's interpreter lock keeps
// it; tasks run core code only and never touch a Python object.
//
// Every loop returns exactly what its sequential form would, whatever the
// pool size or schedule.  A task's exception is rethrown on the calling
// thread; when several tasks fail, the one with the lowest index wins.  Every
// index below the winning one ran to completion; indices above it may or may
// not have run (a thread skips what cannot beat a failure already seen).
//
// `f` is called concurrently from several threads, at most once per index,
// and must only read shared data besides writing its own results.
#pragma once

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <iterator>
#include <mutex>
#include <optional>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace borvane {

// Threads a loop may use, the calling thread included (at least 1).  Creates
// the pool on first use.
size_t parallel_num_threads();

// Reads a BORVANE_NUM_THREADS value: decimal digits, optionally surrounded by
// blanks, at least 1; values above kMaxThreads are clamped to it.  Anything
// else (empty, zero, a sign, a fraction, trailing text) is nullopt, and the
// pool then keeps its default size.
inline constexpr size_t kMaxThreads = 1024;
std::optional<size_t> parse_num_threads(std::string_view text);

namespace parallel_detail {

class Pool;
using ChunkFn = void (*)(void* ctx, size_t chunk) noexcept;

// Exclusive use of the pool for one loop of n indices.  Empty when the loop
// runs inline on the calling thread: fewer than two indices (not worth a
// wake-up), a pool of one thread, a loop started by a task (on a worker, or
// on the caller while it owns the pool), or another thread's loop holding
// the pool.  Running inline never waits for anything, so nested loops cannot
// deadlock.
class Lease {
public:
    explicit Lease(size_t n);
    ~Lease();
    Lease(const Lease&) = delete;
    Lease& operator=(const Lease&) = delete;

    explicit operator bool() const { return pool_ != nullptr; }
    size_t threads() const;
    // Runs fn(ctx, c) for every chunk c in [0, nchunks) on the pool and the
    // calling thread; returns when all have finished.
    void run(size_t nchunks, void* ctx, ChunkFn fn);

private:
    Pool* pool_ = nullptr;
};

// The failure with the lowest index seen so far.  Failures are rare, so a
// mutex is fine; the happy path only reads `bound`.
class LowestFailure {
public:
    size_t bound() const { return index_.load(std::memory_order_relaxed); }
    void record(size_t i, std::exception_ptr e) {
        std::lock_guard hold(m_);
        if (i < index_.load(std::memory_order_relaxed)) {
            index_.store(i, std::memory_order_relaxed);
            error_ = std::move(e);
        }
    }
    void rethrow_if_any() const {
        if (error_) std::rethrow_exception(error_);
    }

private:
    std::atomic<size_t> index_{SIZE_MAX};
    std::exception_ptr error_;
    std::mutex m_;
};

// About 8 chunks per thread: enough for threads that finish early to take
// work from slow regions, few enough that claiming a chunk (one atomic
// increment) costs nothing next to running it.  Chunk boundaries depend only
// on n and the pool size, so per-chunk results concatenate in index order.
inline size_t chunk_len(size_t n, size_t threads) {
    size_t target = threads * 8;
    return (n + target - 1) / target;
}

// Runs process(chunk, i) for every i in [0, n) on the leased pool, then
// rethrows the lowest failure.
template <class Process>
void run_indices(Lease& lease, size_t n, size_t chunk, Process& process) {
    struct Ctx {
        Process* process;
        size_t n, chunk;
        LowestFailure failure;
    } ctx{&process, n, chunk, {}};
    size_t nchunks = (n + chunk - 1) / chunk;
    lease.run(nchunks, &ctx, [](void* p, size_t c) noexcept {
        auto& x = *static_cast<Ctx*>(p);
        size_t end = std::min(x.n, (c + 1) * x.chunk);
        size_t i = c * x.chunk;
        try {
            // Stop at a failure: nothing from here to the chunk's end, nor
            // anything above a lower failure, can be the one reported.
            for (; i < end && i < x.failure.bound(); ++i) (*x.process)(c, i);
        } catch (...) {
            x.failure.record(i, std::current_exception());
        }
    });
    ctx.failure.rethrow_if_any();
}

// Per-chunk buffers joined in chunk order: filtered results cost memory for
// what is kept, not a slot per index.
template <class T>
std::vector<T> concat(std::vector<std::vector<T>>& parts) {
    size_t total = 0;
    for (auto& p : parts) total += p.size();
    std::vector<T> out;
    out.reserve(total);
    for (auto& p : parts) std::move(p.begin(), p.end(), std::back_inserter(out));
    return out;
}

template <class T, class F>
std::vector<T> collect_chunks(Lease& lease, size_t n, F& f) {
    size_t chunk = chunk_len(n, lease.threads());
    std::vector<std::vector<T>> parts((n + chunk - 1) / chunk);
    auto process = [&](size_t c, size_t i) { f(parts[c], i); };
    run_indices(lease, n, chunk, process);
    return concat(parts);
}

}  // namespace parallel_detail

// f(i) for every i in [0, n).
template <class F>
void par_for_each(size_t n, F&& f) {
    parallel_detail::Lease lease(n);
    if (!lease) {
        for (size_t i = 0; i < n; ++i) f(i);
        return;
    }
    auto process = [&](size_t, size_t i) { f(i); };
    parallel_detail::run_indices(lease, n, parallel_detail::chunk_len(n, lease.threads()), process);
}

// [f(0), ..., f(n-1)], with f(i) -> T.
template <class T, class F>
std::vector<T> par_map(size_t n, F&& f) {
    std::vector<T> out;
    parallel_detail::Lease lease(n);
    if (!lease) {
        out.reserve(n);
        for (size_t i = 0; i < n; ++i) out.push_back(f(i));
        return out;
    }
    // Writing into place needs default-constructible slots, and distinct
    // elements in distinct bytes, which std::vector<bool> does not have.
    if constexpr (std::is_default_constructible_v<T> && !std::is_same_v<T, bool>) {
        out.resize(n);
        auto process = [&](size_t, size_t i) { out[i] = f(i); };
        parallel_detail::run_indices(lease, n, parallel_detail::chunk_len(n, lease.threads()), process);
        return out;
    } else {
        auto push = [&](std::vector<T>& part, size_t i) { part.push_back(f(i)); };
        return parallel_detail::collect_chunks<T>(lease, n, push);
    }
}

// The present values of f(0), ..., f(n-1), in order, with f(i) -> std::optional<T>.
template <class T, class F>
std::vector<T> par_filter_map(size_t n, F&& f) {
    auto keep = [&](std::vector<T>& part, size_t i) {
        std::optional<T> v = f(i);
        if (v) part.push_back(std::move(*v));
    };
    parallel_detail::Lease lease(n);
    if (!lease) {
        std::vector<T> out;
        for (size_t i = 0; i < n; ++i) keep(out, i);
        return out;
    }
    return parallel_detail::collect_chunks<T>(lease, n, keep);
}

// f(0), ..., f(n-1) concatenated, with f(i) -> std::vector<T>.
template <class T, class F>
std::vector<T> par_flat_map(size_t n, F&& f) {
    auto append = [&](std::vector<T>& part, size_t i) {
        std::vector<T> v = f(i);
        if (part.empty())
            part = std::move(v);
        else
            std::move(v.begin(), v.end(), std::back_inserter(part));
    };
    parallel_detail::Lease lease(n);
    if (!lease) {
        std::vector<T> out;
        for (size_t i = 0; i < n; ++i) append(out, i);
        return out;
    }
    return parallel_detail::collect_chunks<T>(lease, n, append);
}

}  // namespace borvane
