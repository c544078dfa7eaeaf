// A dense complex matrix of doubles, stored column by column (the layout of
// the gate table and of the NumPy arrays it hands out in Fortran order).
#pragma once

#include <complex>
#include <cstdint>
#include <vector>

namespace borvane {

using Complex = std::complex<double>;

struct ComplexMatrix {
    uint32_t rows = 0;
    uint32_t cols = 0;
    std::vector<Complex> data;  // entry (r, c) at data[c * rows + r]

    ComplexMatrix() = default;
    ComplexMatrix(uint32_t r, uint32_t c) : rows(r), cols(c), data(size_t(r) * c) {}

    Complex& at(uint32_t r, uint32_t c) { return data[size_t(c) * rows + r]; }
    const Complex& at(uint32_t r, uint32_t c) const { return data[size_t(c) * rows + r]; }

    // Builds a matrix from rows written out row by row (for tables and tests).
    static ComplexMatrix from_rows(uint32_t n, std::initializer_list<Complex> row_major);

    // Entry (r, c) of the result is the complex conjugate of entry (c, r).
    ComplexMatrix conjugate_transpose() const;
};

}  // namespace borvane
