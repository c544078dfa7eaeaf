#include "search/ecc.h"

#include <algorithm>

#include "state/state_vec.h"
#include "utils/errors.h"

namespace borvane {

namespace {

const EccEntry& first_entry(const ECC& c) {
    if (c.entries.empty()) throw InternalError("An ECC with no circuits has no first entry");
    return c.entries.front();
}

}  // namespace

std::vector<std::vector<Instr32>> ECC::circuits() const {
    const Permut32 unit = first_entry(*this).second.inv();
    std::vector<std::vector<Instr32>> out;
    out.reserve(entries.size());
    for (const auto& [instrs, perm] : entries) {
        std::vector<Instr32> c = instrs;
        for (Instr32 s : (unit * perm).generate_swaps()) c.push_back(s);
        out.push_back(std::move(c));
    }
    return out;
}

ECC ECC::simplify_permute() && {
    const Permut32 unit = first_entry(*this).second.inv();
    for (auto& e : entries) e.second = unit * e.second;
    return std::move(*this);
}

std::string ECC::display() const {
    std::string out = "ECC {\n";
    for (const auto& c : circuits()) out += "\t" + display_instrs(c, " ") + ",\n";
    return out + "}";
}

std::strong_ordering entry_order(const EccEntry& a, const EccEntry& b) {
    if (a.first.size() != b.first.size()) return a.first.size() <=> b.first.size();
    auto c = compare_instrs(a.first.data(), a.first.size(), b.first.data(), b.first.size());
    if (c != 0) return c;
    return a.second <=> b.second;
}

std::strong_ordering class_order(const ECC& a, const ECC& b) {
    const size_t n = std::min(a.entries.size(), b.entries.size());
    for (size_t i = 0; i < n; ++i) {
        const EccEntry &x = a.entries[i], &y = b.entries[i];
        auto c = compare_instrs(x.first.data(), x.first.size(), y.first.data(), y.first.size());
        if (c != 0) return c;
        if (x.second != y.second) return x.second <=> y.second;
    }
    return a.entries.size() <=> b.entries.size();
}

std::vector<ECC> ECCs::check() const {
    Rng rng = Rng::from_os();
    const StateVec start = StateVec::from_random(rng, uint32_t(nqubits));
    std::vector<ECC> failing;
    StateVec s;
    for (const ECC& c : eccs) {
        bool first = true, fails = false;
        uint64_t want = 0;
        for (const auto& circuit : c.circuits()) {
            s.assign(start);
            for (Instr32 i : circuit) s.apply(i);
            s.normalize_arg();
            uint64_t h = s.hash_value();
            if (first)
                want = h;
            else if (h != want)
                fails = true;
            first = false;
        }
        if (fails) failing.push_back(c);
    }
    return failing;
}

ECCs ECCs::filter_single() const {
    ECCs out;
    out.nqubits = nqubits;
    for (const ECC& c : eccs)
        if (c.entries.size() > 1) out.eccs.push_back(c);
    return out;
}

std::vector<std::tuple<IdentityCirc, Circ, Circ>> ECCs::to_identity_circuits() const {
    std::vector<std::tuple<IdentityCirc, Circ, Circ>> out;
    for (const ECC& c : eccs) {
        const auto& [i0, p0] = first_entry(c);
        const Circ c0i = Circ::create(i0, p0).inverse();
        for (size_t k = 1; k < c.entries.size(); ++k) {
            Circ ck = Circ::create(c.entries[k].first, c.entries[k].second);
            out.emplace_back(IdentityCirc::rotate_representative(c0i + ck), c0i, std::move(ck));
        }
    }
    std::stable_sort(out.begin(), out.end());
    return out;
}

std::string ECCs::display() const {
    std::string out;
    bool first = true;
    for (const ECC& c : eccs) {
        if (c.entries.size() < 2) continue;
        if (!first) out += " & ";
        out += c.display();
        first = false;
    }
    return out;
}

}  // namespace borvane
