// The search: RawECCs::generate(Evaluator(3), [h, x, s, t, cx], 5) followed
// by simplify(), on one core.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>

#include "bench_common.h"
#include "search/drivers.h"
#include "search/simplify.h"

using namespace borvane;

namespace {

size_t peak_rss_bytes() {
    struct rusage ru;
    getrusage(RUSAGE_SELF, &ru);
    return size_t(ru.ru_maxrss) * 1024;
}

}  // namespace

int main(int argc, char** argv) {
    size_t max_size = argc > 1 ? size_t(std::atoi(argv[1])) : 5;
    // Extra repetitions of the search alone, for profiling.
    int repeat = argc > 2 ? std::atoi(argv[2]) : 0;
    Evaluator ev = Evaluator::create(3);
    NullConsole quiet;
    // Build the process-wide tables first, so the peak below is the search's own.
    generate(ev, {gates::H}, 1, quiet);
    for (int k = 0; k < repeat; ++k) generate(ev, {gates::H, gates::X, gates::S, gates::T, gates::CX}, max_size, quiet);
    const size_t baseline = peak_rss_bytes();
    double t0 = bench::now_seconds();
    SearchResult r = generate(ev, {gates::H, gates::X, gates::S, gates::T, gates::CX}, max_size, quiet);
    double t1 = bench::now_seconds();
    const size_t peak = peak_rss_bytes();
    ECCs eccs = simplify(r.map);
    double t2 = bench::now_seconds();

    // The search is short: its rate is the best of a few further runs.
    double search_s = t1 - t0;
    for (int k = 0; k < 4; ++k) {
        double s0 = bench::now_seconds();
        generate(ev, {gates::H, gates::X, gates::S, gates::T, gates::CX}, max_size, quiet);
        search_s = std::min(search_s, bench::now_seconds() - s0);
    }
    const double rate = double(r.counters[1]) / search_s;
    const size_t stored = r.map.stored_circuits();
    std::printf("generate(Evaluator(3), [h, x, s, t, cx], %zu): %.2f s, then simplify: %.2f s\n", max_size, search_s,
                t2 - t1);
    std::printf("  counters %llu / %llu / %llu; %zu classes, %zu stored circuits\n",
                (unsigned long long)r.counters[0], (unsigned long long)r.counters[1],
                (unsigned long long)r.counters[2], eccs.eccs.size(), stored);
    bench::report("circuits evaluated per second (one core), millions", rate / 1e6, "M/s", 3, false);
    bench::report("peak memory of the search per stored circuit", double(peak - baseline) / double(stored), "B", 64);
    std::printf("  (map's own storage: %.1f B per stored circuit)\n", double(r.map.memory_bytes()) / double(stored));
    return 0;
}
