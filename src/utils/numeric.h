// Saturating float-to-integer conversions used by quantisation: values beyond
// the 64-bit range saturate and NaN gives 0.
#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

namespace borvane {

inline int64_t saturate_to_i64(double v) noexcept {
    if (std::isnan(v)) return 0;
    if (v >= 9223372036854775808.0) return std::numeric_limits<int64_t>::max();
    if (v < -9223372036854775808.0) return std::numeric_limits<int64_t>::min();
    return static_cast<int64_t>(v);
}

// round(x * 2^24), halves away from zero: the quantised image of an amplitude
// or matrix entry.
inline int64_t quantize24(double x) noexcept { return saturate_to_i64(std::round(x * 16777216.0)); }

// trunc(x * 256): the coarse image used by loose equality.
inline int64_t quantize8_trunc(double x) noexcept { return saturate_to_i64(std::trunc(x * 256.0)); }

}  // namespace borvane
