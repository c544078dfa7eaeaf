// Module entry: PyInit_borvane creates the module object once per process and
// registers the classes in their fixed order.
#include "py/classes.h"
#include "py/py.h"

namespace borvane::py {

namespace {

struct ClassEntry {
    const char* name;
    PyTypeObject* (*type)();
};

// The registration table.  Adding a class is one line here.
const ClassEntry kClasses[] = {
    {"Argument", &PyClass<Argument>::type},
    {"Instruction", &PyClass<Instruction>::type},
    {"Gate", &PyClass<Gate16>::type},
    {"Instr", &PyClass<Instr32>::type},
    {"StateVec", &PyClass<StateVec>::type},
    {"ECC", &PyClass<ECC>::type},
    {"ECCs", &PyClass<ECCs>::type},
    {"RawECCs", &PyClass<RawECCs>::type},
    {"Evaluator", &PyClass<Evaluator>::type},
    {"Circ", &PyClass<Circ>::type},
    {"IdentityCirc", &PyClass<IdentityCirc>::type},
};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "borvane",
    "Python extension module entrypoint.\n\n"
    "Registers the native classes of borvane, which are re-exported and wrapped by the "
    "package's __init__ file (python/borvane/__init__).",
    // 0 rather than -1: a repeated import calls PyInit_borvane again, which
    // hands back the one module object instead of a copy of its dict.
    0,
    nullptr,
};

PyObject* the_module = nullptr;
int64_t first_interpreter = -1;

PyObject* init_module() {
    int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id < 0) return nullptr;
    if (first_interpreter < 0) first_interpreter = id;
    if (id != first_interpreter) {
        PyErr_SetString(PyExc_ImportError, "borvane does not support sub-interpreters");
        return nullptr;
    }
    if (the_module) return Py_NewRef(the_module);

    Ref mod = Ref::check(PyModule_Create(&module_def));
    for (const ClassEntry& c : kClasses) {
        PyTypeObject* t = c.type();
        if (!t) return nullptr;
        if (PyModule_AddObjectRef(mod.get(), c.name, reinterpret_cast<PyObject*>(t)) < 0) return nullptr;
    }
    the_module = mod.release();
    return Py_NewRef(the_module);
}

}  // namespace

}  // namespace borvane::py

PyMODINIT_FUNC PyInit_borvane(void) {
    try {
        return borvane::py::init_module();
    } catch (...) {
        borvane::py::translate_current_exception();
        return nullptr;
    }
}
