// Qreal: a double whose equality, order and hash go through its quantised
// image round(x * 2^24), so that amplitudes equal up to small floating-point
// differences compare equal.
#pragma once

#include <cmath>
#include <compare>
#include <cstdint>

#include "utils/numeric.h"

namespace borvane {

// |x| below this counts as practically zero.
inline constexpr double kNearZero = 5.960464477539063e-08;  // 2^-24

struct Qreal {
    double v = 0.0;

    constexpr Qreal() = default;
    constexpr Qreal(double x) : v(x) {}  // NOLINT: a Qreal is a double with a quantised order

    int64_t percision_repr() const { return quantize24(v); }
    bool near_zero() const { return std::fabs(v) < kNearZero; }

    friend bool operator==(Qreal a, Qreal b) { return a.percision_repr() == b.percision_repr(); }
    friend std::strong_ordering operator<=>(Qreal a, Qreal b) { return a.percision_repr() <=> b.percision_repr(); }
};

inline bool near_zero(double x) { return std::fabs(x) < kNearZero; }

// Much coarser than equality: trunc(x * 256) must agree.  Used only to compare
// two evaluations of one circuit along different paths.
inline bool loose_eq(double a, double b) { return quantize8_trunc(a) == quantize8_trunc(b); }

}  // namespace borvane
