// Python class Evaluator.
#include "search/evaluator.h"

#include "groups/permutation_py.h"
#include "py/classes.h"
#include "py/convert.h"
#include "py/entry.h"

namespace borvane::py {

namespace {

Ref ev_new(PyTypeObject* type, const Args& a) {
    static constexpr Signature<1> sig{"Evaluator.__new__", {"nqubits"}};
    auto [pn] = sig.parse(a);
    return wrap_as(type, Evaluator::create(arg<uint32_t>(pn, "nqubits")));
}

Ref ev_nqubits(PyObject* self, const Args& a) {
    static constexpr Signature<0> sig{"Evaluator.nqubits", {}};
    sig.parse(a);
    return to_py(Shared<Evaluator>(self)->nqubits());
}

Ref ev_evaluate(PyObject* self, const Args& a) {
    static constexpr Signature<1> sig{"Evaluator.evaluate", {"instrs"}};
    auto [pi] = sig.parse(a);
    Shared<Evaluator> ev(self);
    auto instrs = arg<std::vector<Instr32>>(pi, "instrs");
    SingleEval r = ev->evaluate(instrs);
    return to_py(std::make_tuple(std::move(r.back), r.front_perm, r.back_perm, std::move(r.forward)));
}

Ref ev_initial_key(PyObject* self, const Args& a) {
    static constexpr Signature<0> sig{"Evaluator.initial_key", {}};
    sig.parse(a);
    return to_py(Shared<Evaluator>(self)->initial_key());
}

bool ev_eq(PyObject* a, PyObject* b) { return *Shared<Evaluator>(a) == *Shared<Evaluator>(b); }

PyMethodDef ev_methods[] = {
    {"nqubits", method_ptr<ev_nqubits>(), kMethod, "nqubits($self)\n--\n\nReturns evaluator qubit count."},
    {"evaluate", method_ptr<ev_evaluate>(), kMethod, "evaluate($self, instrs)\n--\n\nPython wrapper for circuit evaluation."},
    {"initial_key", method_ptr<ev_initial_key>(), kMethod,
     "initial_key($self)\n--\n\nHash key for the empty circuit under this evaluator."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyTypeObject* PyClass<Evaluator>::type() {
    static PyTypeObject* t = nullptr;
    if (!t)
        t = build_class_for<Evaluator>(
            "builtins.Evaluator",
            "Evaluator(nqubits)\n--\n\nRandomized evaluator used to hash circuits and recover permutation metadata.\n\n"
            "Creates a random evaluator for `nqubits`.",
            {
                slot(Py_tp_new, ctor_entry<ev_new>),
                slot(Py_tp_richcompare, eq_richcompare<PyClass<Evaluator>::type, ev_eq>),
                {Py_tp_methods, ev_methods},
            });
    return t;
}

}  // namespace borvane::py
