#include "py/convert.h"

namespace borvane::py {

unsigned long long index_to_u64(PyObject* o, unsigned long long max) {
    Ref idx = Ref::check(PyNumber_Index(o));
    unsigned long long v = PyLong_AsUnsignedLongLong(idx.get());
    if (v == static_cast<unsigned long long>(-1) && PyErr_Occurred()) throw PyErrorSet{};
    if (v > max) raise(PyExc_OverflowError, "out of range integral type conversion attempted");
    return v;
}

long long index_to_i64(PyObject* o) {
    Ref idx = Ref::check(PyNumber_Index(o));
    long long v = PyLong_AsLongLong(idx.get());
    if (v == -1 && PyErr_Occurred()) throw PyErrorSet{};
    return v;
}

double Conv<double>::from(PyObject* o) {
    double v = PyFloat_AsDouble(o);
    if (v == -1.0 && PyErr_Occurred()) throw PyErrorSet{};
    return v;
}

std::string Conv<std::string>::from(PyObject* o) {
    if (!PyUnicode_Check(o)) raise_wrong_type(o, "str");
    Py_ssize_t n = 0;
    const char* s = PyUnicode_AsUTF8AndSize(o, &n);
    if (!s) throw PyErrorSet{};
    return std::string(s, size_t(n));
}

Ref Conv<std::string>::to(const std::string& v) {
    return Ref::check(PyUnicode_DecodeUTF8(v.data(), Py_ssize_t(v.size()), "surrogateescape"));
}

void require_sequence(PyObject* o) {
    if (PyUnicode_Check(o)) raise(PyExc_TypeError, "a str cannot be read as a sequence of values");
    if (!PySequence_Check(o)) raise_wrong_type(o, "Sequence");
}

void raise_wrong_type(PyObject* o, const char* expected) {
    raise(PyExc_TypeError, "'" + type_name(o) + "' object cannot be converted to '" + expected + "'");
}

void prefix_type_error(const char* name) {
    if (!PyErr_ExceptionMatches(PyExc_TypeError)) return;
    PyObject *type, *value, *tb;
    PyErr_Fetch(&type, &value, &tb);
    PyErr_NormalizeException(&type, &value, &tb);
    std::string msg = value ? to_text(value) : std::string();
    Py_XDECREF(type);
    Py_XDECREF(value);
    Py_XDECREF(tb);
    PyErr_SetString(PyExc_TypeError, (std::string("argument '") + name + "': " + msg).c_str());
}

}  // namespace borvane::py
