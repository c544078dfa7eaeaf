#include "utils/parallel.h"

#include <pthread.h>
#include <sched.h>

#include <charconv>
#include <condition_variable>
#include <cstdlib>
#include <system_error>
#include <thread>

namespace borvane {

namespace parallel_detail {

namespace {

// One loop as the workers see it.  It lives on the calling thread's stack;
// `active` (guarded by the pool's mutex) counts the workers inside it, and
// the caller does not return before it drops to zero.
struct Job {
    void* ctx;
    ChunkFn fn;
    size_t nchunks;
    std::atomic<size_t> next{0};
    size_t active = 0;
};

void drain(Job& job) {
    for (;;) {
        size_t c = job.next.fetch_add(1, std::memory_order_relaxed);
        if (c >= job.nchunks) return;
        job.fn(job.ctx, c);
    }
}

// Set on the pool's own threads: a loop started there runs inline.  It would
// find the pool busy anyway (its caller holds it), but this way nested loops
// on the workers do not all write the busy flag's cache line.
thread_local bool t_on_worker = false;

}  // namespace

class Pool {
public:
    explicit Pool(size_t threads) {
        workers_.reserve(threads - 1);
        try {
            for (size_t k = 1; k < threads; ++k) workers_.emplace_back([this] { work(); });
        } catch (const std::system_error&) {
            // Out of threads: run with the workers we got rather than fail
            // an unrelated call.
        }
    }

    // The pool is never destroyed (the workers sleep until the process
    // ends), so its threads are never joined.
    ~Pool() = delete;

    size_t threads() const { return workers_.size() + 1; }

    bool try_acquire() { return !busy_.exchange(true, std::memory_order_acquire); }
    void release() { busy_.store(false, std::memory_order_release); }

    void run(size_t nchunks, void* ctx, ChunkFn fn) {
        Job job{ctx, fn, nchunks};
        {
            std::lock_guard hold(m_);
            job_ = &job;
            ++generation_;
        }
        // The caller takes a chunk too, so waking more than nchunks - 1
        // workers would only make them find nothing to do.
        if (nchunks - 1 >= workers_.size())
            wake_.notify_all();
        else
            for (size_t k = 1; k < nchunks; ++k) wake_.notify_one();
        drain(job);
        // Every chunk is claimed; unpublish the job so that no late worker
        // joins, and wait for those inside to finish their chunks.  The
        // mutex also makes their results visible here.
        std::unique_lock hold(m_);
        job_ = nullptr;
        idle_.wait(hold, [&] { return job.active == 0; });
    }

private:
    void work() {
        t_on_worker = true;
        uint64_t seen = 0;
        std::unique_lock hold(m_);
        for (;;) {
            wake_.wait(hold, [&] { return generation_ != seen; });
            seen = generation_;
            Job* job = job_;
            if (!job) continue;  // woke after the loop ended
            ++job->active;
            hold.unlock();
            drain(*job);
            hold.lock();
            if (--job->active == 0) idle_.notify_one();
        }
    }

    std::mutex m_;
    std::condition_variable wake_;  // workers: a new job was published
    std::condition_variable idle_;  // caller: the last worker left the job
    Job* job_ = nullptr;
    uint64_t generation_ = 0;
    std::vector<std::thread> workers_;
    std::atomic<bool> busy_{false};
};

namespace {

size_t affinity_threads() {
#ifdef __linux__
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) {
        int n = CPU_COUNT(&set);
        if (n > 0) return size_t(n);
    }
#endif
    // Not Linux, or a machine with more CPUs than cpu_set_t describes.
    unsigned n = std::thread::hardware_concurrency();
    return n ? n : 1;
}

size_t configured_threads() {
    if (const char* text = std::getenv("BORVANE_NUM_THREADS"))
        if (auto n = parse_num_threads(text)) return *n;
    return std::min(affinity_threads(), kMaxThreads);
}

// The pool, created on first use.  After fork() the child has none of the
// parent's workers, so its handler forgets the pool (leaking the parent's
// object, whose mutex may even be held by a thread that no longer exists)
// and the child's next loop builds a new one.  `creating` is held across
// fork() so that the child never inherits a half-built pool.
std::atomic<Pool*> g_pool{nullptr};
std::mutex creating;

void before_fork() { creating.lock(); }
void after_fork_in_parent() { creating.unlock(); }
void after_fork_in_child() {
    g_pool.store(nullptr, std::memory_order_relaxed);
    creating.unlock();
}

Pool& pool() {
    if (Pool* p = g_pool.load(std::memory_order_acquire)) return *p;
    std::lock_guard hold(creating);
    Pool* p = g_pool.load(std::memory_order_relaxed);
    if (!p) {
        // Registered once per process; a forked child inherits it.
        static const bool registered = [] {
            pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child);
            return true;
        }();
        (void)registered;
        p = new Pool(configured_threads());
        g_pool.store(p, std::memory_order_release);
    }
    return *p;
}

}  // namespace

Lease::Lease(size_t n) {
    if (n < 2 || t_on_worker) return;
    Pool& p = pool();
    if (p.threads() > 1 && p.try_acquire()) pool_ = &p;
}

Lease::~Lease() {
    if (pool_) pool_->release();
}

size_t Lease::threads() const { return pool_ ? pool_->threads() : 1; }

void Lease::run(size_t nchunks, void* ctx, ChunkFn fn) { pool_->run(nchunks, ctx, fn); }

}  // namespace parallel_detail

size_t parallel_num_threads() {
    // A worker's loops run inline, but the pool's size is still the answer.
    return parallel_detail::pool().threads();
}

std::optional<size_t> parse_num_threads(std::string_view text) {
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
    while (!text.empty() && blank(text.front())) text.remove_prefix(1);
    while (!text.empty() && blank(text.back())) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    for (char c : text)
        if (c < '0' || c > '9') return std::nullopt;
    size_t n = 0;
    auto [end, err] = std::from_chars(text.data(), text.data() + text.size(), n);
    if (err == std::errc::result_out_of_range) return kMaxThreads;
    if (err != std::errc() || end != text.data() + text.size() || n == 0) return std::nullopt;
    return std::min(n, kMaxThreads);
}

}  // namespace borvane
