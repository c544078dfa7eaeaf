// Streaming SipHash-1-3 with 64-bit output.  Every stable hash of the system
// is this hasher with both keys zero over a little-endian byte stream; the
// result is identical to hashing the concatenated bytes in one go.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace borvane {

class SipHasher13 {
public:
    explicit SipHasher13(uint64_t k0 = 0, uint64_t k1 = 0) noexcept;

    void write(const void* data, size_t len) noexcept;
    void write_u8(uint8_t v) noexcept { write_word(v, 1); }
    void write_u16(uint16_t v) noexcept { write_word(v, 2); }
    void write_u32(uint32_t v) noexcept { write_word(v, 4); }
    void write_u64(uint64_t v) noexcept { write_word(v, 8); }
    void write_i64(int64_t v) noexcept { write_word(static_cast<uint64_t>(v), 8); }
    // Lengths of vectors and arrays are written as 4-byte unsigned integers.
    void write_len(size_t n) noexcept { write_u32(static_cast<uint32_t>(n)); }
    // A string contributes its UTF-8 bytes followed by one 0xFF byte.
    void write_str(std::string_view s) noexcept {
        write(s.data(), s.size());
        write_u8(0xFF);
    }

    uint64_t finish() const noexcept;

private:
    // Appends the low `nbytes` bytes of `v` (little-endian), 1 <= nbytes <= 8,
    // without going through the byte loop.
    void write_word(uint64_t v, uint32_t nbytes) noexcept {
        length_ += nbytes;
        uint32_t fill = ntail_ + nbytes;
        tail_ |= v << (8 * ntail_);  // ntail_ < 8, so the shift is defined
        if (fill < 8) {
            ntail_ = fill;
            return;
        }
        compress(tail_);
        ntail_ = fill - 8;
        // The bytes of v that did not fit into the completed word.
        tail_ = ntail_ == 0 ? 0 : v >> (8 * (nbytes - ntail_));
    }
    void compress(uint64_t m) noexcept;

    uint64_t v0_, v1_, v2_, v3_;
    uint64_t tail_ = 0;    // pending bytes, little-endian
    uint32_t ntail_ = 0;   // number of pending bytes (0..7)
    uint64_t length_ = 0;  // total bytes written
};

// SipHash-1-3 with zero keys of one buffer.
uint64_t siphash13(const void* data, size_t len) noexcept;

// SipHash-1-3 with zero keys of the stream: a 4-byte prefix word, then the
// 8-byte values of `a`, then the prefix again, then the values of `b`
// (`n` values each, little-endian), without going through the byte buffer.
// This is the layout of every state hash, on the evaluator's hot path.
uint64_t siphash13_prefixed_words(uint32_t prefix, const uint64_t* a, const uint64_t* b, size_t n) noexcept;

}  // namespace borvane
