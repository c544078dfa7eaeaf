// Entry points: the C signatures the interpreter calls, each wrapping a C++
// function so that every C++ exception is translated into a Python error.
#pragma once

#include "py/args.h"
#include "py/py.h"

namespace borvane::py {

using MethodFn = Ref (*)(PyObject* self, const Args& args);
using CtorFn = Ref (*)(PyTypeObject* type, const Args& args);
using UnaryFn = Ref (*)(PyObject* self);
using SetterFn = void (*)(PyObject* self, PyObject* value);
using HashFn = uint64_t (*)(PyObject* self);

// METH_FASTCALL | METH_KEYWORDS methods (instance or static).
template <MethodFn F>
PyObject* method_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    try {
        return F(self, Args::fastcall(args, nargs, kwnames)).release();
    } catch (...) {
        translate_current_exception();
        return nullptr;
    }
}

template <MethodFn F>
PyCFunction method_ptr() {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(&method_entry<F>));
}

inline constexpr int kMethod = METH_FASTCALL | METH_KEYWORDS;
inline constexpr int kStatic = METH_FASTCALL | METH_KEYWORDS | METH_STATIC;

// tp_new
template <CtorFn F>
PyObject* ctor_entry(PyTypeObject* type, PyObject* args, PyObject* kwargs) noexcept {
    try {
        return F(type, Args::tuple(args, kwargs)).release();
    } catch (...) {
        translate_current_exception();
        return nullptr;
    }
}

// tp_call, and methods taking (args tuple, kwargs dict)
template <MethodFn F>
PyObject* call_entry(PyObject* self, PyObject* args, PyObject* kwargs) noexcept {
    try {
        return F(self, Args::tuple(args, kwargs)).release();
    } catch (...) {
        translate_current_exception();
        return nullptr;
    }
}

// tp_str, tp_repr, property getters, nb_* unary slots
template <UnaryFn F>
PyObject* unary_entry(PyObject* self) noexcept {
    try {
        return F(self).release();
    } catch (...) {
        translate_current_exception();
        return nullptr;
    }
}

template <UnaryFn F>
PyObject* getter_entry(PyObject* self, void*) noexcept {
    return unary_entry<F>(self);
}

template <SetterFn F>
int setter_entry(PyObject* self, PyObject* value, void*) noexcept {
    if (!value) {
        PyErr_SetString(PyExc_AttributeError, "can't delete attribute");
        return -1;
    }
    try {
        F(self, value);
        return 0;
    } catch (...) {
        translate_current_exception();
        return -1;
    }
}

template <HashFn F>
Py_hash_t hash_entry(PyObject* self) noexcept {
    try {
        uint64_t h = F(self);
        Py_hash_t v = static_cast<Py_hash_t>(h);
        return v == -1 ? -2 : v;
    } catch (...) {
        translate_current_exception();
        return -1;
    }
}

// Equality-only rich comparison: `Eq(a, b)` is called when both operands are
// instances of `type_of()`; every other case is NotImplemented.
using EqFn = bool (*)(PyObject* a, PyObject* b);
using TypeFn = PyTypeObject* (*)();

template <TypeFn Type, EqFn Eq>
PyObject* eq_richcompare(PyObject* a, PyObject* b, int op) noexcept {
    try {
        if ((op != Py_EQ && op != Py_NE) || Py_TYPE(a) != Type() || Py_TYPE(b) != Type())
            Py_RETURN_NOTIMPLEMENTED;
        bool eq = Eq(a, b);
        return PyBool_FromLong((op == Py_EQ) == eq);
    } catch (...) {
        translate_current_exception();
        return nullptr;
    }
}

// Full ordering: `Cmp(a, b)` returns <0, 0 or >0 for two instances.
using CmpFn = int (*)(PyObject* a, PyObject* b);

template <TypeFn Type, CmpFn Cmp>
PyObject* ordered_richcompare(PyObject* a, PyObject* b, int op) noexcept {
    try {
        if (Py_TYPE(a) != Type() || Py_TYPE(b) != Type()) Py_RETURN_NOTIMPLEMENTED;
        int c = Cmp(a, b);
        bool r = false;
        switch (op) {
            case Py_LT: r = c < 0; break;
            case Py_LE: r = c <= 0; break;
            case Py_EQ: r = c == 0; break;
            case Py_NE: r = c != 0; break;
            case Py_GT: r = c > 0; break;
            case Py_GE: r = c >= 0; break;
        }
        return PyBool_FromLong(r);
    } catch (...) {
        translate_current_exception();
        return nullptr;
    }
}

template <class Fn>
PyType_Slot slot(int id, Fn* fn) {
    return PyType_Slot{id, reinterpret_cast<void*>(fn)};
}

}  // namespace borvane::py
