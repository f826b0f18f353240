// expm1, exp and log10 in double, our own, with a proven relative error
// bound, for the double guides that decide signs (core/order_residual.cc).
// They use nothing but double +, -, *, / and bit manipulation, so the
// program needs no C math library for them.  guide_math.cc derives the
// bounds, in units of u = 2^-53:
//   expm1(y)  <= 6.4 u   for |y| <= 709
//   exp(y)    <= 2.6 u   for -708 <= y <= 709
//   log10(z)  <= 7.4 u   for every positive finite z
// (all below 8 u = 2^-50).  Outside those ranges: NaN for |y| > 709, for a
// NaN and for z <= 0 or z infinite; exp of y in [-709, -708) is rounded
// twice into the subnormals, without the bound.
#ifndef MORVANTIDE_CORE_GUIDE_MATH_H_
#define MORVANTIDE_CORE_GUIDE_MATH_H_

namespace morvantide {
namespace guide {

// The proven bounds above, as relative errors.
inline constexpr double kExpm1Bound = 6.4 * 0x1p-53;
inline constexpr double kExpBound = 2.6 * 0x1p-53;
inline constexpr double kLog10Bound = 7.4 * 0x1p-53;

// e^y - 1, without the cancellation near y = 0 (expm1(0) = 0).
double expm1(double y);
// e^y.
double exp(double y);
// Both at once, from one argument reduction: the very bits of expm1(y) and
// exp(y).
void expm1_exp(double y, double* m1, double* e);
// The decimal logarithm (log10(1) = 0).
double log10(double z);

}  // namespace guide
}  // namespace morvantide

#endif  // MORVANTIDE_CORE_GUIDE_MATH_H_
