// Permut32: a permutation of at most 8 qubits packed into one 32-bit word.
// Entry i (the image of element i) sits in bits 3i..3i+2, the length in bits
// 24..27.  The product a * b maps i to a(b(i)); a permutation moves the
// content of qubit j to qubit perm[j].
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

#include "utils/errors.h"

namespace borvane {

class Instr32;

namespace detail {
// Packed entries of the identity permutation of each length 0..8.
inline constexpr std::array<uint32_t, 9> kIdentityEntries = [] {
    std::array<uint32_t, 9> t{};
    for (size_t n = 0; n <= 8; ++n) {
        uint32_t r = 0;
        for (size_t i = 0; i < n; ++i) r |= uint32_t(i) << (3 * i);
        t[n] = r;
    }
    return t;
}();
}  // namespace detail

class Permut32 {
public:
    static constexpr size_t kMaxLen = 8;

    constexpr Permut32() = default;
    static constexpr Permut32 from_raw(uint32_t raw) { return Permut32(raw); }

    // Entries i -> i; n must be at most 8.
    static Permut32 identity(size_t n) {
        if (n > kMaxLen) throw InternalError("Permutation length must be less than or equal to 8");
        return Permut32(kIdentityEntries[n] | uint32_t(n) << 24);
    }

    // Checks each value in order: below 8, and not seen before.
    template <class Range>
    static Permut32 from_iter(const Range& values) {
        uint32_t raw = 0, used = 0;
        size_t n = 0;
        for (auto v : values) {
            if (unsigned(v) > 7) throw InternalError("Permutation values must be less than 8");
            if (used & (1u << unsigned(v))) throw InternalError("Permutation values must be unique");
            used |= 1u << unsigned(v);
            raw |= uint32_t(v) << (3 * n);
            ++n;
        }
        return Permut32(raw | uint32_t(n) << 24);
    }

    // No checks: callers pass at most 8 distinct values below the length.
    template <class Range>
    static Permut32 from_iter_unchecked(const Range& values) {
        uint32_t raw = 0;
        size_t n = 0;
        for (auto v : values) raw |= uint32_t(v) << (3 * n++);
        return Permut32(raw | uint32_t(n) << 24);
    }

    // A permutation of length n whose first entries are `values` (ascending
    // and distinct); each further position i takes i when it is still free,
    // else the smallest free value.
    static Permut32 from_iter_with_ext(size_t n, const std::vector<uint8_t>& values);

    constexpr uint32_t raw() const { return raw_; }
    // The length field; values read unchecked from files or dictionary forms
    // may claim more than 8 entries, which no operation may read past.
    constexpr size_t len() const {
        size_t n = (raw_ >> 24) & 0xF;
        return n > kMaxLen ? kMaxLen : n;
    }

    // Entry i; positions from len() to 7 give 0.
    uint8_t at(size_t i) const {
        if (i >= 8) [[unlikely]]
            throw InternalError("assertion failed: idx < 8");
        return uint8_t((raw_ >> (3 * i)) & 7);
    }
    constexpr uint8_t get(size_t i) const { return uint8_t((raw_ >> (3 * i)) & 7); }

    // Iterates over entries 0 .. len()-1.
    class Iter {
    public:
        using iterator_category = std::input_iterator_tag;
        using value_type = uint8_t;
        using difference_type = std::ptrdiff_t;
        using pointer = const uint8_t*;
        using reference = uint8_t;
        constexpr Iter(uint32_t raw, uint8_t idx) : raw_(raw), idx_(idx) {}
        constexpr uint8_t operator*() const { return uint8_t((raw_ >> (3 * idx_)) & 7); }
        constexpr Iter& operator++() {
            ++idx_;
            return *this;
        }
        constexpr bool operator!=(const Iter& o) const { return idx_ != o.idx_; }
        constexpr bool operator==(const Iter& o) const { return idx_ == o.idx_; }

    private:
        uint32_t raw_;
        uint8_t idx_;
    };
    constexpr Iter begin() const { return Iter(raw_, 0); }
    constexpr Iter end() const { return Iter(raw_, uint8_t(len())); }
    std::vector<uint8_t> entries() const { return std::vector<uint8_t>(begin(), end()); }

    // True for every value the checked constructors build: a length of at
    // most 8, the first entries a permutation of 0 .. len-1, the rest zero.
    constexpr bool is_valid() const {
        const uint32_t n = raw_ >> 24;
        if (n > kMaxLen || (raw_ & ~lower_mask(n) & 0xFFFFFF) != 0) return false;
        uint32_t seen = 0;
        for (size_t i = 0; i < n; ++i) seen |= 1u << get(i);
        return seen == (1u << n) - 1;
    }

    constexpr bool is_identity() const { return (raw_ & 0xFFFFFF) == kIdentityEntries[len()] && (raw_ >> 24) <= kMaxLen; }

    constexpr Permut32 inv() const {
        size_t n = len();
        uint32_t r = uint32_t(n) << 24;
        for (size_t i = 0; i < n; ++i) r |= uint32_t(i) << (3 * get(i));
        return Permut32(r);
    }

    // c(i) = a(b(i)); the lengths must be equal.
    friend Permut32 operator*(Permut32 a, Permut32 b) {
        size_t n = a.len();
        if (n != b.len()) [[unlikely]]
            throw InternalError("Permutation lengths differ in a product: " + std::to_string(n) + " vs " +
                                std::to_string(b.len()));
        uint32_t r = uint32_t(n) << 24;
        for (size_t i = 0; i < n; ++i) r |= uint32_t(a.get(b.get(i))) << (3 * i);
        return Permut32(r);
    }

    // Extends the shorter of the two with fixed points to the longer length.
    static std::pair<Permut32, Permut32> coordinate_permute(Permut32 a, Permut32 b) {
        return {a.extended(b.len()), b.extended(a.len())};
    }
    // This permutation with fixed points appended up to length m (unchanged
    // when it is already at least that long).
    constexpr Permut32 extended(size_t m) const {
        size_t n = len();
        if (m <= n) return *this;
        uint32_t r = (raw_ & 0xFFFFFF) | (kIdentityEntries[m] & ~lower_mask(n));
        return Permut32(r | uint32_t(m) << 24);
    }

    Permut32 swap_inputs(size_t i, size_t j) const {
        uint8_t a = at(i), b = at(j);
        return set(i, b).set(j, a);
    }
    Permut32 set(size_t i, uint8_t v) const {
        if (i >= 8) throw InternalError("assertion failed: idx < 8");
        uint32_t r = (raw_ & ~(7u << (3 * i))) | (uint32_t(v & 7) << (3 * i));
        return Permut32(r);
    }

    // The basis-state index whose bit perm[i] is bit i of b, for i < len().
    constexpr uint8_t permut_bv(uint8_t b) const {
        size_t n = len();
        uint32_t r = 0;
        for (size_t i = 0; i < n; ++i)
            if (b & (1u << i)) r |= 1u << get(i);
        return uint8_t(r);
    }

    // SWAP instructions that sort the entries with the sorting network of the
    // permutation's length; applied in order they realise the permutation.
    std::vector<Instr32> generate_swaps() const;

    // The list of all permutations of length n, in Heap's-algorithm order.
    static const std::vector<Permut32>& all(size_t n);

    // "(1 2 0)"; "()" for the empty permutation.
    std::string display() const;

    friend constexpr bool operator==(Permut32 a, Permut32 b) { return a.raw_ == b.raw_; }
    friend constexpr auto operator<=>(Permut32 a, Permut32 b) { return a.raw_ <=> b.raw_; }

private:
    constexpr explicit Permut32(uint32_t raw) : raw_(raw) {}
    static constexpr uint32_t lower_mask(size_t n) { return n >= 8 ? 0xFFFFFF : (1u << (3 * n)) - 1; }
    static constexpr const std::array<uint32_t, 9>& kIdentityEntries = detail::kIdentityEntries;

    uint32_t raw_ = 0;
};

// Comparator lists: applied in order as compare-exchange steps, row n sorts
// any n values.
struct Comparator {
    uint8_t i, j;
};
const std::vector<Comparator>& sorting_network(size_t n);

}  // namespace borvane
