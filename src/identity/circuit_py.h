// The dictionary form of Circ: {"instrs": [instruction forms], "perm": {"raw": int}}.
#pragma once

#include "identity/circuit.h"
#include "py/convert.h"

namespace borvane::py {

Ref circ_to_python(const Circ& c);
// Reads the form without checking the circuit's invariant.
Circ circ_from_python(PyObject* o);

// idx modulo len (Euclidean), for __getitem__ of circuits and identities.
size_t wrap_index(int64_t idx, size_t len);

}  // namespace borvane::py
