#include "py/instance.h"

namespace borvane::py {

PyTypeObject* build_class(const char* name, const char* doc, int basicsize, destructor dealloc,
                          std::vector<PyType_Slot> slots) {
    bool constructible = false;
    for (const PyType_Slot& s : slots)
        if (s.slot == Py_tp_new) constructible = true;
    slots.push_back({Py_tp_dealloc, reinterpret_cast<void*>(dealloc)});
    slots.push_back({Py_tp_doc, const_cast<char*>(doc)});
    slots.push_back({0, nullptr});
    unsigned flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_IMMUTABLETYPE;
    if (!constructible) flags |= Py_TPFLAGS_DISALLOW_INSTANTIATION;
    PyType_Spec spec{name, basicsize, 0, flags, slots.data()};
    return reinterpret_cast<PyTypeObject*>(PyType_FromSpec(&spec));
}

}  // namespace borvane::py
