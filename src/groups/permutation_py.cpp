#include "groups/permutation_py.h"

namespace borvane::py {

Ref perm_to_python(Permut32 p) {
    Ref d = Ref::check(PyDict_New());
    Ref raw = Conv<uint32_t>::to(p.raw());
    ensure(PyDict_SetItemString(d.get(), "raw", raw.get()) == 0);
    return d;
}

Permut32 perm_from_python(PyObject* o) {
    if (!PyDict_Check(o)) raise(PyExc_TypeError, "a permutation must be a dict with the key 'raw', got '" + type_name(o) + "'");
    PyObject* raw = PyDict_GetItemString(o, "raw");
    if (!raw) raise(PyExc_ValueError, "a permutation dict needs the key 'raw'");
    return Permut32::from_raw(Conv<uint32_t>::from(raw));
}

}  // namespace borvane::py
