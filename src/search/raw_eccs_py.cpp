// Python class RawECCs: the search's map, its drivers and queries.
#include "search/raw_eccs.h"

#include "py/classes.h"
#include "py/convert.h"
#include "py/console.h"
#include "py/entry.h"
#include "search/drivers.h"
#include "search/simplify.h"

namespace borvane::py {

namespace {

Ref raw_new(PyTypeObject* type, const Args& a) {
    static constexpr Signature<1> sig{"RawECCs.__new__", {"evaluator"}};
    auto [pe] = sig.parse(a);
    auto ev = arg_ref<Evaluator>(pe, "evaluator");
    return wrap_as(type, RawECCs::create(*ev));
}

Ref result_to_py(SearchResult r) {
    Ref map = wrap(std::move(r.map));
    Ref counters = to_py(std::vector<uint64_t>(r.counters.begin(), r.counters.end()));
    return Ref::check(PyTuple_Pack(2, map.get(), counters.get()));
}

using InstrSearch = SearchResult (*)(const Evaluator&, std::span<const Instr32>, size_t, Console&);
using GateSearch = SearchResult (*)(const Evaluator&, std::vector<Gate16>, size_t, Console&);

template <InstrSearch F>
Ref instr_search(const Args& a, const char* qualname) {
    Signature<3> sig{qualname, {"evaluator", "instrs", "max_size"}};
    auto [pe, pi, pm] = sig.parse(a);
    auto ev = arg_ref<Evaluator>(pe, "evaluator");
    auto instrs = arg<std::vector<Instr32>>(pi, "instrs");
    auto max_size = arg<size_t>(pm, "max_size");
    PythonConsole console;
    return result_to_py(F(*ev, instrs, max_size, console));
}

template <GateSearch F>
Ref gate_search(const Args& a, const char* qualname) {
    Signature<3> sig{qualname, {"evaluator", "gates", "max_size"}};
    auto [pe, pg, pm] = sig.parse(a);
    auto ev = arg_ref<Evaluator>(pe, "evaluator");
    auto gates = arg<std::vector<Gate16>>(pg, "gates");
    auto max_size = arg<size_t>(pm, "max_size");
    PythonConsole console;
    return result_to_py(F(*ev, std::move(gates), max_size, console));
}

Ref raw_search(PyObject*, const Args& a) { return instr_search<search>(a, "RawECCs.search"); }
Ref raw_search_naive(PyObject*, const Args& a) { return instr_search<search_naive>(a, "RawECCs.search_naive"); }
Ref raw_generate(PyObject*, const Args& a) { return gate_search<generate>(a, "RawECCs.generate"); }
Ref raw_generate_naive(PyObject*, const Args& a) { return gate_search<generate_naive>(a, "RawECCs.generate_naive"); }

Ref raw_find_equivalents(PyObject* self, const Args& a) {
    static constexpr Signature<2> sig{"RawECCs.find_equivalents", {"evaluator", "instrs"}};
    auto [pe, pi] = sig.parse(a);
    Shared<RawECCs> map(self);
    auto ev = arg_ref<Evaluator>(pe, "evaluator");
    auto instrs = arg<std::vector<Instr32>>(pi, "instrs");
    return to_py(find_equivalents(*map, *ev, instrs));
}

Ref raw_compute_next_key(PyObject* self, const Args& a) {
    static constexpr Signature<3> sig{"RawECCs.compute_next_key", {"evaluator", "current_key", "instr"}};
    auto [pe, pk, pi] = sig.parse(a);
    Shared<RawECCs> map(self);
    auto ev = arg_ref<Evaluator>(pe, "evaluator");
    auto key = arg<uint64_t>(pk, "current_key");
    auto instr = arg<Instr32>(pi, "instr");
    return to_py(compute_next_key(*map, *ev, key, instr));
}

Ref raw_simplify(PyObject* self, const Args& a) {
    Signature<0>{"RawECCs.simplify", {}}.parse(a);
    return to_py(simplify(*Shared<RawECCs>(self)));
}

Ref raw_switch_evaluator(PyObject* self, const Args& a) {
    static constexpr Signature<1> sig{"RawECCs.switch_evaluator", {"new_evaluator"}};
    auto [pe] = sig.parse(a);
    Shared<RawECCs> map(self);
    auto ev = arg_ref<Evaluator>(pe, "new_evaluator");
    return wrap(switch_evaluator(*map, *ev));
}

PyMethodDef raw_methods[] = {
    {"search", method_ptr<raw_search>(), kStatic,
     "search(evaluator, instrs, max_size)\n--\n\nOptimized search using permutation-equivalent placements per circuit."},
    {"search_naive", method_ptr<raw_search_naive>(), kStatic,
     "search_naive(evaluator, instrs, max_size)\n--\n\nExhaustive baseline search without permutation-based "
     "multiplicity reduction."},
    {"generate", method_ptr<raw_generate>(), kStatic,
     "generate(evaluator, gates, max_size)\n--\n\nGenerates ECCs from a gate set using the optimized search.\n\n"
     "Adjoint gates are added automatically if missing."},
    {"generate_naive", method_ptr<raw_generate_naive>(), kStatic,
     "generate_naive(evaluator, gates, max_size)\n--\n\nGenerates ECCs from a gate set using the naive search."},
    {"find_equivalents", method_ptr<raw_find_equivalents>(), kMethod,
     "find_equivalents($self, evaluator, instrs)\n--\n\nPython wrapper returning equivalent circuits for a candidate "
     "program."},
    {"compute_next_key", method_ptr<raw_compute_next_key>(), kMethod,
     "compute_next_key($self, evaluator, current_key, instr)\n--\n\nComputes the next reachable ECC hash after "
     "appending one instruction.\n\nReturns `None` when the resulting state was not discovered in this map."},
    {"simplify", method_ptr<raw_simplify>(), kMethod,
     "simplify($self)\n--\n\nConverts raw buckets into sorted, normalized ECCs."},
    {"switch_evaluator", method_ptr<raw_switch_evaluator>(), kMethod,
     "switch_evaluator($self, new_evaluator)\n--\n\nRe-evaluates all stored circuits under a new evaluator.\n\n"
     "Useful for cross-checking evaluator-independence of discovered classes."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyTypeObject* PyClass<RawECCs>::type() {
    static PyTypeObject* t = nullptr;
    if (!t)
        t = build_class_for<RawECCs>("builtins.RawECCs",
                                     "RawECCs(evaluator)\n--\n\nMutable ECC map keyed by evaluator hash.",
                                     {
                                         slot(Py_tp_new, ctor_entry<raw_new>),
                                         {Py_tp_methods, raw_methods},
                                     });
    return t;
}

}  // namespace borvane::py
