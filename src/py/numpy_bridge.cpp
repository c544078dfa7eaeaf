#define PY_ARRAY_UNIQUE_SYMBOL borvane_ARRAY_API
#define NPY_NO_DEPRECATED_API NPY_2_0_API_VERSION
#include "py/numpy_bridge.h"

#include <numpy/arrayobject.h>

#include <cstring>

#include "utils/errors.h"

namespace borvane::py {

namespace {

void ensure_numpy() {
    // Imported on first use, so `import borvane` does not pay for NumPy
    // until a matrix crosses the boundary.
    if (PyArray_API == nullptr && PyArray_ImportNumPyAPI() < 0) throw PyErrorSet{};
}

}  // namespace

ComplexMatrix Conv<ComplexMatrix>::from(PyObject* o) {
    ensure_numpy();
    PyObject* raw = PyArray_FromAny(o, nullptr, 0, 0, 0, nullptr);
    if (!raw) {
        // numpy.asarray could not make an array of it at all.
        std::string why = "cannot be converted to a NumPy array";
        if (PyErr_Occurred()) {
            PyObject *t, *v, *tb;
            PyErr_Fetch(&t, &v, &tb);
            if (v) why += ": " + to_text(v);
            Py_XDECREF(t);
            Py_XDECREF(v);
            Py_XDECREF(tb);
        }
        raise(PyExc_TypeError, "'" + type_name(o) + "' object " + why);
    }
    Ref arr_ref = Ref::steal(raw);
    auto* arr = reinterpret_cast<PyArrayObject*>(raw);
    if (PyArray_NDIM(arr) != 2)
        raise(PyExc_TypeError, "expected a 2-dimensional complex128 array, got " +
                                   std::to_string(PyArray_NDIM(arr)) + " dimension(s)");
    if (PyArray_TYPE(arr) != NPY_CDOUBLE) {
        Ref dtype = Ref::check(PyObject_Str(reinterpret_cast<PyObject*>(PyArray_DESCR(arr))));
        raise(PyExc_TypeError, "expected a complex128 array, got dtype " + to_text(dtype.get()));
    }
    npy_intp rows = PyArray_DIM(arr, 0), cols = PyArray_DIM(arr, 1);
    npy_intp s0 = PyArray_STRIDE(arr, 0), s1 = PyArray_STRIDE(arr, 1);
    if (s0 < 0 || s1 < 0) throw InternalError("Matrix arrays with negative strides are not supported");
    if (rows > npy_intp(UINT32_MAX) || cols > npy_intp(UINT32_MAX))
        throw InternalError("Matrix dimensions exceed 32 bits");
    bool swapped = !PyArray_ISNOTSWAPPED(arr);
    ComplexMatrix m{uint32_t(rows), uint32_t(cols)};
    const char* base = static_cast<const char*>(PyArray_DATA(arr));
    for (npy_intp c = 0; c < cols; ++c)
        for (npy_intp r = 0; r < rows; ++r) {
            unsigned char b[16];
            std::memcpy(b, base + r * s0 + c * s1, 16);
            if (swapped) {
                for (int k = 0; k < 4; ++k) {
                    std::swap(b[k], b[7 - k]);
                    std::swap(b[8 + k], b[15 - k]);
                }
            }
            double re, im;
            std::memcpy(&re, b, 8);
            std::memcpy(&im, b + 8, 8);
            m.at(uint32_t(r), uint32_t(c)) = Complex(re, im);
        }
    return m;
}

Ref Conv<ComplexMatrix>::to(const ComplexMatrix& m) {
    ensure_numpy();
    npy_intp dims[2] = {npy_intp(m.rows), npy_intp(m.cols)};
    Ref arr = Ref::check(PyArray_New(&PyArray_Type, 2, dims, NPY_CDOUBLE, nullptr, nullptr, 0,
                                     NPY_ARRAY_F_CONTIGUOUS, nullptr));
    auto* a = reinterpret_cast<PyArrayObject*>(arr.get());
    if (!m.data.empty()) std::memcpy(PyArray_DATA(a), m.data.data(), m.data.size() * sizeof(Complex));
    return arr;
}

}  // namespace borvane::py
