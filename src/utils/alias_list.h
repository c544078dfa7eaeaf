// AliasList: immutable singly linked lists with shared tails, for storing
// millions of circuits that extend one another.  A circuit is held last
// instruction first, so extending it by one instruction costs one cell whose
// tail is the old circuit.
//
// Cells live in an AliasArena and a list is a 32-bit cell reference, so a
// cell of an Instr32 is 8 bytes and copying a list copies 4 bytes.  The arena
// owns every cell it made and frees them all exactly once, when it is
// destroyed; owners share it through std::shared_ptr, so no list can outlive
// the cells it reads.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "utils/errors.h"

namespace borvane {

// A list value: 0 is the empty list, otherwise 1 + the index of its head cell.
struct AliasList {
    uint32_t ref = 0;
    constexpr bool empty() const { return ref == 0; }
    friend constexpr bool operator==(AliasList, AliasList) = default;
};

template <class T>
class AliasArena {
public:
    struct Cell {
        T head;
        AliasList tail;
    };

    AliasArena() = default;
    AliasArena(const AliasArena&) = delete;
    AliasArena& operator=(const AliasArena&) = delete;

    // A new list with `head` in front of `tail` (one cell; the tail is shared).
    AliasList cons(AliasList tail, T head) {
        if (count_ == kMaxCells) throw InternalError("AliasArena: too many list cells");
        uint32_t idx = count_;
        if ((idx & kChunkMask) == 0) chunks_.emplace_back(new Cell[kChunkSize]);
        chunks_[idx >> kChunkBits][idx & kChunkMask] = Cell{head, tail};
        ++count_;
        return AliasList{idx + 1};
    }

    const Cell& cell(AliasList l) const {
        uint32_t idx = l.ref - 1;
        return chunks_[idx >> kChunkBits][idx & kChunkMask];
    }

    // Visits the list from its head (the last instruction added) to its end.
    template <class F>
    void walk(AliasList l, F&& f) const {
        while (!l.empty()) {
            const Cell& c = cell(l);
            f(c.head);
            l = c.tail;
        }
    }

    // The list's elements from the end back to the head: circuit order.
    void to_circuit_order(AliasList l, std::vector<T>& out) const {
        out.clear();
        walk(l, [&](const T& v) { out.push_back(v); });
        for (size_t i = 0, j = out.size(); i + 1 < j; ++i, --j) std::swap(out[i], out[j - 1]);
    }
    std::vector<T> to_circuit_order(AliasList l) const {
        std::vector<T> out;
        to_circuit_order(l, out);
        return out;
    }

    size_t length(AliasList l) const {
        size_t n = 0;
        walk(l, [&](const T&) { ++n; });
        return n;
    }

    // Number of cells made so far.
    size_t size() const { return count_; }

private:
    static constexpr uint32_t kChunkBits = 16;
    static constexpr uint32_t kChunkSize = 1u << kChunkBits;
    static constexpr uint32_t kChunkMask = kChunkSize - 1;
    static constexpr uint32_t kMaxCells = 0xFFFFFFFEu;

    std::vector<std::unique_ptr<Cell[]>> chunks_;
    uint32_t count_ = 0;
};

}  // namespace borvane
