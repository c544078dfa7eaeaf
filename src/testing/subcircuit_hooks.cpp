// Test hooks for sub-circuit splitting: the table of candidate selections,
// the ports, convexity, connectivity and extraction of one selection, and the
// parallel enumeration of every split of an identity, at top level and from
// inside pool tasks.
//
// Circuits travel as (list of (gate display name, q0, q1), permutation
// entries), as in circ_op.  Identities are wrapped without the randomized
// check: it can refuse a true identity with a tiny probability, the tests
// verify identities with dense unitaries instead, and the enumeration's
// length limit is reached with circuits that need not be identities.
#include <string>
#include <tuple>
#include <vector>

#include "circ/gate.h"
#include "groups/permutation_py.h"
#include "identity/circuit.h"
#include "identity/idcircuit.h"
#include "identity/subcircuit.h"
#include "py/convert.h"
#include "py/entry.h"
#include "testing/hooks.h"
#include "utils/errors.h"
#include "utils/parallel.h"

namespace borvane::py {

namespace {

using FormInstr = std::tuple<std::string, uint8_t, uint8_t>;
using Form = std::tuple<std::vector<FormInstr>, Permut32>;
using PortForm = std::tuple<uint64_t, uint64_t, uint8_t>;

Circ circ_from_form(const std::vector<FormInstr>& instrs, Permut32 perm) {
    std::vector<Instr32> out;
    out.reserve(instrs.size());
    for (auto& [name, q0, q1] : instrs) out.push_back(Instr32::unchecked(Gate16::from_stored_name(name), q0, q1));
    return Circ::create(std::move(out), perm);
}

IdentityCirc identity_arg(PyObject* pi, PyObject* pp) {
    return IdentityCirc::unchecked(
        circ_from_form(arg<std::vector<FormInstr>>(pi, "instrs"), arg<Permut32>(pp, "perm")));
}

Form form_of(const Circ& c) {
    std::vector<FormInstr> out;
    out.reserve(c.instrs.size());
    for (Instr32 i : c.instrs) out.emplace_back(i.gate().display(), i.qargs().q0, i.qargs().q1);
    return Form{std::move(out), c.perm};
}

std::vector<std::tuple<Form, Form>> forms_of(const std::vector<std::pair<Circ, Circ>>& splits) {
    std::vector<std::tuple<Form, Form>> out;
    out.reserve(splits.size());
    for (auto& [sub, rest] : splits) out.emplace_back(form_of(sub), form_of(rest));
    return out;
}

std::vector<PortForm> port_forms(const std::vector<Port>& ports) {
    std::vector<PortForm> out;
    for (const Port& p : ports) out.emplace_back(p.instr_id, p.qargs_idx, p.qubit);
    return out;
}

// COMBINATIONS[n], each mask decoded into its increasing index list.
Ref split_combinations(PyObject*, const Args& a) {
    static constexpr Signature<1> sig{"split_combinations", {"n"}};
    auto [pn] = sig.parse(a);
    const std::vector<uint32_t>& masks = combinations(arg<size_t>(pn, "n"));
    std::vector<std::vector<uint32_t>> out;
    out.reserve(masks.size());
    for (uint32_t m : masks) {
        std::vector<uint32_t> idx;
        for (uint32_t i = 0; i < 32; ++i)
            if (m >> i & 1) idx.push_back(i);
        out.push_back(std::move(idx));
    }
    return to_py(out);
}

// par_subcircuit_splits as (sub form, rest form) pairs, in its order.
Ref split_all(PyObject*, const Args& a) {
    static constexpr Signature<2> sig{"split_all", {"instrs", "perm"}};
    auto [pi, pp] = sig.parse(a);
    IdentityCirc id = identity_arg(pi, pp);
    return to_py(forms_of(par_subcircuit_splits(id)));
}

// One explicit selection: (inputs, outputs, is_convex, is_connected, split or
// None), ports as (instr_id, qargs_idx, qubit).  split() runs whatever the
// two tests say, so that it can be checked on its own.
Ref split_one(PyObject*, const Args& a) {
    static constexpr Signature<3> sig{"split_one", {"instrs", "perm", "indices"}};
    auto [pi, pp, px] = sig.parse(a);
    IdentityCirc id = identity_arg(pi, pp);
    const WireGraph graph(id);
    uint32_t mask = 0;
    for (uint32_t i : arg<std::vector<uint32_t>>(px, "indices")) {
        check(i < id.len(), "selection index out of range");
        mask |= 1u << i;
    }
    IdentitySubcircuit s{mask, &graph};
    std::optional<std::tuple<Form, Form>> split;
    if (auto r = s.split()) split.emplace(form_of(r->first), form_of(r->second));
    return to_py(std::make_tuple(port_forms(s.inputs()), port_forms(s.outputs()), s.is_convex(), s.is_connected(),
                                 split));
}

// One pool loop over the identities, each task enumerating the splits of one
// (so the enumerations run inline inside pool tasks, as they do when the
// prover rewrites many identities at once).  Returns the split lists.
Ref split_many(PyObject*, const Args& a) {
    static constexpr Signature<1> sig{"split_many", {"circuits"}};
    auto [pc] = sig.parse(a);
    std::vector<IdentityCirc> ids;
    for (auto& [instrs, perm] : arg<std::vector<std::tuple<std::vector<FormInstr>, Permut32>>>(pc, "circuits"))
        ids.push_back(IdentityCirc::unchecked(circ_from_form(instrs, perm)));
    auto splits = par_map<std::vector<std::pair<Circ, Circ>>>(
        ids.size(), [&](size_t k) { return par_subcircuit_splits(ids[k]); });
    std::vector<std::vector<std::tuple<Form, Form>>> out;
    for (auto& s : splits) out.push_back(forms_of(s));
    return to_py(out);
}

PyMethodDef methods[] = {
    {"split_combinations", method_ptr<split_combinations>(), kMethod,
     "split_combinations(n)\n--\n\nThe candidate selections for an identity of n instructions, as index lists."},
    {"split_all", method_ptr<split_all>(), kMethod,
     "split_all(instrs, perm)\n--\n\nEvery (sub, rest) split of the identity, in enumeration order."},
    {"split_one", method_ptr<split_one>(), kMethod,
     "split_one(instrs, perm, indices)\n--\n\n(inputs, outputs, is_convex, is_connected, split) of one selection."},
    {"split_many", method_ptr<split_many>(), kMethod,
     "split_many(circuits)\n--\n\nThe split lists of several identities, enumerated inside one pool loop."},
    {nullptr, nullptr, 0, nullptr},
};

const borvane::testing::RegisterHooks registered(methods);

}  // namespace

}  // namespace borvane::py
