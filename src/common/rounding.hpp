#pragma once
// Rounding to integers sends exact halves to the even neighbour. rint/rintl round
// that way under the default rounding mode and, unlike nearbyint, do not save and
// restore the floating-point environment on every call.

#include <cmath>

namespace morvik {

inline long long RoundHalfEven(double v) { return std::llrint(v); }
inline long long RoundHalfEven(long double v) { return std::llrintl(v); }
inline double RoundHalfEvenToDouble(double v) { return std::rint(v); }

} // namespace morvik
