// Small helpers shared by the benchmarks.
#pragma once

#include <chrono>
#include <cstdio>

namespace bench {

inline double now_seconds() {
    using clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

// Seconds per call of `body`: the best of several timed rounds, each long
// enough to dwarf the clock's resolution.  The best round is the one least
// disturbed by other work on the machine.
template <class F>
double time_per_call(F&& body, double round_seconds = 0.1, int rounds = 9) {
    long calls = 1;
    for (;;) {  // size a round
        double start = now_seconds();
        for (long i = 0; i < calls; ++i) body();
        if (now_seconds() - start >= round_seconds / 4) break;
        calls *= 2;
    }
    calls *= 4;
    double best = 1e300;
    for (int r = 0; r < rounds; ++r) {
        double start = now_seconds();
        for (long i = 0; i < calls; ++i) body();
        double per = (now_seconds() - start) / double(calls);
        if (per < best) best = per;
    }
    return best;
}

inline void report(const char* what, double measured, const char* unit, double goal, bool lower_is_better = true) {
    bool met = lower_is_better ? measured <= goal : measured >= goal;
    std::printf("%-58s %10.1f %-6s goal %s %8.1f %s  [%s]\n", what, measured, unit, lower_is_better ? "<=" : ">=",
                goal, unit, met ? "met" : "NOT met");
}

}  // namespace bench
