// Python class Gate: a handle into the gate table.
#include "circ/gate.h"

#include "circ/param/evaluate.h"
#include "py/classes.h"
#include "py/convert.h"
#include "py/entry.h"
#include "py/numpy_bridge.h"
#include "circ/instruction.h"
#include "circ/instr.h"
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

// Converts `o` as T; on any failure clears the error and returns nothing.
template <class T>
std::optional<T> try_convert(PyObject* o) {
    try {
        return Conv<T>::from(o);
    } catch (const PyErrorSet&) {
        PyErr_Clear();
    } catch (const PyRaise&) {
    }
    return std::nullopt;
}

// gate(*args): integers give a compact Instr, Argument objects an Instruction.
Ref gate_call(PyObject* self, const Args& a) {
    if (a.kwdict) raise(PyExc_TypeError, "Gate.__call__() takes no keyword arguments");
    Gate16 gate = self_gate(self);
    Ref args = Ref::check(PyTuple_New(a.nargs));
    for (Py_ssize_t i = 0; i < a.nargs; ++i) PyTuple_SET_ITEM(args.get(), i, Py_NewRef(a.args[i]));
    if (auto qubits = try_convert<std::vector<uint8_t>>(args.get())) {
        if (qubits->size() != gate.nqargs())
            throw InternalError("Number of arguments not match for gate " + gate.display());
        // Unlike the Instr constructor, the qubits are not tested for distinctness.
        return to_py(Instr32::unchecked(gate, QArgs16::pack(*qubits)));
    }
    if (auto arguments = try_convert<std::vector<Argument>>(args.get())) {
        size_t nq = gate.nqargs();
        if (arguments->size() < nq)
            throw InternalError("Too few arguments for gate " + gate.display() + ": expected at least " +
                                std::to_string(nq) + ", got " + std::to_string(arguments->size()));
        Instruction ins;
        ins.gate = gate;
        ins.qargs.assign(arguments->begin(), arguments->begin() + long(nq));
        ins.cargs.assign(arguments->begin() + long(nq), arguments->end());
        return to_py(std::move(ins));
    }
    raise(PyExc_TypeError, "argument 'args': expected qubit indices (int) or Argument objects");
}

PyMethodDef gate_methods[] = {
    {"from_name", method_ptr<gate_from_name>(), kStatic,
     "from_name(name)\n--\n\nLooks up a built-in gate by display name."},
    {"adjoint", method_ptr<gate_adjoint>(), kMethod,
     "adjoint($self)\n--\n\nReturns the adjoint (inverse) gate."},
    // Listed as a method too (METH_COEXIST) so that __call__ carries its own
    // documentation; the tp_call slot serves the actual calls.
    {"__call__", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&call_entry<gate_call>)),
     METH_VARARGS | METH_KEYWORDS | METH_COEXIST,
     "__call__($self, /, *args)\n--\n\nBinds arguments and returns either compact `Instr` (integer qargs)\n"
     "or high-level `Instruction` (register-style args)."},
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
                slot(Py_tp_call, call_entry<gate_call>),
                slot(Py_tp_hash, hash_entry<gate_hash>),
                slot(Py_tp_richcompare, eq_richcompare<PyClass<Gate16>::type, gate_eq>),
                {Py_tp_methods, gate_methods},
                {Py_tp_getset, gate_getset},
            });
    return t;
}

}  // namespace borvane::py
