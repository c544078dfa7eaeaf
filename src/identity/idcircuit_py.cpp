// Python class IdentityCirc.
#include "identity/idcircuit.h"

#include "identity/circuit_py.h"
#include "py/classes.h"
#include "py/entry.h"

namespace borvane::py {

namespace {

Ref id_new(PyTypeObject* type, const Args& a) {
    static constexpr Signature<1> sig{"IdentityCirc.__new__", {"circuit"}};
    auto [pc] = sig.parse(a);
    return wrap_as(type, IdentityCirc::create(arg<Circ>(pc, "circuit")));
}

Ref id_from_python(PyObject*, const Args& a) {
    static constexpr Signature<1> sig{"IdentityCirc.from_python", {"obj"}};
    auto [po] = sig.parse(a);
    return to_py(IdentityCirc::unchecked(circ_from_python(po)));
}

#define ID_NOARG(fn, qual, expr)                   \
    Ref fn(PyObject* self, const Args& a) {        \
        Signature<0>{qual, {}}.parse(a);           \
        Shared<IdentityCirc> id(self);             \
        return expr;                               \
    }

ID_NOARG(id_nqubits, "IdentityCirc.nqubits", to_py(id->nqubits()))
ID_NOARG(id_check, "IdentityCirc.check", to_py(id->check()))
ID_NOARG(id_hash_value, "IdentityCirc.hash_value", to_py(id->hash_value()))
ID_NOARG(id_pythonize, "IdentityCirc.pythonize", circ_to_python(id->inner()))

#undef ID_NOARG

Ref id_qargs_forward(PyObject* self, const Args& a) {
    static constexpr Signature<1> sig{"IdentityCirc.qargs_forward", {"gate_id"}};
    auto [pg] = sig.parse(a);
    Shared<IdentityCirc> id(self);
    return to_py(id->qargs_forward(arg<size_t>(pg, "gate_id")));
}

Ref id_qargs_backward(PyObject* self, const Args& a) {
    static constexpr Signature<1> sig{"IdentityCirc.qargs_backward", {"gate_id"}};
    auto [pg] = sig.parse(a);
    Shared<IdentityCirc> id(self);
    return to_py(id->qargs_backward(arg<size_t>(pg, "gate_id")));
}

Ref id_get_inner(PyObject* self) { return to_py(Shared<IdentityCirc>(self)->inner()); }

Py_ssize_t id_length(PyObject* self) noexcept {
    try {
        return Py_ssize_t(Shared<IdentityCirc>(self)->len());
    } catch (...) {
        translate_current_exception();
        return -1;
    }
}

PyObject* id_getitem(PyObject* self, PyObject* key) noexcept {
    try {
        Shared<IdentityCirc> id(self);
        return to_py(id->at(wrap_index(arg<int64_t>(key, "idx"), id->len()))).release();
    } catch (...) {
        translate_current_exception();
        return nullptr;
    }
}

Ref id_str(PyObject* self) { return to_py(Shared<IdentityCirc>(self)->display()); }
Ref id_repr(PyObject* self) { return to_py("IdentityCirc(" + Shared<IdentityCirc>(self)->inner().debug() + ")"); }
uint64_t id_hash(PyObject* self) { return Shared<IdentityCirc>(self)->hash_value(); }
int id_cmp(PyObject* a, PyObject* b) {
    auto c = *Shared<IdentityCirc>(a) <=> *Shared<IdentityCirc>(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

PyMethodDef id_methods[] = {
    {"from_python", method_ptr<id_from_python>(), kStatic,
     "from_python(obj)\n--\n\nParses a Python-serialized identity object."},
    {"nqubits", method_ptr<id_nqubits>(), kMethod, "nqubits($self)\n--\n\nReturns number of qubits."},
    {"qargs_forward", method_ptr<id_qargs_forward>(), kMethod,
     "qargs_forward($self, gate_id)\n--\n\nFor each argument of gate `gate_id`, returns next gate index using that qubit."},
    {"qargs_backward", method_ptr<id_qargs_backward>(), kMethod,
     "qargs_backward($self, gate_id)\n--\n\nFor each argument of gate `gate_id`, returns previous gate index using that "
     "qubit."},
    {"check", method_ptr<id_check>(), kMethod, "check($self)\n--\n\nRandomized semantic check that this circuit is identity."},
    {"hash_value", method_ptr<id_hash_value>(), kMethod,
     "hash_value($self)\n--\n\nStable hash of the canonical identity representation."},
    {"pythonize", method_ptr<id_pythonize>(), kMethod,
     "pythonize($self)\n--\n\nConverts this identity to a Python-serializable form."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef id_getset[] = {
    {"inner", getter_entry<id_get_inner>, nullptr, "Underlying circuit representation.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

PyTypeObject* PyClass<IdentityCirc>::type() {
    static PyTypeObject* t = nullptr;
    if (!t)
        t = build_class_for<IdentityCirc>(
            "builtins.IdentityCirc",
            "IdentityCirc(circuit)\n--\n\nCanonical identity circuit (a circuit proven equivalent to identity).\n\n"
            "Creates an identity circuit and checks it is semantically valid.",
            {
                slot(Py_tp_new, ctor_entry<id_new>),
                slot(Py_tp_str, unary_entry<id_str>),
                slot(Py_tp_repr, unary_entry<id_repr>),
                slot(Py_tp_hash, hash_entry<id_hash>),
                slot(Py_tp_richcompare, ordered_richcompare<PyClass<IdentityCirc>::type, id_cmp>),
                slot(Py_mp_length, id_length),
                slot(Py_mp_subscript, id_getitem),
                {Py_tp_methods, id_methods},
                {Py_tp_getset, id_getset},
            });
    return t;
}

}  // namespace borvane::py
