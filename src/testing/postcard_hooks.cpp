// Test hooks for the binary dump of ECC collections: writing a collection
// given in the Python form of ecc_forms.h, reading one back, and a native
// load-and-dump that never builds Python objects (so hostile files can be
// fed through the decoder without the Python forms getting in the way).
#include <string>

#include "io/postcard.h"
#include "py/convert.h"
#include "py/entry.h"
#include "testing/ecc_forms.h"
#include "testing/hooks.h"

namespace borvane::py {

namespace {

Ref postcard_dump(PyObject*, const Args& a) {
    static constexpr Signature<2> sig{"postcard_dump", {"eccs", "path"}};
    auto [pe, pp] = sig.parse(a);
    ECCs eccs = testing::eccs_arg(pe, "eccs");
    dump_postcard(eccs, arg<std::string>(pp, "path"));
    return Ref::borrow(Py_None);
}

Ref postcard_load(PyObject*, const Args& a) {
    static constexpr Signature<1> sig{"postcard_load", {"path"}};
    auto [pp] = sig.parse(a);
    return testing::eccs_to_py(eccs_from_postcard(arg<std::string>(pp, "path")));
}

// Loads `source` and dumps what it read to `target`.
Ref postcard_copy(PyObject*, const Args& a) {
    static constexpr Signature<2> sig{"postcard_copy", {"source", "target"}};
    auto [ps, pt] = sig.parse(a);
    dump_postcard(eccs_from_postcard(arg<std::string>(ps, "source")), arg<std::string>(pt, "target"));
    return Ref::borrow(Py_None);
}

PyMethodDef methods[] = {
    {"postcard_dump", method_ptr<postcard_dump>(), kMethod,
     "postcard_dump(eccs, path)\n--\n\nWrites an ECC collection form as a postcard file."},
    {"postcard_load", method_ptr<postcard_load>(), kMethod,
     "postcard_load(path)\n--\n\nReads a postcard file into an ECC collection form."},
    {"postcard_copy", method_ptr<postcard_copy>(), kMethod,
     "postcard_copy(source, target)\n--\n\nReads a postcard file and writes what was read to another."},
    {nullptr, nullptr, 0, nullptr},
};

const testing::RegisterHooks registered(methods);

}  // namespace

}  // namespace borvane::py
