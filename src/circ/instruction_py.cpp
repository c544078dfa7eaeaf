// Python classes Argument and Instruction: mutable register-level values.
#include "circ/instruction.h"

#include "py/classes.h"
#include "py/convert.h"
#include "py/entry.h"

namespace borvane::py {

namespace {

// An element of Instruction's qargs/cargs in the constructor: an Argument, or
// a 2-tuple (str, int) standing for Argument(str, int).
struct ArgumentOrPair {
    Argument value;
};

}  // namespace

template <>
struct Conv<ArgumentOrPair> {
    static ArgumentOrPair from(PyObject* o) {
        if (is_instance<Argument>(o)) return {*Shared<Argument>(o)};
        if (PyTuple_Check(o) && PyTuple_GET_SIZE(o) == 2) {
            try {
                std::string regid = Conv<std::string>::from(PyTuple_GET_ITEM(o, 0));
                size_t index = Conv<size_t>::from(PyTuple_GET_ITEM(o, 1));
                return {Argument{std::move(regid), index}};
            } catch (const PyErrorSet&) {
                PyErr_Clear();
            } catch (const PyRaise&) {
            }
        }
        raise(PyExc_TypeError, "'" + type_name(o) + "' object cannot be converted to 'Argument' or 'tuple[str, int]'");
    }
};

namespace {

std::vector<Argument> unpair(std::vector<ArgumentOrPair> v) {
    std::vector<Argument> out;
    out.reserve(v.size());
    for (auto& a : v) out.push_back(std::move(a.value));
    return out;
}

// --- Argument -----------------------------------------------------------------

Ref argument_new(PyTypeObject* type, const Args& a) {
    static constexpr Signature<2> sig{"Argument.__new__", {"regid", "index"}};
    auto [pr, pi] = sig.parse(a);
    auto regid = arg<std::string>(pr, "regid");
    auto index = arg<size_t>(pi, "index");
    return wrap_as(type, Argument{std::move(regid), index});
}

Ref argument_get_regid(PyObject* self) { return to_py(Shared<Argument>(self)->regid); }
Ref argument_get_index(PyObject* self) { return to_py(Shared<Argument>(self)->index); }
void argument_set_regid(PyObject* self, PyObject* v) {
    Exclusive<Argument> e(self);
    e->regid = arg<std::string>(v, "regid");
}
void argument_set_index(PyObject* self, PyObject* v) {
    Exclusive<Argument> e(self);
    e->index = arg<size_t>(v, "index");
}

Ref argument_str(PyObject* self) { return to_py(Shared<Argument>(self)->display()); }
Ref argument_repr(PyObject* self) { return to_py(Shared<Argument>(self)->debug()); }
uint64_t argument_hash(PyObject* self) { return Shared<Argument>(self)->hash_value(); }
bool argument_eq(PyObject* a, PyObject* b) { return *Shared<Argument>(a) == *Shared<Argument>(b); }

PyGetSetDef argument_getset[] = {
    {"regid", getter_entry<argument_get_regid>, setter_entry<argument_set_regid>, "Register name.", nullptr},
    {"index", getter_entry<argument_get_index>, setter_entry<argument_set_index>, "Element index within the register.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

// --- Instruction --------------------------------------------------------------

Ref instruction_new(PyTypeObject* type, const Args& a) {
    static constexpr Signature<3> sig{"Instruction.__new__", {"gate", "qargs", "cargs"}, 2};
    auto [pg, pq, pc] = sig.parse(a);
    Instruction ins;
    ins.gate = arg<Gate16>(pg, "gate");
    ins.qargs = unpair(arg<std::vector<ArgumentOrPair>>(pq, "qargs"));
    if (pc) ins.cargs = unpair(arg<std::vector<ArgumentOrPair>>(pc, "cargs"));
    return wrap_as(type, std::move(ins));
}

Ref instruction_get_gate(PyObject* self) { return to_py(Shared<Instruction>(self)->gate); }
Ref instruction_get_qargs(PyObject* self) { return to_py(Shared<Instruction>(self)->qargs); }
Ref instruction_get_cargs(PyObject* self) { return to_py(Shared<Instruction>(self)->cargs); }
void instruction_set_gate(PyObject* self, PyObject* v) {
    Exclusive<Instruction> e(self);
    e->gate = arg<Gate16>(v, "gate");
}
// The setters take Argument objects only; pairs are a convenience of the
// constructor.
void instruction_set_qargs(PyObject* self, PyObject* v) {
    Exclusive<Instruction> e(self);
    e->qargs = arg<std::vector<Argument>>(v, "qargs");
}
void instruction_set_cargs(PyObject* self, PyObject* v) {
    Exclusive<Instruction> e(self);
    e->cargs = arg<std::vector<Argument>>(v, "cargs");
}

Ref instruction_str(PyObject* self) { return to_py(Shared<Instruction>(self)->display()); }
Ref instruction_repr(PyObject* self) { return to_py(Shared<Instruction>(self)->debug()); }
uint64_t instruction_hash(PyObject* self) { return Shared<Instruction>(self)->hash_value(); }
bool instruction_eq(PyObject* a, PyObject* b) { return *Shared<Instruction>(a) == *Shared<Instruction>(b); }

PyGetSetDef instruction_getset[] = {
    {"gate", getter_entry<instruction_get_gate>, setter_entry<instruction_set_gate>, "Gate applied by the instruction.",
     nullptr},
    {"qargs", getter_entry<instruction_get_qargs>, setter_entry<instruction_set_qargs>, "Quantum arguments.", nullptr},
    {"cargs", getter_entry<instruction_get_cargs>, setter_entry<instruction_set_cargs>, "Classical arguments.",
     nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

}  // namespace

PyTypeObject* PyClass<Argument>::type() {
    static PyTypeObject* t = nullptr;
    if (!t)
        t = build_class_for<Argument>(
            "builtins.Argument",
            "Argument(regid, index)\n--\n\nA named register argument (e.g., `q[0]`, `c[2]`) used by high-level "
            "instructions.",
            {
                slot(Py_tp_new, ctor_entry<argument_new>),
                slot(Py_tp_str, unary_entry<argument_str>),
                slot(Py_tp_repr, unary_entry<argument_repr>),
                slot(Py_tp_hash, hash_entry<argument_hash>),
                slot(Py_tp_richcompare, eq_richcompare<PyClass<Argument>::type, argument_eq>),
                {Py_tp_getset, argument_getset},
            });
    return t;
}

PyTypeObject* PyClass<Instruction>::type() {
    static PyTypeObject* t = nullptr;
    if (!t)
        t = build_class_for<Instruction>(
            "builtins.Instruction",
            "Instruction(gate, qargs, cargs=...)\n--\n\nA high-level instruction with gate + explicit "
            "quantum/classical register arguments.",
            {
                slot(Py_tp_new, ctor_entry<instruction_new>),
                slot(Py_tp_str, unary_entry<instruction_str>),
                slot(Py_tp_repr, unary_entry<instruction_repr>),
                slot(Py_tp_hash, hash_entry<instruction_hash>),
                slot(Py_tp_richcompare, eq_richcompare<PyClass<Instruction>::type, instruction_eq>),
                {Py_tp_getset, instruction_getset},
            });
    return t;
}

}  // namespace borvane::py
