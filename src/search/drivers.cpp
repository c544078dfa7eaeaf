#include "search/drivers.h"

#include <algorithm>
#include <deque>
#include <string>

#include "state/kernels.h"
#include "utils/errors.h"

namespace borvane {

namespace {

void progress_line(Console& console, const SearchCounters& c, const std::vector<Instr32>& working, size_t queued,
                   size_t buckets) {
    console.out_line("#" + std::to_string(c[0]) + " Exploring " + display_instrs(working, " ") + " (" +
                     std::to_string(queued) + " queued, " + std::to_string(buckets) + " ECCs, " + std::to_string(c[1]) +
                     " circs, " + std::to_string(c[2]) + " circs perm)");
}

// The breadth-first loop shared by both searches.  `prepare` is told each
// dequeued circuit before it is extended; `offer` files one working circuit
// (whose last instruction, instruction k of the list, was just appended) and
// returns the new list when it opened a bucket.
template <class Prepare, class Offer>
SearchResult run_search(const Evaluator& ev, std::span<const Instr32> instrs, size_t max_size, Console& console,
                        Prepare&& prepare, Offer&& offer) {
    SearchResult r{RawECCs::create(ev), {0, 0, 0}};
    std::deque<AliasList> queue{AliasList{}};
    std::vector<Instr32> working;
    SearchCounters& c = r.counters;
    while (!queue.empty()) {
        AliasList l = queue.front();
        queue.pop_front();
        r.map.arena().to_circuit_order(l, working);
        if (c[0] % 400 == 0) progress_line(console, c, working, queue.size(), r.map.bucket_count());
        prepare(r.map, working);
        for (size_t k = 0; k < instrs.size(); ++k) {
            working.push_back(instrs[k]);
            std::optional<AliasList> opened = offer(r.map, l, working, k, c);
            if (opened && working.size() < max_size) queue.push_back(*opened);
            working.pop_back();
            ++c[1];
        }
        ++c[0];
    }
    return r;
}

}  // namespace

SearchResult search(const Evaluator& ev, std::span<const Instr32> instrs, size_t max_size, Console& console) {
    // Every working circuit is the dequeued prefix plus one instruction: the
    // prefix is decoded and run forward once, and all its extensions are
    // evaluated before any is filed, so that the map's memory for each key
    // can be fetched while the next circuits are evaluated.  They are filed
    // in the same order as one by one.
    EvalPrefix prefix;
    std::vector<uint64_t> keys(instrs.size());
    std::vector<std::vector<PermPair>> pairs(instrs.size());
    return run_search(ev, instrs, max_size, console,
                      [&](const RawECCs& map, const std::vector<Instr32>& p) {
                          ev.prepare(p, prefix);
                          for (size_t k = 0; k < instrs.size(); ++k) {
                              keys[k] = ev.key_extended(prefix, instrs[k], pairs[k]);
                              map.prefetch_slot(keys[k]);
                          }
                      },
                      [&](RawECCs& map, AliasList tail, const std::vector<Instr32>& working, size_t k,
                          SearchCounters& c) {
                          if (k + 1 < keys.size()) map.prefetch_bucket(keys[k + 1]);
                          const uint64_t key = keys[k];
                          std::optional<AliasList> opened;
                          // Every pair is offered; the first opens the bucket, later
                          // ones join it only when their surfaces avoid its gates.
                          for (PermPair p : pairs[k]) {
                              auto l = map.add_entry(key, p.front_perm, p.back_perm, tail, working);
                              if (l && !opened) opened = l;
                              ++c[2];
                          }
                          return opened;
                      });
}

SearchResult search_naive(const Evaluator& ev, std::span<const Instr32> instrs, size_t max_size, Console& console) {
    const Permut32 id = Permut32::identity(ev.nqubits());
    StateVec state;
    return run_search(ev, instrs, max_size, console, [](const RawECCs&, const std::vector<Instr32>&) {},
                      [&](RawECCs& map, AliasList tail, const std::vector<Instr32>& working, size_t,
                          SearchCounters& c) {
                          state.assign(ev.initial_state());
                          for (Instr32 i : working) state.apply(i);
                          state.normalize_arg();
                          ++c[2];
                          return map.add_entry(state.hash_value(), id, id, tail, working);
                      });
}

std::vector<Instr32> generate_instructions(std::vector<Gate16> gates, unsigned n) {
    // 1. Missing adjoints, appended unless an equal gate is already listed.
    const size_t given = gates.size();
    for (size_t k = 0; k < given; ++k) {
        Gate16 adj = gates[k].adjoint();
        if (std::find(gates.begin(), gates.end(), adj) == gates.end()) gates.push_back(adj);
    }
    // 2. By (qubit count, handle).
    std::stable_sort(gates.begin(), gates.end(), [](Gate16 a, Gate16 b) {
        unsigned na = a.nqargs(), nb = b.nqargs();
        return na != nb ? na < nb : a.raw() < b.raw();
    });
    // 3. Every placement.
    std::vector<Instr32> out;
    for (Gate16 g : gates) {
        unsigned k = g.nqargs();
        if (k == 1) {
            for (unsigned i = 0; i < n; ++i) out.push_back(Instr32::unchecked(g, uint8_t(i)));
        } else if (k == 2) {
            for (unsigned i = 0; i < n; ++i)
                for (unsigned j = 0; j < n; ++j)
                    if (j != i) out.push_back(Instr32::unchecked(g, uint8_t(i), uint8_t(j)));
        } else {
            throw InternalError("Only 1 and 2 qubit instructions are supported");
        }
    }
    // 4. By largest qubit, so that circuits on fewer qubits come first.
    std::stable_sort(out.begin(), out.end(),
                     [](Instr32 a, Instr32 b) { return a.largest_qubit() < b.largest_qubit(); });
    return out;
}

SearchResult generate(const Evaluator& ev, std::vector<Gate16> gates, size_t max_size, Console& console) {
    std::vector<Instr32> instrs = generate_instructions(std::move(gates), ev.nqubits());
    return search(ev, instrs, max_size, console);
}

SearchResult generate_naive(const Evaluator& ev, std::vector<Gate16> gates, size_t max_size, Console& console) {
    std::vector<Instr32> instrs = generate_instructions(std::move(gates), ev.nqubits());
    return search_naive(ev, instrs, max_size, console);
}

std::optional<uint64_t> compute_next_key(const RawECCs& map, const Evaluator& ev, uint64_t current_key, Instr32 instr) {
    auto b = map.find(current_key);
    if (!b) return std::nullopt;
    std::vector<Instr32> c = map.circuit(map.representative(*b).circ);
    c.push_back(instr);
    PermPair first;
    uint64_t key = ev.key(c, first);
    if (!map.find(key)) return std::nullopt;
    return key;
}

std::optional<ECC> find_equivalents(const RawECCs& map, const Evaluator& ev, std::span<const Instr32> instrs) {
    PermPair fb;
    uint64_t key = ev.key(instrs, fb);
    auto b = map.find(key);
    if (!b) return std::nullopt;
    // Each member expressed in the frame of the queried circuit.
    const Permut32 f_inv = fb.front_perm.inv(), b_inv = fb.back_perm.inv();
    ECC out;
    map.for_each_triple(*b, [&](const CircTriple& t) {
        out.entries.push_back(map.simplify(CircTriple{t.front_perm * f_inv, t.circ, b_inv * t.back_perm}));
    });
    return out;
}

}  // namespace borvane
