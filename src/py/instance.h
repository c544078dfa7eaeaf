// The heap-type recipe shared by every class: an instance holds its native
// record by value plus a borrow flag; classes are created on first use with
// PyType_FromSpec, named "builtins.<Name>", cannot be subclassed and have no
// __dict__ or weak references.
#pragma once

#include <cstdint>
#include <new>
#include <utility>
#include <vector>

#include "py/py.h"

namespace borvane::py {

// Maps a native record to its Python class.  Each class's _py.cpp defines
// `type()`; the specialisations are declared in py/classes.h.
template <class T>
struct PyClass;

template <class T>
struct Instance {
    PyObject_HEAD
    // > 0: that many shared borrows; -1: one exclusive borrow.
    int32_t borrow;
    T value;
};

template <class T>
Instance<T>* as_instance(PyObject* o) noexcept {
    return reinterpret_cast<Instance<T>*>(o);
}

template <class T>
PyTypeObject* class_type() {
    PyTypeObject* t = PyClass<T>::type();
    ensure(t != nullptr);
    return t;
}

template <class T>
bool is_instance(PyObject* o) {
    return Py_TYPE(o) == class_type<T>();
}

// A shared borrow of an instance's record for the duration of a call.
template <class T>
class Shared {
public:
    explicit Shared(PyObject* o) : o_(as_instance<T>(o)) {
        if (o_->borrow < 0) raise(PyExc_RuntimeError, "Already mutably borrowed");
        ++o_->borrow;
    }
    ~Shared() { --o_->borrow; }
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;
    const T& operator*() const noexcept { return o_->value; }
    const T* operator->() const noexcept { return &o_->value; }

private:
    Instance<T>* o_;
};

// An exclusive borrow, taken by setters and mutating methods.
template <class T>
class Exclusive {
public:
    explicit Exclusive(PyObject* o) : o_(as_instance<T>(o)) {
        if (o_->borrow != 0) raise(PyExc_RuntimeError, "Already borrowed");
        o_->borrow = -1;
    }
    ~Exclusive() { o_->borrow = 0; }
    Exclusive(const Exclusive&) = delete;
    Exclusive& operator=(const Exclusive&) = delete;
    T& operator*() const noexcept { return o_->value; }
    T* operator->() const noexcept { return &o_->value; }

private:
    Instance<T>* o_;
};

// Allocates an instance of `type` holding `value`.
template <class T>
Ref wrap_as(PyTypeObject* type, T&& value) {
    PyObject* o = type->tp_alloc(type, 0);
    ensure(o != nullptr);
    auto* inst = as_instance<std::decay_t<T>>(o);
    inst->borrow = 0;
    try {
        new (&inst->value) std::decay_t<T>(std::forward<T>(value));
    } catch (...) {
        // The record was never built: free the bare object without running
        // the record's destructor.
        type->tp_free(o);
        Py_DECREF(type);
        throw;
    }
    return Ref::steal(o);
}

// A new Python object of T's class holding a copy of `value`.
template <class T>
Ref wrap(T value) {
    return wrap_as(class_type<T>(), std::move(value));
}

template <class T>
void dealloc(PyObject* self) noexcept {
    PyTypeObject* type = Py_TYPE(self);
    as_instance<T>(self)->value.~T();
    type->tp_free(self);
    Py_DECREF(type);
}

// Creates a class.  `name` is "builtins.<Name>" and `doc` starts with the
// constructor's text signature.  A class without Py_tp_new among its slots
// cannot be instantiated from Python.  Pointers in `slots` (method tables,
// docstrings) must have static storage.
PyTypeObject* build_class(const char* name, const char* doc, int basicsize, destructor dealloc,
                          std::vector<PyType_Slot> slots);

template <class T>
PyTypeObject* build_class_for(const char* name, const char* doc, std::vector<PyType_Slot> slots) {
    return build_class(name, doc, int(sizeof(Instance<T>)), &dealloc<T>, std::move(slots));
}

// Narrows a stable 64-bit hash to Python's hash width; -1 becomes -2.
inline Py_hash_t narrow_hash(uint64_t h) noexcept {
    Py_hash_t v = static_cast<Py_hash_t>(h);
    return v == -1 ? -2 : v;
}

}  // namespace borvane::py
