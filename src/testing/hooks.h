// Registration of the private test module's functions.  Each hooks file
// defines a static table and registers it; the module collects every table
// at import, so adding a hooks file needs no edit elsewhere.
#pragma once

#include <vector>

#include "py/py.h"

namespace borvane::testing {

std::vector<PyMethodDef>& hook_registry();

struct RegisterHooks {
    // `table` ends with a null entry and has static storage.
    explicit RegisterHooks(const PyMethodDef* table) {
        for (const PyMethodDef* m = table; m->ml_name; ++m) hook_registry().push_back(*m);
    }
};

}  // namespace borvane::testing
