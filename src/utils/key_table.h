// An open-addressing map from 64-bit keys to 32-bit values.  The keys are
// hash values already, so a key is its own hash (no mixing).
#pragma once

#include <cstdint>
#include <vector>

namespace borvane {

class KeyTable {
public:
    static constexpr uint32_t kAbsent = 0xFFFFFFFFu;

    KeyTable() { rehash(16); }

    uint32_t find(uint64_t key) const {
        for (size_t i = key & mask_;; i = (i + 1) & mask_) {
            if (values_[i] == kAbsent) return kAbsent;
            if (keys_[i] == key) return values_[i];
        }
    }

    // Sets key -> value; returns the previous value or kAbsent.
    uint32_t insert_or_assign(uint64_t key, uint32_t value) {
        if ((size_ + 1) * 5 > (mask_ + 1) * 4) rehash((mask_ + 1) * 2);  // load at most 0.8
        for (size_t i = key & mask_;; i = (i + 1) & mask_) {
            if (values_[i] == kAbsent) {
                keys_[i] = key;
                values_[i] = value;
                ++size_;
                return kAbsent;
            }
            if (keys_[i] == key) {
                uint32_t old = values_[i];
                values_[i] = value;
                return old;
            }
        }
    }

    size_t size() const { return size_; }
    size_t memory_bytes() const { return keys_.capacity() * sizeof(uint64_t) + values_.capacity() * sizeof(uint32_t); }

private:
    void rehash(size_t capacity) {
        std::vector<uint64_t> old_keys = std::move(keys_);
        std::vector<uint32_t> old_values = std::move(values_);
        keys_.assign(capacity, 0);
        values_.assign(capacity, kAbsent);
        mask_ = capacity - 1;
        size_ = 0;
        for (size_t i = 0; i < old_values.size(); ++i)
            if (old_values[i] != kAbsent) insert_or_assign(old_keys[i], old_values[i]);
    }

    std::vector<uint64_t> keys_;
    std::vector<uint32_t> values_;
    size_t mask_ = 0;
    size_t size_ = 0;
};

}  // namespace borvane
