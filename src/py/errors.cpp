#include <new>

#include "py/py.h"
#include "utils/errors.h"

namespace borvane::py {

PyObject* internal_failure_type() noexcept {
    // Created once per process.  The class lives in the package's Python
    // module `borvane._failure`, so users can name it as borvane.InternalFailure;
    // without the package (the extension loaded on its own) an equivalent
    // class is made here.
    static PyObject* type = nullptr;
    if (type) return type;
    PyObject *ptype, *pvalue, *ptb;
    PyErr_Fetch(&ptype, &pvalue, &ptb);
    PyObject* mod = PyImport_ImportModule("borvane._failure");
    if (mod) {
        PyObject* cls = PyObject_GetAttrString(mod, "InternalFailure");
        Py_DECREF(mod);
        if (cls && PyExceptionClass_Check(cls) &&
            reinterpret_cast<PyTypeObject*>(cls)->tp_base == reinterpret_cast<PyTypeObject*>(PyExc_BaseException))
            type = cls;
        else
            Py_XDECREF(cls);
    }
    if (!type) {
        PyErr_Clear();
        type = PyErr_NewExceptionWithDoc(
            "borvane.InternalFailure",
            "Raised when an internal consistency check or a documented precondition fails.",
            PyExc_BaseException, nullptr);
        if (!type) Py_FatalError("borvane: cannot create the InternalFailure exception class");
    }
    PyErr_Restore(ptype, pvalue, ptb);
    return type;
}

std::string to_text(PyObject* o) {
    PyObject* s = PyObject_Str(o);
    if (!s) {
        PyErr_Clear();
        return "<unprintable>";
    }
    Py_ssize_t n = 0;
    const char* u = PyUnicode_AsUTF8AndSize(s, &n);
    std::string out = u ? std::string(u, size_t(n)) : "<unprintable>";
    if (!u) PyErr_Clear();
    Py_DECREF(s);
    return out;
}

std::string type_name(PyObject* o) {
    // __name__ rather than tp_name, which for this module's classes reads
    // "builtins.<Name>".
    PyObject* name = PyType_GetName(Py_TYPE(o));
    if (!name) {
        PyErr_Clear();
        return "?";
    }
    std::string out = to_text(name);
    Py_DECREF(name);
    return out;
}

namespace {
void set_internal_failure(const char* message) noexcept {
    PyObject* t = internal_failure_type();
    PyErr_SetString(t, message);
}
}  // namespace

void translate_current_exception() noexcept {
    try {
        throw;
    } catch (const PyErrorSet&) {
        if (!PyErr_Occurred()) set_internal_failure("a Python error was reported but none is set");
    } catch (const PyRaise& e) {
        PyErr_SetString(e.type, e.message.c_str());
    } catch (const InternalError& e) {
        set_internal_failure(e.what());
    } catch (const ValueError& e) {
        PyErr_SetString(PyExc_ValueError, e.what());
    } catch (const IoError& e) {
        PyErr_SetString(PyExc_OSError, e.what());
    } catch (const std::bad_alloc&) {
        PyErr_NoMemory();
    } catch (const std::exception& e) {
        set_internal_failure(e.what());
    } catch (...) {
        set_internal_failure("unknown native exception");
    }
}

}  // namespace borvane::py
