// The binding kernel's base: owning references and the C++ exceptions that
// carry a Python error back to the entry point that translates it.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <memory>
#include <string>

namespace borvane::py {

struct Decref {
    void operator()(PyObject* o) const noexcept { Py_XDECREF(o); }
};

// An owning reference.  Ownership leaves only through release().
class Ref {
public:
    Ref() = default;
    static Ref steal(PyObject* o) { return Ref(o); }
    static Ref borrow(PyObject* o) {
        Py_XINCREF(o);
        return Ref(o);
    }
    // Steals `o`, or throws PyErrorSet when it is null (an API call failed).
    static Ref check(PyObject* o);

    PyObject* get() const noexcept { return p_.get(); }
    PyObject* release() noexcept { return p_.release(); }
    explicit operator bool() const noexcept { return bool(p_); }

private:
    explicit Ref(PyObject* o) : p_(o) {}
    std::unique_ptr<PyObject, Decref> p_;
};

// Thrown when a Python exception is already set.
struct PyErrorSet {};

// Thrown to raise `type(message)` at the entry point.
struct PyRaise {
    PyObject* type;
    std::string message;
};

[[noreturn]] inline void raise(PyObject* type, std::string message) {
    throw PyRaise{type, std::move(message)};
}

// Throws PyErrorSet when `ok` is false (for C API calls returning -1 / NULL).
inline void ensure(bool ok) {
    if (!ok) throw PyErrorSet{};
}

inline Ref Ref::check(PyObject* o) {
    ensure(o != nullptr);
    return Ref(o);
}

// Sets the Python error for the C++ exception being handled.  Called from the
// catch block of every entry point, so no C++ exception reaches the interpreter.
void translate_current_exception() noexcept;

// The InternalFailure class (derived directly from BaseException).
PyObject* internal_failure_type() noexcept;

// str(o) as UTF-8; "<unprintable>" when that fails.
std::string to_text(PyObject* o);
// The type name of `o` for messages.
std::string type_name(PyObject* o);

}  // namespace borvane::py
