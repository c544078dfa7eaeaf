// An open-addressing index from 64-bit keys to 32-bit record numbers.  The
// keys are hash values already, so a key is its own hash (no mixing).  A slot
// holds the key's high 32 bits as a tag next to the record number, so a probe
// reads one cache line; the caller keeps the full key in its record and
// confirms a match with it.
#pragma once

#include <cstdint>
#include <vector>

namespace borvane {

class KeyTable {
public:
    static constexpr uint32_t kAbsent = 0xFFFFFFFFu;

    KeyTable() { rehash(16); }

    // The record whose key is `key`, or kAbsent.  `key_of(record)` gives a
    // record's full key.
    template <class KeyOf>
    uint32_t find(uint64_t key, KeyOf&& key_of) const {
        const uint32_t tag = uint32_t(key >> 32);
        for (size_t i = key & mask_;; i = (i + 1) & mask_) {
            const Slot s = slots_[i];
            if (s.record == kAbsent) return kAbsent;
            if (s.tag == tag && key_of(s.record) == key) return s.record;
        }
    }

    // Points `key` at `record`; returns the record it pointed at, or kAbsent.
    template <class KeyOf>
    uint32_t insert_or_assign(uint64_t key, uint32_t record, KeyOf&& key_of) {
        if ((size_ + 1) * 8 > (mask_ + 1) * 7) grow(key_of);  // load at most 7/8
        const uint32_t tag = uint32_t(key >> 32);
        for (size_t i = key & mask_;; i = (i + 1) & mask_) {
            Slot& s = slots_[i];
            if (s.record == kAbsent) {
                s = Slot{tag, record};
                ++size_;
                return kAbsent;
            }
            if (s.tag == tag && key_of(s.record) == key) {
                uint32_t old = s.record;
                s.record = record;
                return old;
            }
        }
    }

    // A hint that `key` will be looked up soon.
    void prefetch(uint64_t key) const { __builtin_prefetch(&slots_[key & mask_]); }

    size_t size() const { return size_; }
    size_t memory_bytes() const { return slots_.capacity() * sizeof(Slot); }

private:
    struct Slot {
        uint32_t tag;
        uint32_t record;
    };

    void rehash(size_t capacity) {
        slots_.assign(capacity, Slot{0, kAbsent});
        mask_ = capacity - 1;
        size_ = 0;
    }

    template <class KeyOf>
    void grow(KeyOf&& key_of) {
        std::vector<Slot> old = std::move(slots_);
        rehash(old.size() * 2);
        for (const Slot& s : old)
            if (s.record != kAbsent) insert_or_assign(key_of(s.record), s.record, key_of);
    }

    std::vector<Slot> slots_;
    size_t mask_ = 0;
    size_t size_ = 0;
};

}  // namespace borvane
