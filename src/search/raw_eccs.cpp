#include "search/raw_eccs.h"

#include "utils/errors.h"
#include "utils/fmt_join.h"

namespace borvane {

void circuit_get_surface_gates(std::span<const Instr32> instrs, bool from_end, std::vector<Instr32>& out) {
    out.clear();
    uint32_t touched = 0;
    const size_t n = instrs.size();
    for (size_t k = 0; k < n; ++k) {
        Instr32 i = instrs[from_end ? n - 1 - k : k];
        uint32_t m = 0;
        QArgs16 q = i.qargs();
        if (q.q0 != QArgs16::kEmpty) m |= 1u << (q.q0 & 31);
        if (q.q1 != QArgs16::kEmpty) m |= 1u << (q.q1 & 31);
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

uint32_t RawECCs::new_triple(const CircTriple& t) {
    if (triples_.size() >= kNone) throw InternalError("RawECCs: too many stored circuits");
    return uint32_t(triples_.push_back(TripleNode{t, kNone}));
}

void RawECCs::append_triple(Bucket& b, const CircTriple& t) {
    uint32_t idx = new_triple(t);
    if (b.triple_head == kNone)
        b.triple_head = idx;
    else
        triples_[b.triple_tail].next = idx;
    b.triple_tail = idx;
}

bool RawECCs::chain_contains(uint32_t head, Instr32 g) const {
    for (uint32_t k = head; k != kNone; k = gates_[k].next)
        if (gates_[k].gate == g) return true;
    return false;
}

void RawECCs::chain_insert(uint32_t& head, Instr32 g) {
    uint32_t* link = &head;
    while (*link != kNone) {
        if (gates_[*link].gate == g) return;
        link = &gates_[*link].next;
    }
    if (gates_.size() >= kNone) throw InternalError("RawECCs: too many surface gates");
    *link = uint32_t(gates_.push_back(GateNode{g, kNone}));
}

std::vector<Instr32> RawECCs::chain(uint32_t head) const {
    std::vector<Instr32> out;
    for (uint32_t k = head; k != kNone; k = gates_[k].next) out.push_back(gates_[k].gate);
    return out;
}

std::optional<AliasList> RawECCs::add_entry(uint64_t key, Permut32 front_perm, Permut32 back_perm, AliasList tail,
                                            std::span<const Instr32> instrs) {
    if (instrs.empty()) throw InternalError("add_entry: a circuit with no instructions cannot be filed");
    const Instr32 last = instrs.back();
    // The surfaces in the bucket's frame: the front at its input, the back
    // at its output after the trailing permutation.
    circuit_get_surface_gates(instrs, false, front_scratch_);
    circuit_get_surface_gates(instrs, true, back_scratch_);
    const Permut32 front_inv = front_perm.inv();
    for (Instr32& g : front_scratch_) g = g.apply_permutation(front_inv);
    for (Instr32& g : back_scratch_) g = g.apply_permutation(back_perm);

    const uint32_t found = table_.find(key);
    if (found == KeyTable::kAbsent) {
        if (buckets_.size() >= kNone) throw InternalError("RawECCs: too many buckets");
        AliasList cell = arena_->cons(tail, last);
        Bucket b{key, uint32_t(instrs.size()), kNone, kNone, kNone, kNone, true};
        for (Instr32 g : front_scratch_) chain_insert(b.front_head, g);
        for (Instr32 g : back_scratch_) chain_insert(b.back_head, g);
        append_triple(b, CircTriple{front_perm, cell, back_perm});
        table_.insert_or_assign(key, uint32_t(buckets_.push_back(b)));
        return cell;
    }
    Bucket& b = buckets_[found];
    for (Instr32 g : front_scratch_)
        if (chain_contains(b.front_head, g)) return std::nullopt;
    for (Instr32 g : back_scratch_)
        if (chain_contains(b.back_head, g)) return std::nullopt;
    for (Instr32 g : front_scratch_) chain_insert(b.front_head, g);
    for (Instr32 g : back_scratch_) chain_insert(b.back_head, g);
    append_triple(b, CircTriple{front_perm, arena_->cons(tail, last), back_perm});
    return std::nullopt;
}

std::optional<RawECCs::BucketId> RawECCs::find(uint64_t key) const {
    uint32_t b = table_.find(key);
    if (b == KeyTable::kAbsent) return std::nullopt;
    return b;
}

CircuitECC RawECCs::bucket(BucketId id) const {
    const Bucket& b = buckets_[id];
    CircuitECC out;
    out.size = b.size;
    out.front_gates = chain(b.front_head);
    out.back_gates = chain(b.back_head);
    for_each_triple(id, [&](const CircTriple& t) { out.circuits.push_back(t); });
    return out;
}

std::optional<RawECCs::Replaced> RawECCs::put_bucket(uint64_t key, size_t size, const std::vector<CircTriple>& triples) {
    if (buckets_.size() >= kNone) throw InternalError("RawECCs: too many buckets");
    Bucket b{key, uint32_t(size), kNone, kNone, kNone, kNone, true};
    for (const CircTriple& t : triples) append_triple(b, t);
    uint32_t old = table_.insert_or_assign(key, uint32_t(buckets_.push_back(b)));
    if (old == KeyTable::kAbsent) return std::nullopt;
    Replaced r{buckets_[old].size, bucket(old)};
    buckets_[old].live = false;
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
    return table_.memory_bytes() + buckets_.capacity_bytes() + triples_.capacity_bytes() + gates_.capacity_bytes() +
           arena_->size() * sizeof(InstrArena::Cell);
}

}  // namespace borvane
