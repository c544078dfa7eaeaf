#include "circ/matrix.h"

#include "utils/errors.h"

namespace borvane {

ComplexMatrix ComplexMatrix::from_rows(uint32_t n, std::initializer_list<Complex> row_major) {
    check(row_major.size() == size_t(n) * n, "ComplexMatrix::from_rows: wrong entry count");
    ComplexMatrix m(n, n);
    size_t i = 0;
    for (const Complex& v : row_major) {
        m.at(uint32_t(i / n), uint32_t(i % n)) = v;
        ++i;
    }
    return m;
}

ComplexMatrix ComplexMatrix::conjugate_transpose() const {
    ComplexMatrix m(cols, rows);
    for (uint32_t r = 0; r < m.rows; ++r)
        for (uint32_t c = 0; c < m.cols; ++c) {
            const Complex& v = at(c, r);
            // Negating the imaginary part flips its sign bit, so 0.0 becomes -0.0.
            m.at(r, c) = Complex(v.real(), -v.imag());
        }
    return m;
}

}  // namespace borvane
