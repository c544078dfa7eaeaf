// Randomness: every random state is drawn from a generator freshly seeded
// with operating-system entropy.  Identity checks seed a generator on every
// call, so seeding must be cheap: entropy is read from the OS in batches per
// thread and each seed takes fresh bytes that are never handed out twice
// (a child process after fork() discards what it inherited).
#pragma once

#include <cstddef>
#include <cstdint>

namespace borvane {

// Fills `buf` with entropy from the operating system.
void os_entropy(void* buf, size_t n);

// xoshiro256**: small, fast and of high statistical quality.
class Rng {
public:
    using result_type = uint64_t;
    static constexpr result_type min() { return 0; }
    static constexpr result_type max() { return ~uint64_t(0); }

    // A generator seeded from the operating system.
    static Rng from_os();
    // A fixed seed, for reproducible benchmarks and tests of the draw order.
    explicit Rng(uint64_t seed);

    result_type operator()() {
        const uint64_t result = rotl(s_[1] * 5, 7) * 9;
        const uint64_t t = s_[1] << 17;
        s_[2] ^= s_[0];
        s_[3] ^= s_[1];
        s_[1] ^= s_[2];
        s_[0] ^= s_[3];
        s_[2] ^= t;
        s_[3] = rotl(s_[3], 45);
        return result;
    }

private:
    Rng() = default;
    static uint64_t rotl(uint64_t x, int k) { return (x << k) | (x >> (64 - k)); }
    uint64_t s_[4];
};

// A uniform double in [0, 1): the top 53 bits of one 64-bit draw.
inline double uniform01(Rng& rng) { return double(rng() >> 11) * 0x1.0p-53; }

}  // namespace borvane
