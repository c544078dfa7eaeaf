// Evaluator throughput: evaluate_multiple on 5-instruction circuits mixing
// h, t and cx whose forward state separates all qubits (one candidate).
#include <cstdio>
#include <random>
#include <vector>

#include "bench_common.h"
#include "search/evaluator.h"
#include "state/order_info.h"

using namespace borvane;

namespace {

std::vector<std::vector<Instr32>> one_candidate_circuits(const Evaluator& ev, unsigned n, size_t count) {
    std::mt19937 rng(12345);
    std::vector<std::vector<Instr32>> out;
    EvalResult r;
    while (out.size() < count) {
        std::vector<Instr32> c;
        for (int k = 0; k < 5; ++k) {
            unsigned kind = rng() % 3, a = rng() % n, b = (a + 1 + rng() % (n - 1)) % n;
            if (kind == 0) c.push_back(Instr32::unchecked(gates::H, uint8_t(a)));
            if (kind == 1) c.push_back(Instr32::unchecked(gates::T, uint8_t(a)));
            if (kind == 2) c.push_back(Instr32::unchecked(gates::CX, uint8_t(a), uint8_t(b)));
        }
        ev.evaluate_multiple(c, r);
        if (r.forward.get_orderinfo().as_bits().first == 0) out.push_back(std::move(c));
    }
    return out;
}

void run(unsigned n, double goal_ns) {
    Evaluator ev = Evaluator::create(n);
    auto circuits = one_candidate_circuits(ev, n, 1024);
    EvalResult r;
    size_t next = 0;
    uint64_t sink = 0;
    double per_call = bench::time_per_call([&] {
        ev.evaluate_multiple(circuits[next++ & 1023], r);
        sink += r.pairs.size();
    });
    char what[96];
    std::snprintf(what, sizeof what, "evaluate_multiple, %u qubits, 5 instructions", n);
    bench::report(what, per_call * 1e9, "ns", goal_ns);

    const StateVec& probe = r.back;
    per_call = bench::time_per_call([&] { sink += probe.hash_value(); });
    std::snprintf(what, sizeof what, "  (hash of the back state alone), %u qubits", n);
    std::printf("%-58s %10.1f ns\n", what, per_call * 1e9);

    std::vector<PermPair> pairs;
    per_call = bench::time_per_call([&] { sink += ev.key(circuits[next++ & 1023], pairs); });
    std::snprintf(what, sizeof what, "  (key + pairs, as the search uses it), %u qubits", n);
    std::printf("%-58s %10.1f ns\n", what, per_call * 1e9);
    if (sink == 42) std::printf(" ");
}

}  // namespace

int main() {
    run(3, 150);
    run(5, 400);
    return 0;
}
