// Identity canonical forms and sub-circuit splitting: rotate_representative
// of a 12-instruction, 3-qubit identity, and par_subcircuit_splits of a
// 16-instruction, 3-qubit identity on all cores.
#include <cstdio>
#include <random>
#include <vector>

#include "bench_common.h"
#include "identity/subcircuit.h"
#include "utils/parallel.h"

using namespace borvane;

namespace {

// a followed by its inverse: an identity of 2 * half instructions.
Circ mirrored(unsigned half, unsigned n, unsigned seed) {
    std::mt19937 rng(seed);
    const Gate16 one[] = {gates::H, gates::T, gates::S, gates::X};
    std::vector<Instr32> v;
    for (unsigned k = 0; k < half; ++k) {
        if (rng() % 3 == 0) {
            unsigned a = rng() % n, b = (a + 1 + rng() % (n - 1)) % n;
            v.push_back(Instr32::unchecked(gates::CX, uint8_t(a), uint8_t(b)));
        } else {
            v.push_back(Instr32::unchecked(one[rng() % 4], uint8_t(rng() % n)));
        }
    }
    Circ a = Circ::create(v, Permut32::identity(n));
    return a + a.inverse();
}

}  // namespace

int main() {
    const Circ c12 = mirrored(6, 3, 7);
    double per = bench::time_per_call([&] { IdentityCirc::rotate_representative(c12); });
    bench::report("rotate_representative, 12 instructions, 3 qubits", per * 1e6, "us", 5);

    const IdentityCirc id16 = IdentityCirc::rotate_representative(mirrored(8, 3, 11));
    size_t splits = 0;
    per = bench::time_per_call([&] { splits = par_subcircuit_splits(id16).size(); }, 0.5, 5);
    char what[96];
    std::snprintf(what, sizeof what, "par_subcircuit_splits, 16 instructions, %zu threads", parallel_num_threads());
    bench::report(what, per * 1e3, "ms", 20);
    std::printf("  (%zu subsets, %zu splits)\n", combinations(16).size(), splits);
    return 0;
}
