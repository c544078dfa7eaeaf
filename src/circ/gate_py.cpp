// Python class Gate: a handle into the gate table.
#include "circ/gate.h"

#include "circ/param/evaluate.h"
#include "py/classes.h"
#include "py/convert.h"
#include "py/entry.h"
#include "py/numpy_bridge.h"
#include "utils/siphash.h"

namespace borvane::py {

namespace {

Gate16 self_gate(PyObject* self) { return *Shared<Gate16>(self); }

Ref gate_new(PyTypeObject* type, const Args& a) {
    static constexpr Signature<3> sig{"Gate.__new__", {"name", "params", "matrix"}};
    auto [name, params, matrix] = sig.parse(a);
    auto n = arg<std::string>(name, "name");
    auto p = arg<std::vector<std::string>>(params, "params");
    auto m = arg<ComplexMatrix>(matrix, "matrix");
    return wrap_as(type, Gate16::create(std::move(n), std::move(p), std::move(m)));
}

Ref gate_from_name(PyObject*, const Args& a) {
    static constexpr Signature<1> sig{"Gate.from_name", {"name"}};
    auto [name] = sig.parse(a);
    return to_py(Gate16::from_name(arg<std::string>(name, "name")));
}

Ref gate_adjoint(PyObject* self, const Args& a) {
    static constexpr Signature<0> sig{"Gate.adjoint", {}};
    sig.parse(a);
    return to_py(self_gate(self).adjoint());
}

Ref gate_get_name(PyObject* self) { return to_py(self_gate(self).name()); }
Ref gate_get_params(PyObject* self) { return to_py(self_gate(self).params()); }
Ref gate_get_matrix(PyObject* self) { return to_py(self_gate(self).matrix_copy()); }
Ref gate_get_nqargs(PyObject* self) { return to_py(self_gate(self).nqargs()); }

Ref gate_get_params_f(PyObject* self) {
    std::vector<double> values;
    for (const std::string& text : self_gate(self).params()) {
        param::Numeric v = param::evaluate_with_pi(text);
        if (auto* err = std::get_if<param::NumericError>(&v)) raise(PyExc_ValueError, err->text());
        values.push_back(std::get<double>(v));
    }
    return to_py(values);
}

Ref gate_str(PyObject* self) { return to_py(self_gate(self).display()); }

uint64_t gate_hash(PyObject* self) {
    SipHasher13 h;
    h.write_u16(self_gate(self).raw());
    return h.finish();
}

bool gate_eq(PyObject* a, PyObject* b) { return self_gate(a) == self_gate(b); }

PyMethodDef gate_methods[] = {
    {"from_name", method_ptr<gate_from_name>(), kStatic,
     "from_name(name)\n--\n\nLooks up a built-in gate by display name."},
    {"adjoint", method_ptr<gate_adjoint>(), kMethod,
     "adjoint($self)\n--\n\nReturns the adjoint (inverse) gate."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef gate_getset[] = {
    {"name", getter_entry<gate_get_name>, nullptr, "Gate name.", nullptr},
    {"params", getter_entry<gate_get_params>, nullptr, "Symbolic parameter list.", nullptr},
    {"matrix", getter_entry<gate_get_matrix>, nullptr, "Dense unitary matrix.", nullptr},
    {"nqargs", getter_entry<gate_get_nqargs>, nullptr, "Number of qubit arguments required by this gate.",
     nullptr},
    {"params_f", getter_entry<gate_get_params_f>, nullptr,
     "Numeric parameters evaluated with support for `pi` expressions.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

PyTypeObject* PyClass<Gate16>::type() {
    static PyTypeObject* t = nullptr;
    if (!t)
        t = build_class_for<Gate16>(
            "builtins.Gate",
            "Gate(name, params, matrix)\n--\n\n"
            "Parameterized quantum gate definition used by both search and Python APIs.",
            {
                slot(Py_tp_new, ctor_entry<gate_new>),
                slot(Py_tp_str, unary_entry<gate_str>),
                slot(Py_tp_hash, hash_entry<gate_hash>),
                slot(Py_tp_richcompare, eq_richcompare<PyClass<Gate16>::type, gate_eq>),
                {Py_tp_methods, gate_methods},
                {Py_tp_getset, gate_getset},
            });
    return t;
}

}  // namespace borvane::py
