// Complex matrices to and from NumPy.  This is the only part of the binding
// that uses the NumPy C API.
#pragma once

#include "circ/matrix.h"
#include "py/convert.h"

namespace borvane::py {

template <>
struct Conv<ComplexMatrix> {
    static constexpr const char* name = "ndarray[complex128]";
    // numpy.asarray(o) without a dtype must give a 2-D complex128 array.
    static ComplexMatrix from(PyObject* o);
    // A fresh (rows, cols) complex128 array in Fortran order.
    static Ref to(const ComplexMatrix& m);
};

}  // namespace borvane::py
