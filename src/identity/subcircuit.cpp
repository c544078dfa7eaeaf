#include "identity/subcircuit.h"

#include <algorithm>
#include <bit>

#include "utils/errors.h"
#include "utils/parallel.h"

namespace borvane {

WireGraph::WireGraph(const IdentityCirc& id) : circuit(&id), len(id.len()) {
    if (len > kMaxLen)
        throw InternalError("A selection covers at most " + std::to_string(kMaxLen) + " instructions, got " +
                            std::to_string(len));
    args.resize(len);
    neighbours.assign(len, 0);
    for (size_t i = 0; i < len; ++i) {
        std::vector<uint8_t> q = id.at(i).qubits();
        std::vector<size_t> fwd = id.qargs_forward(i), bwd = id.qargs_backward(i);
        for (size_t j = 0; j < q.size(); ++j) {
            args[i].push_back(Arg{q[j], uint8_t(fwd[j]), uint8_t(bwd[j])});
            neighbours[i] |= (1u << fwd[j]) | (1u << bwd[j]);
        }
    }
}

namespace {

// Ports of a selection: arguments whose previous (or next) instruction on the
// wire is the instruction itself or lies outside the selection.
template <class F>
void for_each_port(const IdentitySubcircuit& s, bool input, F&& f) {
    for (uint32_t m = s.gates; m; m &= m - 1) {
        size_t i = size_t(std::countr_zero(m));
        const auto& args = s.graph->args[i];
        for (size_t j = 0; j < args.size(); ++j) {
            size_t p = input ? args[j].prev : args[j].next;
            if (p == i || !(s.gates & (1u << p))) f(Port{i, j, args[j].qubit});
        }
    }
}

// True when no two ports of the kind share a qubit.
bool distinct_port_qubits(const IdentitySubcircuit& s, bool input) {
    uint32_t seen = 0;
    bool ok = true;
    for_each_port(s, input, [&](const Port& p) {
        uint32_t bit = 1u << (p.qubit & 31);
        if (seen & bit) ok = false;
        seen |= bit;
    });
    return ok;
}

// A bounded double-ended sequence of instructions on the stack.
struct Deque {
    Instr32 buf[2 * WireGraph::kMaxLen];
    size_t head = WireGraph::kMaxLen, tail = WireGraph::kMaxLen;
    void push_back(Instr32 i) { buf[tail++] = i; }
    void push_front(Instr32 i) { buf[--head] = i; }
    bool disjoint_from(Instr32 x) const {
        for (size_t k = head; k < tail; ++k)
            if (!buf[k].disjoint(x)) return false;
        return true;
    }
};

}  // namespace

std::vector<Port> IdentitySubcircuit::inputs() const {
    std::vector<Port> out;
    for_each_port(*this, true, [&](const Port& p) { out.push_back(p); });
    return out;
}

std::vector<Port> IdentitySubcircuit::outputs() const {
    std::vector<Port> out;
    for_each_port(*this, false, [&](const Port& p) { out.push_back(p); });
    return out;
}

bool IdentitySubcircuit::is_convex() const { return distinct_port_qubits(*this, true) && distinct_port_qubits(*this, false); }

bool IdentitySubcircuit::is_connected() const {
    if (gates == 0) return true;
    // Breadth-first closure from the lowest selected instruction.
    uint32_t reached = gates & (~gates + 1), frontier = reached;
    while (frontier) {
        uint32_t next = 0;
        for (uint32_t m = frontier; m; m &= m - 1) next |= graph->neighbours[size_t(std::countr_zero(m))];
        next &= gates & ~reached;
        reached |= next;
        frontier = next;
    }
    return reached == gates;
}

std::optional<std::pair<Circ, Circ>> IdentitySubcircuit::split() const {
    if (gates == 0) return std::nullopt;
    const Circ& whole = graph->circuit->inner();
    const Permut32 perm = whole.perm, inv = perm.inv();
    // C (instructions with flags) and E, the extracted instructions; E, then
    // C, then the permutation always form an identity.
    Instr32 c[WireGraph::kMaxLen];
    bool f[WireGraph::kMaxLen];
    size_t m = graph->len;
    Deque e;
    // Start at the first selected instruction: C = whole rotated by a.
    const size_t a = size_t(std::countr_zero(gates));
    for (size_t i = 0; i < m; ++i) {
        size_t src = (i + a) % m;
        c[i] = src >= a ? whole.instrs[src] : whole.instrs[src].apply_permutation(inv);
        f[i] = gates & (1u << src);
    }
    auto first_set = [&]() -> long {
        for (size_t i = 0; i < m; ++i)
            if (f[i]) return long(i);
        return -1;
    };
    auto last_set = [&]() -> long {
        for (size_t i = m; i-- > 0;)
            if (f[i]) return long(i);
        return -1;
    };
    auto erase = [&](size_t k) {
        std::copy(c + k + 1, c + m, c + k);
        std::copy(f + k + 1, f + m, f + k);
        --m;
    };
    bool done = false;
    // Front phase.
    for (;;) {
        long jl = first_set();
        if (jl < 0) {
            done = true;
            break;
        }
        size_t j = size_t(jl);
        if (j == 0) {
            e.push_back(c[0]);
            erase(0);
            continue;
        }
        if (c[j - 1].disjoint(c[j])) {
            std::swap(c[j - 1], c[j]);
            std::swap(f[j - 1], f[j]);
            continue;
        }
        bool prefix_free = true;
        for (size_t k = 0; k < j && prefix_free; ++k) prefix_free = e.disjoint_from(c[k]);
        if (!prefix_free) break;
        // The unselected prefix moves to the end through the inverse permutation.
        Instr32 tmp[WireGraph::kMaxLen];
        bool tf[WireGraph::kMaxLen];
        for (size_t k = 0; k < m; ++k) {
            size_t src = (k + j) % m;
            tmp[k] = src >= j ? c[src] : c[src].apply_permutation(inv);
            tf[k] = f[src];
        }
        std::copy(tmp, tmp + m, c);
        std::copy(tf, tf + m, f);
    }
    // Back phase.
    while (!done) {
        long jl = last_set();
        if (jl < 0) break;
        size_t j = size_t(jl);
        if (j == m - 1) {
            e.push_front(c[m - 1].permut(perm));
            --m;
            continue;
        }
        if (c[j].disjoint(c[j + 1])) {
            std::swap(c[j], c[j + 1]);
            std::swap(f[j], f[j + 1]);
            continue;
        }
        bool suffix_free = true;
        for (size_t k = j + 1; k < m && suffix_free; ++k) suffix_free = e.disjoint_from(c[k].permut(perm));
        if (!suffix_free) return std::nullopt;
        // Rotate right by m-1-j: the unselected suffix moves to the front
        // through the permutation.
        const size_t r = m - 1 - j;
        Instr32 tmp[WireGraph::kMaxLen];
        bool tf[WireGraph::kMaxLen];
        for (size_t k = 0; k < m; ++k) {
            size_t src = (k + m - r) % m;
            tmp[k] = src >= m - r ? c[src].apply_permutation(perm) : c[src];
            tf[k] = f[src];
        }
        std::copy(tmp, tmp + m, c);
        std::copy(tf, tf + m, f);
    }
    Circ sub = Circ::create(std::vector<Instr32>(e.buf + e.head, e.buf + e.tail), Permut32::identity(perm.len()));
    Circ rest = Circ::create(std::vector<Instr32>(c, c + m), perm);
    return std::make_pair(std::move(sub), std::move(rest));
}

const std::vector<uint32_t>& combinations(size_t n) {
    static const std::vector<std::vector<uint32_t>> COMBINATIONS = [] {
        std::vector<std::vector<uint32_t>> t(kCombinationEntries);
        for (size_t len = 0; len < kCombinationEntries; ++len) {
            const size_t max_size = std::min(len, len / 2 + 1);
            for (size_t k = 0; k <= max_size; ++k) {
                // Index lists of size k in lexicographic order.
                std::vector<size_t> idx(k);
                for (size_t i = 0; i < k; ++i) idx[i] = i;
                for (;;) {
                    uint32_t mask = 0;
                    for (size_t i : idx) mask |= 1u << i;
                    t[len].push_back(mask);
                    long i = long(k) - 1;
                    while (i >= 0 && idx[size_t(i)] == len - k + size_t(i)) --i;
                    if (i < 0) break;
                    ++idx[size_t(i)];
                    for (size_t q = size_t(i) + 1; q < k; ++q) idx[q] = idx[q - 1] + 1;
                }
            }
        }
        return t;
    }();
    if (n >= kCombinationEntries)
        throw InternalError("Sub-circuits can only be enumerated for identities of fewer than 20 instructions, got " +
                            std::to_string(n));
    return COMBINATIONS[n];
}

std::vector<std::pair<Circ, Circ>> par_subcircuit_splits(const IdentityCirc& id) {
    const std::vector<uint32_t>& subsets = combinations(id.len());
    const WireGraph graph(id);
    // The cheap connectivity test first, then convexity, then extraction.
    return par_filter_map<std::pair<Circ, Circ>>(subsets.size(), [&](size_t k) -> std::optional<std::pair<Circ, Circ>> {
        IdentitySubcircuit s{subsets[k], &graph};
        if (!s.is_connected() || !s.is_convex()) return std::nullopt;
        return s.split();
    });
}

}  // namespace borvane
