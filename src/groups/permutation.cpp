#include "groups/permutation.h"

#include <bit>

#include "circ/instr.h"
#include "utils/fmt_join.h"

namespace borvane {

namespace {

std::vector<Permut32> heap_order(size_t n) {
    // Heap's algorithm, stepped as an iterator: the identity first, then one
    // exchange per step.
    std::vector<Permut32> out;
    std::array<uint8_t, 8> d{};
    for (size_t i = 0; i < n; ++i) d[i] = uint8_t(i);
    std::array<size_t, 15> c{};
    auto emit = [&] { out.push_back(Permut32::from_iter_unchecked(std::vector<uint8_t>(d.begin(), d.begin() + n))); };
    size_t k = 0;
    emit();
    for (;;) {
        if (k + 1 >= n) return out;
        size_t p = k;
        while (c[p] > p) {
            c[p] = 0;
            k = p + 1;
            if (p + 2 == n) return out;
            ++p;
        }
        size_t j = p % 2 == 0 ? c[p] : 0;
        std::swap(d[j], d[p + 1]);
        ++c[p];
        k = 0;
        emit();
    }
}

const std::vector<Comparator> kNetworks[9] = {
    {},
    {},
    {{0, 1}},
    {{0, 2}, {0, 1}, {1, 2}},
    {{0, 2}, {1, 3}, {0, 1}, {2, 3}, {1, 2}},
    {{0, 3}, {1, 4}, {0, 2}, {1, 3}, {0, 1}, {2, 4}, {1, 2}, {3, 4}, {2, 3}},
    {{0, 5}, {1, 3}, {2, 4}, {1, 2}, {3, 4}, {0, 3}, {2, 5}, {0, 1}, {2, 3}, {4, 5}, {1, 2}, {3, 4}},
    {{0, 6}, {2, 3}, {4, 5}, {0, 2}, {1, 4}, {3, 6}, {0, 1}, {2, 5}, {3, 4}, {1, 2}, {4, 6}, {2, 3}, {4, 5},
     {1, 2}, {3, 4}, {5, 6}},
    {{0, 2}, {1, 3}, {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}, {0, 1}, {2, 3}, {4, 5}, {6, 7}, {2, 4},
     {3, 5}, {1, 4}, {3, 6}, {1, 2}, {3, 4}, {5, 6}},
};

}  // namespace

Permut32 Permut32::from_iter_with_ext(size_t n, const std::vector<uint8_t>& values) {
    if (n > kMaxLen) throw InternalError("Permutation length must be less than or equal to 8");
    uint32_t raw = 0, used = 0;
    for (size_t i = 0; i < n; ++i) {
        unsigned v;
        if (i < values.size()) {
            v = values[i];
            if (v > 7) throw InternalError("Permutation values must be less than 8");
        } else if (!(used & (1u << i))) {
            v = unsigned(i);
        } else {
            v = unsigned(std::countr_one(used));
        }
        if (used & (1u << v)) throw InternalError("Permutation values must be unique");
        used |= 1u << v;
        raw |= uint32_t(v) << (3 * i);
    }
    return Permut32(raw | uint32_t(n) << 24);
}

std::vector<Instr32> Permut32::generate_swaps() const {
    std::vector<Instr32> out;
    Permut32 w = *this;
    for (Comparator c : sorting_network(len())) {
        uint8_t a = w.get(c.i), b = w.get(c.j);
        if (a > b) {
            w = w.set(c.i, b).set(c.j, a);
            out.push_back(Instr32::unchecked(gates::SWAP, c.i, c.j));
        }
    }
    return out;
}

const std::vector<Permut32>& Permut32::all(size_t n) {
    if (n > kMaxLen) throw InternalError("No permutation table for length " + std::to_string(n));
    // ALL_PERMUTATIONS: built once, on first use, then only read.
    static const std::array<std::vector<Permut32>, 9> ALL_PERMUTATIONS = [] {
        std::array<std::vector<Permut32>, 9> t;
        for (size_t k = 0; k <= kMaxLen; ++k) t[k] = heap_order(k);
        return t;
    }();
    return ALL_PERMUTATIONS[n];
}

std::string Permut32::display() const {
    std::string out = "(";
    fmt_join(out, *this, " ", [](std::string& o, uint8_t v) { o += char('0' + v); });
    out += ")";
    return out;
}

const std::vector<Comparator>& sorting_network(size_t n) {
    if (n > Permut32::kMaxLen) throw InternalError("No sorting network for length " + std::to_string(n));
    return kNetworks[n];
}

}  // namespace borvane
