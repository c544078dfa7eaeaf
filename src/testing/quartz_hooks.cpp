// Test hooks for the Quartz JSON export, on collections given in the plain
// form of ecc_forms.h.  The public ECCs class has no constructor, so these
// hooks are how the tests build exactly the classes they need.
#include "circ/gate.h"
#include "py/convert.h"
#include "py/entry.h"
#include "py/numpy_bridge.h"
#include "search/quartz.h"
#include "testing/ecc_forms.h"
#include "testing/hooks.h"

namespace borvane::py {

namespace {

// The document as_quartz writes for the collection.
Ref quartz_document(PyObject*, const Args& a) {
    static constexpr Signature<1> sig{"quartz_document", {"eccs"}};
    auto [pe] = sig.parse(a);
    return to_py(as_quartz(testing::eccs_arg(pe, "eccs")));
}

// dump_quartz of the collection to `path`; None.
Ref quartz_dump(PyObject*, const Args& a) {
    static constexpr Signature<2> sig{"quartz_dump", {"eccs", "path"}};
    auto [pe, pp] = sig.parse(a);
    ECCs eccs = testing::eccs_arg(pe, "eccs");
    dump_quartz(eccs, arg<std::string>(pp, "path"));
    return Ref::borrow(Py_None);
}

// Adds a gate to this module's own gate table (which borvane.Gate does not
// reach) and returns its display name, for names the built-ins do not have.
Ref quartz_add_gate(PyObject*, const Args& a) {
    static constexpr Signature<3> sig{"quartz_add_gate", {"name", "params", "matrix"}};
    auto [pn, pp, pm] = sig.parse(a);
    Gate16 g = Gate16::create(arg<std::string>(pn, "name"), arg<std::vector<std::string>>(pp, "params"),
                              arg<ComplexMatrix>(pm, "matrix"));
    return to_py(g.display());
}

PyMethodDef methods[] = {
    {"quartz_document", method_ptr<quartz_document>(), kMethod, "quartz_document(eccs)\n--\n\n"},
    {"quartz_dump", method_ptr<quartz_dump>(), kMethod, "quartz_dump(eccs, path)\n--\n\n"},
    {"quartz_add_gate", method_ptr<quartz_add_gate>(), kMethod, "quartz_add_gate(name, params, matrix)\n--\n\n"},
    {nullptr, nullptr, 0, nullptr},
};

const borvane::testing::RegisterHooks registered(methods);

}  // namespace

}  // namespace borvane::py
