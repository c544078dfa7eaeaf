// Python forms of Permut32: a tuple of ints out; any sequence of small ints
// in (checked as from_iter); and the dictionary form {"raw": int} used inside
// the dictionary forms of circuits.
#pragma once

#include "groups/permutation.h"
#include "py/convert.h"

namespace borvane::py {

template <>
struct Conv<Permut32> {
    static constexpr const char* name = "Sequence[int]";
    static Permut32 from(PyObject* o) { return Permut32::from_iter(Conv<std::vector<uint8_t>>::from(o)); }
    static Ref to(Permut32 p) {
        Ref t = Ref::check(PyTuple_New(Py_ssize_t(p.len())));
        Py_ssize_t i = 0;
        for (uint8_t v : p) PyTuple_SET_ITEM(t.get(), i++, Conv<uint8_t>::to(v).release());
        return t;
    }
};

Ref perm_to_python(Permut32 p);
// Accepts any unsigned 32-bit "raw" value without validation.
Permut32 perm_from_python(PyObject* o);

}  // namespace borvane::py
