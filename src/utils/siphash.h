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
    void write_u8(uint8_t v) noexcept { write(&v, 1); }
    void write_u16(uint16_t v) noexcept { write_le(v); }
    void write_u32(uint32_t v) noexcept { write_le(v); }
    void write_u64(uint64_t v) noexcept { write_le(v); }
    void write_i64(int64_t v) noexcept { write_le(static_cast<uint64_t>(v)); }
    // Lengths of vectors and arrays are written as 4-byte unsigned integers.
    void write_len(size_t n) noexcept { write_u32(static_cast<uint32_t>(n)); }
    // A string contributes its UTF-8 bytes followed by one 0xFF byte.
    void write_str(std::string_view s) noexcept {
        write(s.data(), s.size());
        write_u8(0xFF);
    }

    uint64_t finish() const noexcept;

private:
    template <class T>
    void write_le(T v) noexcept {
        unsigned char b[sizeof(T)];
        for (size_t i = 0; i < sizeof(T); ++i) b[i] = static_cast<unsigned char>(v >> (8 * i));
        write(b, sizeof(T));
    }

    uint64_t v0_, v1_, v2_, v3_;
    uint64_t tail_ = 0;    // pending bytes, little-endian
    uint32_t ntail_ = 0;   // number of pending bytes (0..7)
    uint64_t length_ = 0;  // total bytes written
};

// SipHash-1-3 with zero keys of one buffer.
uint64_t siphash13(const void* data, size_t len) noexcept;

}  // namespace borvane
