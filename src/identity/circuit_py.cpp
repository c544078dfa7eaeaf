// Python class Circ.
#include "identity/circuit_py.h"

#include "circ/instr_py.h"
#include "groups/permutation_py.h"
#include "py/classes.h"
#include "py/entry.h"
#include "utils/errors.h"

namespace borvane::py {

size_t wrap_index(int64_t idx, size_t len) {
    if (len == 0) throw InternalError("attempt to calculate the remainder with a divisor of zero");
    int64_t n = int64_t(len), r = idx % n;
    return size_t(r < 0 ? r + n : r);
}

Ref circ_to_python(const Circ& c) {
    Ref d = Ref::check(PyDict_New());
    Ref list = Ref::check(PyList_New(Py_ssize_t(c.instrs.size())));
    for (size_t i = 0; i < c.instrs.size(); ++i)
        PyList_SET_ITEM(list.get(), Py_ssize_t(i), instr_to_python(c.instrs[i]).release());
    ensure(PyDict_SetItemString(d.get(), "instrs", list.get()) == 0);
    Ref perm = perm_to_python(c.perm);
    ensure(PyDict_SetItemString(d.get(), "perm", perm.get()) == 0);
    return d;
}

Circ circ_from_python(PyObject* o) {
    if (!PyDict_Check(o))
        raise(PyExc_TypeError, "a circuit in dictionary form must be a dict, got '" + type_name(o) + "'");
    PyObject* instrs = PyDict_GetItemString(o, "instrs");
    PyObject* perm = PyDict_GetItemString(o, "perm");
    if (!instrs || !perm) raise(PyExc_ValueError, "a circuit in dictionary form needs the keys 'instrs' and 'perm'");
    Circ c;
    c.instrs = instrs_from_python(instrs);
    c.perm = perm_from_python(perm);
    return c;
}

namespace {

Ref circ_new(PyTypeObject* type, const Args& a) {
    static constexpr Signature<2> sig{"Circ.__new__", {"instrs", "perm"}, 1};
    auto [pi, pp] = sig.parse(a);
    auto instrs = arg<std::vector<Instr32>>(pi, "instrs");
    if (!pp || pp == Py_None) return wrap_as(type, Circ::new_no_perm(std::move(instrs)));
    return wrap_as(type, Circ::create(std::move(instrs), arg<Permut32>(pp, "perm")));
}

Ref circ_get_instrs(PyObject* self) { return to_py(Shared<Circ>(self)->instrs); }
Ref circ_get_perm(PyObject* self) { return to_py(Shared<Circ>(self)->perm); }

#define CIRC_NOARG(fn, qual, expr)                 \
    Ref fn(PyObject* self, const Args& a) {        \
        Signature<0>{qual, {}}.parse(a);           \
        Shared<Circ> c(self);                      \
        return to_py(expr);                        \
    }

CIRC_NOARG(circ_nqubits, "Circ.nqubits", c->nqubits())
CIRC_NOARG(circ_len, "Circ.len", c->len())
CIRC_NOARG(circ_is_empty, "Circ.is_empty", c->is_empty())
CIRC_NOARG(circ_remove_swaps, "Circ.remove_swaps", c->remove_swaps())
CIRC_NOARG(circ_inverse, "Circ.inverse", c->inverse())
CIRC_NOARG(circ_representative, "Circ.representative", Circ(*c).representative())
CIRC_NOARG(circ_representative_with_perm, "Circ.representative_with_perm", Circ(*c).representative_with_perm())
CIRC_NOARG(circ_instrs_with_swaps, "Circ.instrs_with_swaps", c->instrs_with_swaps())
CIRC_NOARG(circ_rotate_representative, "Circ.rotate_representative", IdentityCirc::rotate_representative(*c))

#undef CIRC_NOARG

Ref circ_permut(PyObject* self, const Args& a) {
    static constexpr Signature<1> sig{"Circ.permut", {"perm"}};
    auto [pp] = sig.parse(a);
    Shared<Circ> c(self);
    return to_py(c->permut(arg<Permut32>(pp, "perm")));
}

Ref circ_rotate(PyObject* self, const Args& a) {
    static constexpr Signature<1> sig{"Circ.rotate", {"n"}};
    auto [pn] = sig.parse(a);
    Shared<Circ> c(self);
    return to_py(c->rotate(arg<int64_t>(pn, "n")));
}

Py_ssize_t circ_length(PyObject* self) noexcept {
    try {
        return Py_ssize_t(Shared<Circ>(self)->len());
    } catch (...) {
        translate_current_exception();
        return -1;
    }
}

PyObject* circ_getitem(PyObject* self, PyObject* key) noexcept {
    try {
        Shared<Circ> c(self);
        return to_py(c->instrs[wrap_index(arg<int64_t>(key, "idx"), c->len())]).release();
    } catch (...) {
        translate_current_exception();
        return nullptr;
    }
}

PyObject* circ_add(PyObject* a, PyObject* b) noexcept {
    try {
        if (!is_instance<Circ>(a) || !is_instance<Circ>(b)) Py_RETURN_NOTIMPLEMENTED;
        Shared<Circ> x(a), y(b);
        return to_py(*x + *y).release();
    } catch (...) {
        translate_current_exception();
        return nullptr;
    }
}

Ref circ_str(PyObject* self) { return to_py(Shared<Circ>(self)->display()); }
Ref circ_repr(PyObject* self) { return to_py(Shared<Circ>(self)->debug()); }
uint64_t circ_hash(PyObject* self) { return Shared<Circ>(self)->hash_value(); }
int circ_cmp(PyObject* a, PyObject* b) {
    auto c = *Shared<Circ>(a) <=> *Shared<Circ>(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

PyMethodDef circ_methods[] = {
    {"nqubits", method_ptr<circ_nqubits>(), kMethod, "nqubits($self)\n--\n\nNumber of qubits tracked by the permutation."},
    {"len", method_ptr<circ_len>(), kMethod, "len($self)\n--\n\nNumber of instructions."},
    {"is_empty", method_ptr<circ_is_empty>(), kMethod, "is_empty($self)\n--\n\nReturns whether the circuit is empty."},
    {"permut", method_ptr<circ_permut>(), kMethod, "permut($self, perm)\n--\n\nApplies a qubit permutation to this circuit."},
    {"rotate", method_ptr<circ_rotate>(), kMethod, "rotate($self, n)\n--\n\nCircularly rotates instruction order by `n`."},
    {"remove_swaps", method_ptr<circ_remove_swaps>(), kMethod,
     "remove_swaps($self)\n--\n\nRemoves explicit swap gates into the stored trailing permutation."},
    {"inverse", method_ptr<circ_inverse>(), kMethod, "inverse($self)\n--\n\nReturns inverse circuit."},
    {"representative", method_ptr<circ_representative>(), kMethod,
     "representative($self)\n--\n\nReturns canonical circuit representative."},
    {"representative_with_perm", method_ptr<circ_representative_with_perm>(), kMethod,
     "representative_with_perm($self)\n--\n\nReturns `(representative, applied_perm)` used in canonicalization."},
    {"instrs_with_swaps", method_ptr<circ_instrs_with_swaps>(), kMethod,
     "instrs_with_swaps($self)\n--\n\nReturns instructions plus swaps needed for stored permutation."},
    {"rotate_representative", method_ptr<circ_rotate_representative>(), kMethod,
     "rotate_representative($self)\n--\n\nReturns canonical identity representative across rotations/permutations."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef circ_getset[] = {
    {"instrs", getter_entry<circ_get_instrs>, nullptr, "Instructions, applied first to last.", nullptr},
    {"perm", getter_entry<circ_get_perm>, nullptr, "Trailing qubit permutation.", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

PyTypeObject* PyClass<Circ>::type() {
    static PyTypeObject* t = nullptr;
    if (!t)
        t = build_class_for<Circ>(
            "builtins.Circ",
            "Circ(instrs, perm=None)\n--\n\nCircuit with an explicit trailing qubit permutation.\n\n"
            "Creates a circuit from instructions and an optional permutation.",
            {
                slot(Py_tp_new, ctor_entry<circ_new>),
                slot(Py_tp_str, unary_entry<circ_str>),
                slot(Py_tp_repr, unary_entry<circ_repr>),
                slot(Py_tp_hash, hash_entry<circ_hash>),
                slot(Py_tp_richcompare, ordered_richcompare<PyClass<Circ>::type, circ_cmp>),
                slot(Py_mp_length, circ_length),
                slot(Py_mp_subscript, circ_getitem),
                slot(Py_nb_add, circ_add),
                {Py_tp_methods, circ_methods},
                {Py_tp_getset, circ_getset},
            });
    return t;
}

}  // namespace borvane::py
