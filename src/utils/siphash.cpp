#include "utils/siphash.h"

#include <cstring>

namespace borvane {

namespace {

inline uint64_t rotl(uint64_t x, int b) { return (x << b) | (x >> (64 - b)); }

struct Rounds {
    static inline void sip_round(uint64_t& v0, uint64_t& v1, uint64_t& v2, uint64_t& v3) {
        v0 += v1;
        v1 = rotl(v1, 13);
        v1 ^= v0;
        v0 = rotl(v0, 32);
        v2 += v3;
        v3 = rotl(v3, 16);
        v3 ^= v2;
        v0 += v3;
        v3 = rotl(v3, 21);
        v3 ^= v0;
        v2 += v1;
        v1 = rotl(v1, 17);
        v1 ^= v2;
        v2 = rotl(v2, 32);
    }
};

inline uint64_t load_le64(const unsigned char* p) {
    uint64_t v;
    std::memcpy(&v, p, 8);
#if __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    return v;
}

}  // namespace

void SipHasher13::compress(uint64_t m) noexcept {
    v3_ ^= m;
    Rounds::sip_round(v0_, v1_, v2_, v3_);
    v0_ ^= m;
}

SipHasher13::SipHasher13(uint64_t k0, uint64_t k1) noexcept
    : v0_(k0 ^ 0x736f6d6570736575ULL),
      v1_(k1 ^ 0x646f72616e646f6dULL),
      v2_(k0 ^ 0x6c7967656e657261ULL),
      v3_(k1 ^ 0x7465646279746573ULL) {}

void SipHasher13::write(const void* data, size_t len) noexcept {
    const auto* p = static_cast<const unsigned char*>(data);
    length_ += len;
    // Complete a pending partial word first.
    while (ntail_ != 0 && len != 0) {
        tail_ |= static_cast<uint64_t>(*p++) << (8 * ntail_);
        --len;
        if (++ntail_ == 8) {
            v3_ ^= tail_;
            Rounds::sip_round(v0_, v1_, v2_, v3_);
            v0_ ^= tail_;
            tail_ = 0;
            ntail_ = 0;
        }
    }
    while (len >= 8) {
        uint64_t m = load_le64(p);
        v3_ ^= m;
        Rounds::sip_round(v0_, v1_, v2_, v3_);
        v0_ ^= m;
        p += 8;
        len -= 8;
    }
    while (len != 0) {
        tail_ |= static_cast<uint64_t>(*p++) << (8 * ntail_);
        ++ntail_;
        --len;
    }
}

uint64_t SipHasher13::finish() const noexcept {
    uint64_t v0 = v0_, v1 = v1_, v2 = v2_, v3 = v3_;
    uint64_t b = (length_ & 0xff) << 56 | tail_;
    v3 ^= b;
    Rounds::sip_round(v0, v1, v2, v3);
    v0 ^= b;
    v2 ^= 0xff;
    Rounds::sip_round(v0, v1, v2, v3);
    Rounds::sip_round(v0, v1, v2, v3);
    Rounds::sip_round(v0, v1, v2, v3);
    return v0 ^ v1 ^ v2 ^ v3;
}

uint64_t siphash13_prefixed_words(uint32_t prefix, const uint64_t* a, const uint64_t* b, size_t n) noexcept {
    uint64_t v0 = 0x736f6d6570736575ULL, v1 = 0x646f72616e646f6dULL, v2 = 0x6c7967656e657261ULL,
             v3 = 0x7465646279746573ULL;
    auto compress = [&](uint64_t m) {
        v3 ^= m;
        Rounds::sip_round(v0, v1, v2, v3);
        v0 ^= m;
    };
    // The stream is prefix, a[0..n), prefix, b[0..n): after the first 4
    // bytes every value straddles two 8-byte words.
    uint64_t carry = prefix;  // the low 4 bytes of the next word
    for (size_t i = 0; i < n; ++i) {
        compress(carry | (a[i] << 32));
        carry = a[i] >> 32;
    }
    // The second prefix completes the pending word exactly, so the values of
    // b are whole words.
    compress(carry | (uint64_t(prefix) << 32));
    for (size_t i = 0; i < n; ++i) compress(b[i]);
    const uint64_t total = 8 + 16 * uint64_t(n);  // bytes; a multiple of 8, so no tail
    uint64_t last = (total & 0xff) << 56;
    compress(last);
    v2 ^= 0xff;
    Rounds::sip_round(v0, v1, v2, v3);
    Rounds::sip_round(v0, v1, v2, v3);
    Rounds::sip_round(v0, v1, v2, v3);
    return v0 ^ v1 ^ v2 ^ v3;
}

uint64_t siphash13(const void* data, size_t len) noexcept {
    SipHasher13 h;
    h.write(data, len);
    return h.finish();
}

}  // namespace borvane
