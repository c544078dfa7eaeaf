// The Python classes of the module, one specialisation per native record.
// Each `type()` is defined in the record's _py.cpp and creates the class on
// first use.
#pragma once

#include "circ/gate.h"
#include "py/instance.h"

namespace borvane::py {

template <>
struct PyClass<Gate16> {
    static constexpr const char* name = "Gate";
    static PyTypeObject* type();
};

}  // namespace borvane::py
