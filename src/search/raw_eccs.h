// RawECCs: the map the search fills.  It sends the fingerprint key of a
// circuit to a bucket holding the circuits found with that key, each with an
// input-side and an output-side permutation that bring it into the bucket's
// common frame.  A circuit joins an existing bucket only if its surface gates
// (relabelled into that frame) avoid the bucket's, so no two members start or
// end with the same gate.
//
// Storage is compact because a search stores millions of circuits: circuits
// are shared-tail lists in an arena (one 8-byte cell each), a member is a
// 12-byte triple, a bucket holds its representative inline and chains any
// further members through a shared pool.  The surface gate sets are not
// stored: they are by definition the union of the members' surfaces in
// admission order, so they are derived from the members when needed.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "circ/instr.h"
#include "groups/permutation.h"
#include "search/evaluator.h"
#include "utils/alias_list.h"
#include "utils/chunked_vector.h"
#include "utils/key_table.h"

namespace borvane {

using InstrArena = AliasArena<Instr32>;

struct CircTriple {
    Permut32 front_perm;
    AliasList circ;  // last instruction at the head
    Permut32 back_perm;
};
static_assert(sizeof(CircTriple) == 12);

// A bucket as a plain record: the representative's length, the two surface
// gate sets in insertion order, and the members (representative first).
struct CircuitECC {
    size_t size = 0;
    std::vector<Instr32> front_gates;
    std::vector<Instr32> back_gates;
    std::vector<CircTriple> circuits;
};

// The instructions met first on each qubit, scanning `instrs` in order (or
// from the end): an instruction is a surface gate when none of its qubits
// was touched before it.  Every instruction marks its qubits.
void circuit_get_surface_gates(std::span<const Instr32> instrs, bool from_end, std::vector<Instr32>& out);

class RawECCs {
public:
    // The root bucket only, under the key of the empty circuit.
    static RawECCs create(const Evaluator& ev);
    // The same, with lists kept in an existing arena (a derived map reads the
    // lists of the map it was made from).
    static RawECCs create(const Evaluator& ev, std::shared_ptr<InstrArena> arena);
    // An empty map (no root) whose lists live in `arena`.
    RawECCs(size_t nqubits, std::shared_ptr<InstrArena> arena);

    // Files a circuit; returns its new list only when it opened a bucket.
    std::optional<AliasList> add_entry(uint64_t key, Permut32 front_perm, Permut32 back_perm, AliasList tail,
                                       std::span<const Instr32> instrs);

    // Hints that `key` will be filed soon: its slot, and (once the slot is
    // cached) its bucket and the bucket's first list cell.
    void prefetch_slot(uint64_t key) const { table_.prefetch(key); }
    void prefetch_bucket(uint64_t key) const;

    size_t nqubits() const { return nqubits_; }
    size_t bucket_count() const { return table_.size(); }
    size_t stored_circuits() const { return stored_; }
    const InstrArena& arena() const { return *arena_; }
    const std::shared_ptr<InstrArena>& arena_ptr() const { return arena_; }

    // A bucket handle: its position in the map order.
    using BucketId = uint32_t;
    std::optional<BucketId> find(uint64_t key) const;
    uint64_t key_of(BucketId b) const { return buckets_[b].key; }
    size_t size_of(BucketId b) const { return buckets_[b].size; }
    // Live buckets in map order (the order in which their keys were first filled).
    template <class F>
    void for_each_bucket(F&& f) const {
        for (size_t b = 0; b < buckets_.size(); ++b)
            if (buckets_[b].size != kDead) f(BucketId(b));
    }
    // Members in stored order.
    template <class F>
    void for_each_triple(BucketId b, F&& f) const {
        const Bucket& bk = buckets_[b];
        f(bk.first);
        for (uint32_t t = bk.more_head; t != kNone; t = triples_[t].next) f(triples_[t].triple);
    }
    const CircTriple& representative(BucketId b) const { return buckets_[b].first; }
    CircuitECC bucket(BucketId b) const;

    // Builds a map by re-keying (used by the evaluator switch): a bucket with
    // the given representative size and no gate sets.  When the key was taken,
    // the previous bucket is dropped and returned (its size and record).
    struct Replaced {
        size_t size;
        CircuitECC record;
    };
    std::optional<Replaced> put_bucket(uint64_t key, size_t size, const std::vector<CircTriple>& triples);
    // Marks the map as made by re-keying: its buckets have empty gate sets.
    void drop_gate_sets() { has_gate_sets_ = false; }

    // The circuit of a list, in circuit order.
    std::vector<Instr32> circuit(AliasList l) const { return arena_->to_circuit_order(l); }
    // The canonical view of a member: its instructions relabelled into the
    // bucket's input frame, and the permutation back_perm * front_perm.
    std::pair<std::vector<Instr32>, Permut32> simplify(const CircTriple& t) const;

    std::string display(const CircTriple& t) const;
    std::string debug(const CircTriple& t) const;
    std::string display(const CircuitECC& c) const;
    std::string debug(const CircuitECC& c) const;

    // Bytes held by the map's own storage (buckets, members, gate sets, key
    // table and list cells).
    size_t memory_bytes() const;

private:
    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    static constexpr uint32_t kDead = 0xFFFFFFFFu;  // a bucket replaced under its key
    struct Bucket {
        uint64_t key;
        uint32_t size;  // kDead once replaced
        CircTriple first;
        uint32_t more_head, more_tail;
    };
    struct TripleNode {
        CircTriple triple;
        uint32_t next;
    };

    uint32_t new_bucket(uint64_t key, size_t size, const CircTriple& first);
    void append_triple(Bucket& b, const CircTriple& t);
    // The member's surfaces relabelled into the bucket's frame.
    void member_surfaces(const CircTriple& t, std::vector<Instr32>& circ_scratch, std::vector<Instr32>& front,
                         std::vector<Instr32>& back) const;
    auto key_of_fn() const {
        return [this](uint32_t b) { return buckets_[b].key; };
    }

    size_t nqubits_ = 0;
    // Maps built by re-keying have no gate sets: nothing is ever added to them.
    bool has_gate_sets_ = true;
    size_t stored_ = 0;
    std::shared_ptr<InstrArena> arena_;
    KeyTable table_;
    ChunkedVector<Bucket, 12> buckets_;
    ChunkedVector<TripleNode, 12> triples_;
    std::vector<Instr32> front_scratch_, back_scratch_, member_front_, member_back_, member_circ_;
};

}  // namespace borvane
