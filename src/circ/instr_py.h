// The dictionary form of Instr32, used inside the dictionary forms of
// circuits: (gate display name, (q0, q1)) with 255 in empty slots.
#pragma once

#include "circ/instr.h"
#include "py/convert.h"

namespace borvane::py {

Ref instr_to_python(Instr32 i);
// The outer value may be any sequence of exactly two items and the qubits
// any sequence of exactly two ints in 0..255; neither arity nor distinctness
// is tested.  An unknown gate name is InternalFailure.
Instr32 instr_from_python(PyObject* o);
// A list, tuple or set of instructions in dictionary form.
std::vector<Instr32> instrs_from_python(PyObject* o);

}  // namespace borvane::py
