// Python classes ECC and ECCs.
#include "search/ecc.h"

#include "io/postcard.h"
#include "py/classes.h"
#include "py/entry.h"
#include "py/file_path.h"
#include "search/quartz.h"

namespace borvane::py {

namespace {

// --- ECC ----------------------------------------------------------------------

Ref ecc_circuits(PyObject* self, const Args& a) {
    Signature<0>{"ECC.circuits", {}}.parse(a);
    return to_py(Shared<ECC>(self)->circuits());
}

Ref ecc_str(PyObject* self) { return to_py(Shared<ECC>(self)->display()); }
bool ecc_eq(PyObject* a, PyObject* b) { return *Shared<ECC>(a) == *Shared<ECC>(b); }

PyMethodDef ecc_methods[] = {
    {"circuits", method_ptr<ecc_circuits>(), kMethod,
     "circuits($self)\n--\n\nReturns all circuits in this class with swap instructions materialized."},
    {nullptr, nullptr, 0, nullptr},
};

// --- ECCs ---------------------------------------------------------------------

Ref eccs_get_nqubits(PyObject* self) { return to_py(Shared<ECCs>(self)->nqubits); }

Py_ssize_t eccs_length(PyObject* self) noexcept {
    try {
        return Py_ssize_t(Shared<ECCs>(self)->eccs.size());
    } catch (...) {
        translate_current_exception();
        return -1;
    }
}

Ref eccs_check(PyObject* self, const Args& a) {
    Signature<0>{"ECCs.check", {}}.parse(a);
    return to_py(Shared<ECCs>(self)->check());
}

Ref eccs_to_list(PyObject* self, const Args& a) {
    Signature<0>{"ECCs.to_list", {}}.parse(a);
    return to_py(Shared<ECCs>(self)->eccs);
}

Ref eccs_filter_single(PyObject* self, const Args& a) {
    Signature<0>{"ECCs.filter_single", {}}.parse(a);
    return to_py(Shared<ECCs>(self)->filter_single());
}

Ref eccs_to_identity_circuits(PyObject* self, const Args& a) {
    Signature<0>{"ECCs.to_identity_circuits", {}}.parse(a);
    return to_py(Shared<ECCs>(self)->to_identity_circuits());
}

Ref eccs_dump_quartz(PyObject* self, const Args& a) {
    static constexpr Signature<1> sig{"ECCs.dump_quartz", {"filepath"}};
    auto [pf] = sig.parse(a);
    Shared<ECCs> e(self);
    dump_quartz(*e, arg<FilePath>(pf, "filepath").path);
    return Ref::borrow(Py_None);
}

Ref eccs_dump_postcard(PyObject* self, const Args& a) {
    static constexpr Signature<1> sig{"ECCs.dump_postcard", {"filepath"}};
    auto [pf] = sig.parse(a);
    Shared<ECCs> e(self);
    dump_postcard(*e, arg<FilePath>(pf, "filepath").path);
    return Ref::borrow(Py_None);
}

Ref eccs_load_postcard(PyObject*, const Args& a) {
    static constexpr Signature<1> sig{"ECCs.from_postcard", {"filepath"}};
    auto [pf] = sig.parse(a);
    return to_py(eccs_from_postcard(arg<FilePath>(pf, "filepath").path));
}

Ref eccs_str(PyObject* self) { return to_py(Shared<ECCs>(self)->display()); }
bool eccs_eq(PyObject* a, PyObject* b) { return *Shared<ECCs>(a) == *Shared<ECCs>(b); }

PyMethodDef eccs_methods[] = {
    {"check", method_ptr<eccs_check>(), kMethod,
     "check($self)\n--\n\nReturns classes that fail randomized equivalence checks."},
    {"to_list", method_ptr<eccs_to_list>(), kMethod, "to_list($self)\n--\n\nReturns all classes as a Python list."},
    {"filter_single", method_ptr<eccs_filter_single>(), kMethod,
     "filter_single($self)\n--\n\nRemoves classes with only one circuit."},
    {"to_identity_circuits", method_ptr<eccs_to_identity_circuits>(), kMethod,
     "to_identity_circuits($self)\n--\n\nConverts classes into canonical identities plus witness circuit pairs."},
    {"dump_quartz", method_ptr<eccs_dump_quartz>(), kMethod,
     "dump_quartz($self, filepath)\n--\n\nExports ECCs to Quartz JSON format."},
    {"dump_postcard", method_ptr<eccs_dump_postcard>(), kMethod,
     "dump_postcard($self, filepath)\n--\n\nSaves ECCs as postcard."},
    {"from_postcard", method_ptr<eccs_load_postcard>(), kStatic,
     "from_postcard(filepath)\n--\n\nLoads ECCs from a postcard file."},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef eccs_getset[] = {
    {"nqubits", getter_entry<eccs_get_nqubits>, nullptr, "Number of qubits of every circuit in the collection.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

PyTypeObject* PyClass<ECC>::type() {
    static PyTypeObject* t = nullptr;
    if (!t)
        t = build_class_for<ECC>("builtins.ECC", "One equivalence class of circuits.",
                                 {
                                     slot(Py_tp_str, unary_entry<ecc_str>),
                                     slot(Py_tp_richcompare, eq_richcompare<PyClass<ECC>::type, ecc_eq>),
                                     {Py_tp_methods, ecc_methods},
                                 });
    return t;
}

PyTypeObject* PyClass<ECCs>::type() {
    static PyTypeObject* t = nullptr;
    if (!t)
        t = build_class_for<ECCs>("builtins.ECCs", "Collection of equivalence classes for a fixed number of qubits.",
                                  {
                                      slot(Py_tp_str, unary_entry<eccs_str>),
                                      slot(Py_tp_richcompare, eq_richcompare<PyClass<ECCs>::type, eccs_eq>),
                                      slot(Py_mp_length, eccs_length),
                                      {Py_tp_methods, eccs_methods},
                                      {Py_tp_getset, eccs_getset},
                                  });
    return t;
}

}  // namespace borvane::py
