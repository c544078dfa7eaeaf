// The argument parser shared by every method and constructor: positional or
// keyword by the names of the text signature, defaults for trailing optional
// parameters, and interpreter-style messages naming `Class.method()`.
#pragma once

#include <array>
#include <cstddef>

#include "py/py.h"

namespace borvane::py {

// The arguments of one call, in either calling convention.
struct Args {
    PyObject* const* args = nullptr;  // positional, then keyword values (vectorcall)
    Py_ssize_t nargs = 0;             // number of positional arguments
    PyObject* kwnames = nullptr;      // tuple of keyword names (vectorcall), or null
    PyObject* kwdict = nullptr;       // keyword dict (tp_new / tp_call), or null

    static Args fastcall(PyObject* const* a, Py_ssize_t n, PyObject* kw) {
        return Args{a, PyVectorcall_NARGS(n), kw, nullptr};
    }
    static Args tuple(PyObject* tuple, PyObject* kwargs) {
        return Args{&PyTuple_GET_ITEM(tuple, 0), PyTuple_GET_SIZE(tuple), nullptr,
                    kwargs && PyDict_GET_SIZE(kwargs) ? kwargs : nullptr};
    }
};

struct ParamList {
    const char* qualname;      // "Gate.from_name"
    const char* const* names;  // parameter names in signature order
    size_t count;
    size_t required;           // the first `required` parameters have no default
};

// Fills `out[0 .. count)` with borrowed references (null for an omitted
// optional parameter).  Throws PyErrorSet with a TypeError on a bad call.
void parse_args(const ParamList& p, const Args& a, PyObject** out);

template <size_t N>
struct Signature {
    const char* qualname;
    std::array<const char*, N> names;
    size_t required = N;

    std::array<PyObject*, N> parse(const Args& a) const {
        std::array<PyObject*, N> out{};
        parse_args(ParamList{qualname, names.data(), N, required}, a, out.data());
        return out;
    }
};

}  // namespace borvane::py
