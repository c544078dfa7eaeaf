// Saturating float-to-integer conversions used by quantisation: values beyond
// the 64-bit range saturate and NaN gives 0.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace borvane {

namespace detail {
// Truncation toward zero of v, known to lie strictly inside (-2^63, 2^63).
inline int64_t trunc_in_range(double v) noexcept { return static_cast<int64_t>(v); }

// -1, 0 or +1: the saturated result for v outside (-2^63, 2^63) or NaN.
inline bool out_of_i64_range(double v, int64_t& out) noexcept {
    if (v > -9223372036854775808.0 && v < 9223372036854775808.0) return false;
    if (std::isnan(v))
        out = 0;
    else
        out = v > 0 ? std::numeric_limits<int64_t>::max() : std::numeric_limits<int64_t>::min();
    return true;
}
}  // namespace detail

inline int64_t saturate_to_i64(double v) noexcept {
    int64_t out;
    if (detail::out_of_i64_range(v, out)) return out;
    return detail::trunc_in_range(v);
}

// round(x * 2^24), halves away from zero: the quantised image of an amplitude
// or matrix entry.  Written without a call to round(): truncate, then look at
// the exact remainder (exact because |v| < 2^52 whenever it is non-zero).
inline int64_t quantize24(double x) noexcept {
    double v = x * 16777216.0;
    if (std::fabs(v) < 4503599627370496.0) [[likely]] {  // |v| < 2^52: the common case
        int64_t i = detail::trunc_in_range(v);
        double frac = v - static_cast<double>(i);
        return i + int64_t(frac >= 0.5) - int64_t(frac <= -0.5);
    }
    // Beyond 2^52 every double is an integer; only saturation and NaN remain.
    int64_t out;
    if (detail::out_of_i64_range(v, out)) return out;
    return detail::trunc_in_range(v);
}

// trunc(x * 256): the coarse image used by loose equality.
inline int64_t quantize8_trunc(double x) noexcept { return saturate_to_i64(x * 256.0); }

}  // namespace borvane
