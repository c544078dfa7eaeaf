// An append-only vector stored in fixed-size chunks: elements never move, and
// growing never copies the elements already stored (no transient doubling of
// memory, which matters for the search's peak memory).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "utils/errors.h"

namespace borvane {

template <class T, unsigned ChunkBits = 14>
class ChunkedVector {
public:
    static constexpr size_t kChunk = size_t(1) << ChunkBits;

    size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }

    T& operator[](size_t i) { return chunks_[i >> ChunkBits][i & (kChunk - 1)]; }
    const T& operator[](size_t i) const { return chunks_[i >> ChunkBits][i & (kChunk - 1)]; }

    size_t push_back(const T& v) {
        if ((size_ & (kChunk - 1)) == 0) chunks_.emplace_back(new T[kChunk]);
        (*this)[size_] = v;
        return size_++;
    }

    // Bytes held by the elements' storage (for memory reports).
    size_t capacity_bytes() const { return chunks_.size() * kChunk * sizeof(T); }

private:
    std::vector<std::unique_ptr<T[]>> chunks_;
    size_t size_ = 0;
};

}  // namespace borvane
