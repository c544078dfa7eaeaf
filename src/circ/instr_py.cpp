// Python class Instr: one compact instruction.
#include "circ/instr_py.h"

#include "groups/permutation_py.h"
#include "py/classes.h"
#include "py/entry.h"

namespace borvane::py {

namespace {

Instr32 self_instr(PyObject* self) { return *Shared<Instr32>(self); }

Ref instr_new(PyTypeObject* type, const Args& a) {
    static constexpr Signature<2> sig{"Instr.__new__", {"gate", "qargs"}};
    auto [pg, pq] = sig.parse(a);
    Gate16 gate = arg<Gate16>(pg, "gate");
    auto qubits = arg<std::vector<uint8_t>>(pq, "qargs");
    return wrap_as(type, Instr32::create(gate, qubits));
}

Ref instr_get_gate(PyObject* self) { return to_py(self_instr(self).gate()); }
Ref instr_get_qargs(PyObject* self) { return to_py(self_instr(self).qubits()); }

Ref instr_apply_permutation_impl(PyObject* self, const Args& a, const char* qualname) {
    Signature<1> sig{qualname, {"perm"}};
    auto [pp] = sig.parse(a);
    Instr32 i = self_instr(self);
    return to_py(i.apply_permutation(arg<Permut32>(pp, "perm")));
}
Ref instr_apply_permutation(PyObject* self, const Args& a) {
    return instr_apply_permutation_impl(self, a, "Instr.apply_permutation");
}
Ref instr_permut(PyObject* self, const Args& a) { return instr_apply_permutation_impl(self, a, "Instr.permut"); }

Ref instr_arg_mask(PyObject* self, const Args& a) {
    static constexpr Signature<0> sig{"Instr.arg_mask", {}};
    sig.parse(a);
    return to_py(self_instr(self).arg_mask());
}

Ref instr_pass_mask(PyObject* self, const Args& a) {
    static constexpr Signature<1> sig{"Instr.pass_mask", {"mask"}};
    auto [pm] = sig.parse(a);
    Instr32 i = self_instr(self);
    return to_py(i.pass_mask(arg<uint8_t>(pm, "mask")));
}

Ref instr_largest_qubit(PyObject* self, const Args& a) {
    static constexpr Signature<0> sig{"Instr.largest_qubit", {}};
    sig.parse(a);
    return to_py(self_instr(self).largest_qubit());
}

Ref instr_disjoint(PyObject* self, const Args& a) {
    static constexpr Signature<1> sig{"Instr.disjoint", {"other"}};
    auto [po] = sig.parse(a);
    Instr32 i = self_instr(self);
    return to_py(i.disjoint(arg<Instr32>(po, "other")));
}

Ref instr_adjoint(PyObject* self, const Args& a) {
    static constexpr Signature<0> sig{"Instr.adjoint", {}};
    sig.parse(a);
    return to_py(self_instr(self).adjoint());
}

Ref instr_position_of_qubit(PyObject* self, const Args& a) {
    static constexpr Signature<1> sig{"Instr.position_of_qubit", {"qubit"}};
    auto [pq] = sig.parse(a);
    Instr32 i = self_instr(self);
    return to_py(i.position_of_qubit(arg<uint8_t>(pq, "qubit")));
}

Ref instr_str(PyObject* self) { return to_py(self_instr(self).display()); }
uint64_t instr_hash(PyObject* self) { return self_instr(self).hash_value(); }

PyMethodDef instr_methods[] = {
    {"apply_permutation", method_ptr<instr_apply_permutation>(), kMethod,
     "apply_permutation($self, perm)\n--\n\nApplies a qubit permutation."},
    {"arg_mask", method_ptr<instr_arg_mask>(), kMethod,
     "arg_mask($self)\n--\n\nBitmask of qubits touched by this instruction."},
    {"pass_mask", method_ptr<instr_pass_mask>(), kMethod,
     "pass_mask($self, mask)\n--\n\nUpdates a frontier mask for left-to-right scheduling checks."},
    {"largest_qubit", method_ptr<instr_largest_qubit>(), kMethod,
     "largest_qubit($self)\n--\n\nLargest qubit index touched by this instruction."},
    {"permut", method_ptr<instr_permut>(), kMethod, "permut($self, perm)\n--\n\nAlias of `apply_permutation`."},
    {"disjoint", method_ptr<instr_disjoint>(), kMethod,
     "disjoint($self, other)\n--\n\nReturns `true` when this and `other` touch disjoint qubits."},
    {"adjoint", method_ptr<instr_adjoint>(), kMethod, "adjoint($self)\n--\n\nReturns the adjoint instruction."},
    {"position_of_qubit", method_ptr<instr_position_of_qubit>(), kMethod,
     "position_of_qubit($self, qubit)\n--\n\nReturns position of `qubit` in argument list, if present."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef instr_getset[] = {
    {"gate", getter_entry<instr_get_gate>, nullptr, "Underlying gate.", nullptr},
    {"qargs", getter_entry<instr_get_qargs>, nullptr, "Qubit arguments as dense integer indices.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

[[noreturn]] void bad_form(const std::string& what, PyObject* o) {
    raise(PyExc_TypeError, "an instruction in dictionary form " + what + ", got '" + type_name(o) + "'");
}

}  // namespace

PyTypeObject* PyClass<Instr32>::type() {
    static PyTypeObject* t = nullptr;
    if (!t)
        t = build_class_for<Instr32>(
            "builtins.Instr",
            "Instr(gate, qargs)\n--\n\nA compact, index-only quantum instruction used internally by the search/prover.",
            {
                slot(Py_tp_new, ctor_entry<instr_new>),
                slot(Py_tp_str, unary_entry<instr_str>),
                slot(Py_tp_repr, unary_entry<instr_str>),
                slot(Py_tp_hash, hash_entry<instr_hash>),
                {Py_tp_methods, instr_methods},
                {Py_tp_getset, instr_getset},
            });
    return t;
}

Ref instr_to_python(Instr32 i) {
    Ref name = to_py(i.gate().display());
    Ref qubits = to_py(std::make_tuple(i.qargs().q0, i.qargs().q1));
    return Ref::check(PyTuple_Pack(2, name.get(), qubits.get()));
}

Instr32 instr_from_python(PyObject* o) {
    if (PyUnicode_Check(o) || !PySequence_Check(o)) bad_form("must be a (name, (q0, q1)) pair", o);
    if (PySequence_Size(o) != 2) {
        if (PyErr_Occurred()) throw PyErrorSet{};
        raise(PyExc_ValueError, "an instruction in dictionary form must have exactly 2 items");
    }
    Ref name = Ref::check(PySequence_GetItem(o, 0));
    Ref qubits = Ref::check(PySequence_GetItem(o, 1));
    std::string gate_name = Conv<std::string>::from(name.get());
    auto q = Conv<std::vector<uint8_t>>::from(qubits.get());
    if (q.size() != 2) raise(PyExc_ValueError, "the qubits of an instruction in dictionary form must be exactly 2 ints");
    return Instr32::unchecked(Gate16::from_stored_name(gate_name), q[0], q[1]);
}

std::vector<Instr32> instrs_from_python(PyObject* o) {
    if (!(PyList_Check(o) || PyTuple_Check(o) || PyAnySet_Check(o)))
        raise(PyExc_TypeError, "instructions in dictionary form must be a list, a tuple or a set, got '" +
                                   type_name(o) + "'");
    std::vector<Instr32> out;
    Ref it = Ref::check(PyObject_GetIter(o));
    for (;;) {
        Ref item = Ref::steal(PyIter_Next(it.get()));
        if (!item) break;
        out.push_back(instr_from_python(item.get()));
    }
    if (PyErr_Occurred()) throw PyErrorSet{};
    return out;
}

}  // namespace borvane::py
