#include "utils/random.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pthread.h>
#include <sys/random.h>
#include <unistd.h>

#include "utils/errors.h"

namespace borvane {

namespace {

// Bumped in a child process after fork(), so that every thread's batch of
// entropy inherited from the parent is discarded rather than reused.
std::atomic<uint64_t> fork_generation{0};

void on_fork_child() { fork_generation.fetch_add(1, std::memory_order_relaxed); }

void read_os(unsigned char* p, size_t n) {
    while (n > 0) {
        ssize_t got = getrandom(p, n, 0);
        if (got < 0) {
            if (errno == EINTR) continue;
            if (errno == ENOSYS) break;
            throw InternalError(std::string("Cannot read entropy from the operating system: ") + std::strerror(errno));
        }
        p += got;
        n -= size_t(got);
    }
    if (n == 0) return;
    // Kernels without getrandom: the device file.
    int fd = open("/dev/urandom", O_RDONLY | O_CLOEXEC);
    if (fd < 0) throw InternalError(std::string("Cannot open /dev/urandom: ") + std::strerror(errno));
    while (n > 0) {
        ssize_t got = read(fd, p, n);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) continue;
            close(fd);
            throw InternalError("Cannot read entropy from /dev/urandom");
        }
        p += got;
        n -= size_t(got);
    }
    close(fd);
}

struct EntropyBatch {
    static constexpr size_t kSize = 4096;
    unsigned char bytes[kSize];
    size_t pos = kSize;  // empty
    uint64_t generation = 0;
};

}  // namespace

void os_entropy(void* buf, size_t n) {
    static const bool registered = [] {
        pthread_atfork(nullptr, nullptr, &on_fork_child);
        return true;
    }();
    (void)registered;
    thread_local EntropyBatch batch;
    const uint64_t gen = fork_generation.load(std::memory_order_relaxed);
    if (batch.generation != gen) {
        batch.pos = EntropyBatch::kSize;
        batch.generation = gen;
    }
    auto* out = static_cast<unsigned char*>(buf);
    while (n > 0) {
        if (batch.pos == EntropyBatch::kSize) {
            read_os(batch.bytes, EntropyBatch::kSize);
            batch.pos = 0;
        }
        size_t take = std::min(n, EntropyBatch::kSize - batch.pos);
        std::memcpy(out, batch.bytes + batch.pos, take);
        // Bytes handed out are wiped, so a copy of the batch holds no used seed.
        std::memset(batch.bytes + batch.pos, 0, take);
        batch.pos += take;
        out += take;
        n -= take;
    }
}

Rng Rng::from_os() {
    Rng r;
    do {
        os_entropy(r.s_, sizeof r.s_);
    } while ((r.s_[0] | r.s_[1] | r.s_[2] | r.s_[3]) == 0);
    return r;
}

Rng::Rng(uint64_t seed) {
    // splitmix64 spreads one word over the state.
    for (uint64_t& w : s_) {
        seed += 0x9e3779b97f4a7c15ULL;
        uint64_t z = seed;
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        w = z ^ (z >> 31);
    }
}

}  // namespace borvane
