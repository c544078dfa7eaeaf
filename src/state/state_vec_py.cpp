// Python class StateVec.
#include "state/state_vec.h"

#include "py/classes.h"
#include "py/convert.h"
#include "py/entry.h"

namespace borvane::py {

namespace {

Ref sv_new(PyTypeObject* type, const Args& a) {
    static constexpr Signature<2> sig{"StateVec.__new__", {"re", "im"}};
    auto [pr, pi] = sig.parse(a);
    auto re = arg<std::vector<double>>(pr, "re");
    auto im = arg<std::vector<double>>(pi, "im");
    return wrap_as(type, StateVec(std::move(re), std::move(im)));
}

// A random state from a fresh OS-seeded generator, drawn by `Draw`.
template <StateVec (*Draw)(Rng&, uint32_t)>
Ref random_state(const Args& a, const char* qualname) {
    Signature<1> sig{qualname, {"num_qubits"}};
    auto [pn] = sig.parse(a);
    uint32_t n = arg<uint32_t>(pn, "num_qubits");
    Rng rng = make_os_seeded_rng();
    return to_py(Draw(rng, n));
}

Ref sv_random(PyObject*, const Args& a) { return random_state<StateVec::from_random>(a, "StateVec.random"); }
Ref sv_random_symmetric(PyObject*, const Args& a) {
    return random_state<StateVec::from_random_symmetric>(a, "StateVec.random_symmetric");
}

template <Ref (*Body)(PyObject*)>
Ref no_args(PyObject* self, const Args& a, const char* qualname) {
    Signature<0> sig{qualname, {}};
    sig.parse(a);
    return Body(self);
}

#define SV_NOARG(fn, qual, body)                                         \
    Ref fn##_body(PyObject* self) { body }                                \
    Ref fn(PyObject* self, const Args& a) { return no_args<fn##_body>(self, a, qual); }

SV_NOARG(sv_hash_value, "StateVec.hash_value", return to_py(Shared<StateVec>(self)->hash_value());)
SV_NOARG(sv_nqubits, "StateVec.nqubits", return to_py(Shared<StateVec>(self)->nqubits());)
SV_NOARG(sv_len, "StateVec.len", return to_py(Shared<StateVec>(self)->len());)
SV_NOARG(sv_normalize, "StateVec.normalize", Exclusive<StateVec>(self)->normalize(); return Ref::borrow(Py_None);)
SV_NOARG(sv_normalize_arg, "StateVec.normalize_arg", Exclusive<StateVec>(self)->normalize_arg();
         return Ref::borrow(Py_None);)
SV_NOARG(sv_clone, "StateVec.clone", return to_py(Shared<StateVec>(self)->clone());)
SV_NOARG(sv_check, "StateVec.check", return to_py(Shared<StateVec>(self)->check());)

#undef SV_NOARG

size_t checked_index(const StateVec& s, PyObject* key) {
    uint32_t i = arg<uint32_t>(key, "index");
    if (i >= s.len())
        throw InternalError("index out of range: the len is " + std::to_string(s.len()) + " but the index is " +
                            std::to_string(i));
    return i;
}

PyObject* sv_getitem(PyObject* self, PyObject* key) noexcept {
    try {
        Shared<StateVec> s(self);
        size_t i = checked_index(*s, key);
        return Ref::check(PyComplex_FromDoubles(s->re()[i], s->im()[i])).release();
    } catch (...) {
        translate_current_exception();
        return nullptr;
    }
}

int sv_setitem(PyObject* self, PyObject* key, PyObject* value) noexcept {
    if (!value) {
        PyErr_SetString(PyExc_NotImplementedError, "can't delete item");
        return -1;
    }
    try {
        Exclusive<StateVec> s(self);
        size_t i = checked_index(*s, key);
        Py_complex c = PyComplex_AsCComplex(value);
        if (c.real == -1.0 && PyErr_Occurred()) {
            prefix_type_error("value");
            throw PyErrorSet{};
        }
        s->re(i) = c.real;
        s->im(i) = c.imag;
        return 0;
    } catch (...) {
        translate_current_exception();
        return -1;
    }
}

// sv *= instr applies one instruction in place.
PyObject* sv_imul(PyObject* self, PyObject* other) noexcept {
    try {
        if (Py_TYPE(self) != PyClass<StateVec>::type() || !is_instance<Instr32>(other)) Py_RETURN_NOTIMPLEMENTED;
        Instr32 instr = *Shared<Instr32>(other);
        Exclusive<StateVec>(self)->apply(instr);
        return Py_NewRef(self);
    } catch (...) {
        translate_current_exception();
        return nullptr;
    }
}

Ref sv_str(PyObject* self) { return to_py(Shared<StateVec>(self)->display()); }
bool sv_eq(PyObject* a, PyObject* b) { return *Shared<StateVec>(a) == *Shared<StateVec>(b); }

PyMethodDef sv_methods[] = {
    {"random", method_ptr<sv_random>(), kStatic, "random(num_qubits)\n--\n\nCreates a random normalized state."},
    {"random_symmetric", method_ptr<sv_random_symmetric>(), kStatic,
     "random_symmetric(num_qubits)\n--\n\nCreates a random state tailored for symmetry-aware evaluator use."},
    {"hash_value", method_ptr<sv_hash_value>(), kMethod, "hash_value($self)\n--\n\nHashes the current normalized state."},
    {"nqubits", method_ptr<sv_nqubits>(), kMethod, "nqubits($self)\n--\n\nReturns qubit count."},
    {"len", method_ptr<sv_len>(), kMethod, "len($self)\n--\n\nReturns vector length (`2^nqubits`)."},
    {"normalize", method_ptr<sv_normalize>(), kMethod, "normalize($self)\n--\n\nNormalizes the state vector in place."},
    {"normalize_arg", method_ptr<sv_normalize_arg>(), kMethod,
     "normalize_arg($self)\n--\n\nCanonicalizes global phase for stable equality/hash comparison."},
    {"clone", method_ptr<sv_clone>(), kMethod, "clone($self)\n--\n\nReturns a deep copy."},
    {"check", method_ptr<sv_check>(), kMethod, "check($self)\n--\n\nChecks unit-norm invariant."},
    {nullptr, nullptr, 0, nullptr},
};

}  // namespace

PyTypeObject* PyClass<StateVec>::type() {
    static PyTypeObject* t = nullptr;
    if (!t)
        t = build_class_for<StateVec>(
            "builtins.StateVec",
            "StateVec(re, im)\n--\n\nComplex state vector used for randomized circuit evaluation.\n\n"
            "Creates a state vector from real/imaginary coefficient arrays.",
            {
                slot(Py_tp_new, ctor_entry<sv_new>),
                slot(Py_tp_str, unary_entry<sv_str>),
                slot(Py_tp_richcompare, eq_richcompare<PyClass<StateVec>::type, sv_eq>),
                slot(Py_mp_subscript, sv_getitem),
                slot(Py_mp_ass_subscript, sv_setitem),
                slot(Py_nb_inplace_multiply, sv_imul),
                {Py_tp_methods, sv_methods},
            });
    return t;
}

}  // namespace borvane::py
