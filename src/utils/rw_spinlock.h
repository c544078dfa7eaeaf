// A readers-writer spin lock.  Holds are short (a table scan, one append), so
// waiting spins with a pause hint instead of sleeping.  Never hold it across a
// call into Python or across another acquisition of the same lock.
#pragma once

#include <atomic>
#include <cstdint>

#include "utils/errors.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace borvane {

inline void cpu_relax() noexcept {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#elif defined(__aarch64__)
    asm volatile("yield");
#endif
}

class RwSpinLock {
public:
    void lock_shared() {
        for (;;) {
            int32_t s = state_.load(std::memory_order_relaxed);
            if (s >= 0) {
                if (s == kMaxReaders) throw InternalError("RwSpinLock: reader count overflow");
                if (state_.compare_exchange_weak(s, s + 1, std::memory_order_acquire,
                                                 std::memory_order_relaxed))
                    return;
            } else {
                cpu_relax();
            }
        }
    }
    void unlock_shared() noexcept { state_.fetch_sub(1, std::memory_order_release); }

    void lock() noexcept {
        for (;;) {
            int32_t expected = 0;
            if (state_.compare_exchange_weak(expected, kWriter, std::memory_order_acquire,
                                             std::memory_order_relaxed))
                return;
            cpu_relax();
        }
    }
    void unlock() noexcept { state_.store(0, std::memory_order_release); }

private:
    static constexpr int32_t kWriter = -1;
    static constexpr int32_t kMaxReaders = INT32_MAX;
    std::atomic<int32_t> state_{0};
};

class SharedHold {
public:
    explicit SharedHold(RwSpinLock& l) : l_(l) { l_.lock_shared(); }
    ~SharedHold() { l_.unlock_shared(); }
    SharedHold(const SharedHold&) = delete;
    SharedHold& operator=(const SharedHold&) = delete;

private:
    RwSpinLock& l_;
};

class ExclusiveHold {
public:
    explicit ExclusiveHold(RwSpinLock& l) : l_(l) { l_.lock(); }
    ~ExclusiveHold() { l_.unlock(); }
    ExclusiveHold(const ExclusiveHold&) = delete;
    ExclusiveHold& operator=(const ExclusiveHold&) = delete;

private:
    RwSpinLock& l_;
};

}  // namespace borvane
