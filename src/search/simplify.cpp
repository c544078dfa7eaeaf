#include "search/simplify.h"

#include <algorithm>

#include "utils/errors.h"

namespace borvane {

ECC simplify_bucket(const RawECCs& map, RawECCs::BucketId b) {
    ECC ecc;
    map.for_each_triple(b, [&](const CircTriple& t) { ecc.entries.push_back(map.simplify(t)); });
    std::stable_sort(ecc.entries.begin(), ecc.entries.end(),
                     [](const EccEntry& x, const EccEntry& y) { return entry_order(x, y) < 0; });
    // The qubits the first circuit uses, ascending, come first.
    const auto& [i0, p0] = ecc.entries.front();
    uint32_t used = 0;
    for (Instr32 i : i0)
        for (uint8_t q : i.qubits()) used |= 1u << q;
    std::vector<uint8_t> qubits;
    for (unsigned q = 0; q < 32; ++q)
        if (used & (1u << q)) qubits.push_back(uint8_t(q));
    const Permut32 m = Permut32::from_iter_with_ext(p0.len(), qubits);
    const Permut32 uniform = m.inv(), uniform_inv = m;
    for (auto& [instrs, perm] : ecc.entries) {
        for (Instr32& i : instrs) i = i.apply_permutation(uniform);
        perm = uniform * perm * uniform_inv;
    }
    return ecc;
}

ECCs simplify(const RawECCs& map) {
    ECCs out;
    out.nqubits = map.nqubits();
    map.for_each_bucket([&](RawECCs::BucketId b) { out.eccs.push_back(simplify_bucket(map, b)); });
    std::stable_sort(out.eccs.begin(), out.eccs.end(), [](const ECC& x, const ECC& y) { return class_order(x, y) < 0; });
    return out;
}

RawECCs switch_evaluator(const RawECCs& map, const Evaluator& ev) {
    // The new map reads the source's lists: it shares the arena, so the
    // cells stay alive as long as either map does and are freed once.
    RawECCs shared = RawECCs::create(ev, map.arena_ptr());
    shared.drop_gate_sets();
    std::vector<CircTriple> triples;
    map.for_each_bucket([&](RawECCs::BucketId b) {
        PermPair pair;
        std::vector<Instr32> rep = map.circuit(map.representative(b).circ);
        const uint64_t key = ev.key(rep, pair);
        triples.clear();
        map.for_each_triple(b, [&](const CircTriple& t) {
            if (ev.key(map.circuit(t.circ), pair) != key)
                throw InternalError("Inconsistent ECC detected during evaluator switch");
            triples.push_back(CircTriple{pair.front_perm, t.circ, pair.back_perm});
        });
        auto replaced = shared.put_bucket(key, map.size_of(b), triples);
        if (replaced && replaced->size != 0)
            throw InternalError("Hash collision detected during evaluator switch: " + shared.debug(replaced->record) +
                                " vs " + map.debug(map.bucket(b)));
    });
    return shared;
}

}  // namespace borvane
