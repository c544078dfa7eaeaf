#include "search/raw_eccs.h"

#include <algorithm>

#include "utils/errors.h"
#include "utils/fmt_join.h"

namespace borvane {

void circuit_get_surface_gates(std::span<const Instr32> instrs, bool from_end, std::vector<Instr32>& out) {
    out.clear();
    uint32_t touched = 0;
    const size_t n = instrs.size();
    for (size_t k = 0; k < n; ++k) {
        Instr32 i = instrs[from_end ? n - 1 - k : k];
        const uint32_t m = i.qubit_mask32();
        if ((m & touched) == 0) out.push_back(i);
        touched |= m;
    }
}

RawECCs::RawECCs(size_t nqubits, std::shared_ptr<InstrArena> arena) : nqubits_(nqubits), arena_(std::move(arena)) {}

RawECCs RawECCs::create(const Evaluator& ev) { return create(ev, std::make_shared<InstrArena>()); }

RawECCs RawECCs::create(const Evaluator& ev, std::shared_ptr<InstrArena> arena) {
    RawECCs map(ev.nqubits(), std::move(arena));
    Permut32 id = Permut32::identity(ev.nqubits());
    map.put_bucket(ev.initial_key(), 0, {CircTriple{id, AliasList{}, id}});
    return map;
}

uint32_t RawECCs::new_bucket(uint64_t key, size_t size, const CircTriple& first) {
    if (buckets_.size() >= kNone - 1) throw InternalError("RawECCs: too many buckets");
    ++stored_;
    return uint32_t(buckets_.push_back(Bucket{key, uint32_t(size), first, kNone, kNone}));
}

void RawECCs::append_triple(Bucket& b, const CircTriple& t) {
    if (triples_.size() >= kNone) throw InternalError("RawECCs: too many stored circuits");
    uint32_t idx = uint32_t(triples_.push_back(TripleNode{t, kNone}));
    if (b.more_head == kNone)
        b.more_head = idx;
    else
        triples_[b.more_tail].next = idx;
    b.more_tail = idx;
    ++stored_;
}

void RawECCs::member_surfaces(const CircTriple& t, std::vector<Instr32>& c, std::vector<Instr32>& front,
                              std::vector<Instr32>& back) const {
    // Walking the list visits the circuit from its last instruction: that is
    // the back surface's scan order, so it is found during the walk; the
    // front surface scans the walked instructions in reverse.
    c.clear();
    back.clear();
    uint32_t touched = 0;
    const Permut32 bp = t.back_perm;
    arena_->walk(t.circ, [&](Instr32 i) {
        c.push_back(i);
        const uint32_t m = i.qubit_mask32();
        if ((m & touched) == 0) back.push_back(i.apply_permutation(bp));
        touched |= m;
    });
    front.clear();
    touched = 0;
    const Permut32 inv = t.front_perm.inv();
    for (size_t k = c.size(); k-- > 0;) {
        const Instr32 i = c[k];
        const uint32_t m = i.qubit_mask32();
        if ((m & touched) == 0) front.push_back(i.apply_permutation(inv));
        touched |= m;
    }
}

std::optional<AliasList> RawECCs::add_entry(uint64_t key, Permut32 front_perm, Permut32 back_perm, AliasList tail,
                                            std::span<const Instr32> instrs) {
    if (instrs.empty()) throw InternalError("add_entry: a circuit with no instructions cannot be filed");
    const Instr32 last = instrs.back();
    const uint32_t found = table_.find(key, key_of_fn());
    if (found == KeyTable::kAbsent) {
        AliasList cell = arena_->cons(tail, last);
        table_.insert_or_assign(key, new_bucket(key, instrs.size(), CircTriple{front_perm, cell, back_perm}),
                                key_of_fn());
        return cell;
    }
    // The surfaces in the bucket's frame: the front at its input, the back
    // at its output after the trailing permutation.  The circuit is admitted
    // only when they avoid every member's.
    circuit_get_surface_gates(instrs, false, front_scratch_);
    circuit_get_surface_gates(instrs, true, back_scratch_);
    const Permut32 front_inv = front_perm.inv();
    for (Instr32& g : front_scratch_) g = g.apply_permutation(front_inv);
    for (Instr32& g : back_scratch_) g = g.apply_permutation(back_perm);
    auto contains = [](const std::vector<Instr32>& v, Instr32 g) { return std::find(v.begin(), v.end(), g) != v.end(); };
    bool collides = false;
    for_each_triple(found, [&](const CircTriple& t) {
        if (collides) return;
        member_surfaces(t, member_circ_, member_front_, member_back_);
        for (Instr32 g : front_scratch_) collides = collides || contains(member_front_, g);
        for (Instr32 g : back_scratch_) collides = collides || contains(member_back_, g);
    });
    if (collides) return std::nullopt;
    append_triple(buckets_[found], CircTriple{front_perm, arena_->cons(tail, last), back_perm});
    return std::nullopt;
}

void RawECCs::prefetch_bucket(uint64_t key) const {
    uint32_t b = table_.find(key, [this](uint32_t r) {
        __builtin_prefetch(&buckets_[r]);
        return buckets_[r].key;
    });
    if (b != KeyTable::kAbsent && !buckets_[b].first.circ.empty()) __builtin_prefetch(&arena_->cell(buckets_[b].first.circ));
}

std::optional<RawECCs::BucketId> RawECCs::find(uint64_t key) const {
    uint32_t b = table_.find(key, key_of_fn());
    if (b == KeyTable::kAbsent) return std::nullopt;
    return b;
}

CircuitECC RawECCs::bucket(BucketId id) const {
    CircuitECC out;
    out.size = buckets_[id].size;
    for_each_triple(id, [&](const CircTriple& t) { out.circuits.push_back(t); });
    if (!has_gate_sets_) return out;
    // The union of the members' surfaces, in admission order.
    std::vector<Instr32> c, f, b;
    auto add = [](std::vector<Instr32>& set, const std::vector<Instr32>& gates) {
        for (Instr32 g : gates)
            if (std::find(set.begin(), set.end(), g) == set.end()) set.push_back(g);
    };
    for (const CircTriple& t : out.circuits) {
        if (t.circ.empty()) continue;  // the root's empty circuit has no surface
        member_surfaces(t, c, f, b);
        add(out.front_gates, f);
        add(out.back_gates, b);
    }
    return out;
}

std::optional<RawECCs::Replaced> RawECCs::put_bucket(uint64_t key, size_t size, const std::vector<CircTriple>& triples) {
    check(!triples.empty(), "put_bucket: a bucket needs at least one circuit");
    uint32_t id = new_bucket(key, size, triples.front());
    for (size_t k = 1; k < triples.size(); ++k) append_triple(buckets_[id], triples[k]);
    uint32_t old = table_.insert_or_assign(key, id, key_of_fn());
    if (old == KeyTable::kAbsent) return std::nullopt;
    Replaced r{buckets_[old].size, bucket(old)};
    size_t members = r.record.circuits.size();
    stored_ -= members;
    buckets_[old].size = kDead;
    return r;
}

std::pair<std::vector<Instr32>, Permut32> RawECCs::simplify(const CircTriple& t) const {
    std::vector<Instr32> instrs = arena_->to_circuit_order(t.circ);
    const Permut32 inv = t.front_perm.inv();
    for (Instr32& i : instrs) i = i.apply_permutation(inv);
    return {std::move(instrs), t.back_perm * t.front_perm};
}

std::string RawECCs::display(const CircTriple& t) const {
    auto [instrs, perm] = simplify(t);
    return display_instrs(instrs, " ") + " " + perm.display();
}

std::string RawECCs::debug(const CircTriple& t) const {
    return t.front_perm.display() + " " + display_instrs(circuit(t.circ), " ") + " " + t.back_perm.display();
}

std::string RawECCs::display(const CircuitECC& c) const {
    return "CircuitECC {" + fmt_join(c.circuits, ", ", [&](std::string& o, const CircTriple& t) { o += display(t); }) +
           "}";
}

std::string RawECCs::debug(const CircuitECC& c) const {
    auto triples = fmt_join(c.circuits, ", ", [&](std::string& o, const CircTriple& t) { o += debug(t); });
    return "CircuitECC { size: " + std::to_string(c.size) + ", front_gates: [" + display_instrs(c.front_gates, ", ") +
           "], back_gates: [" + display_instrs(c.back_gates, ", ") + "], circuits: [" + triples + "] }";
}

size_t RawECCs::memory_bytes() const {
    return table_.memory_bytes() + buckets_.capacity_bytes() + triples_.capacity_bytes() +
           arena_->size() * sizeof(InstrArena::Cell);
}

}  // namespace borvane
